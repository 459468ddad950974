// Internal declarations of the Linux host of the simulator (the stand-in platform), shared by
// its translation units only.
//
// The simulated objects (simulator/devices/) and the bench in force (simulator/bench/) are the
// ones the Windows driver serves too; this host adds the object runtime, class creation, the
// device enumerator, the filter graph, the trace and the device-change watch.
#pragma once

#ifndef _WIN32

#include "platform/com.h"
#include "platform/dshow.h"

#include "simulator/bench/in_force.h"
#include "simulator/devices/object.h"

#include <string>

namespace standin::detail {

using namespace sim;

// Registers the "exit live=N" trace line for normal process exit (once).
void ensure_exit_hook();

// ---------------------------------------------------------------------------------------
// Text helpers.

using bench::guid_text;
using bench::hr_text;
using bench::parse_guid;
using bench::utf16;
using bench::utf8;
inline std::string utf8(const char16_t* text) {
    return text ? bench::utf8(std::u16string_view(text)) : std::string();
}

using bench::BagValue;
using bench::Category;
using bench::Entry;

// Counts a category enumerator created (standin::counters()).
void count_class_enumerator();

// ---------------------------------------------------------------------------------------
// Object factories of this host (CoCreateInstance and the runtime functions).

HRESULT create_system_device_enum(REFIID riid, void** ppv) noexcept;
HRESULT create_filter_graph(REFIID riid, void** ppv) noexcept;
HRESULT create_bind_ctx(IBindCtx** ppbc) noexcept;

// The class id a moniker reports for an entry whose class id cannot be formatted.
extern const GUID unformattable_class_id;
// The class id of the stand-in's device monikers.
extern const GUID device_moniker_class_id;

// Error codes used across the stand-in.
inline constexpr HRESULT hr_file_not_found = static_cast<HRESULT>(0x80070002);

// Forgets the thread's CoInitialize state (for standin::reset()).
void forget_thread_initialization();
void forget_message_box_handler();

} // namespace standin::detail

#endif
