// Internal declarations of the stand-in platform, shared by its translation units only.
//
// The stand-in's objects count their references for real: each frees itself when the last
// reference goes, and a process-wide count of live objects backs the "exit live=N" trace line.
// What the objects report comes from the bench model: the parsed bench file in force.
#pragma once

#ifndef _WIN32

#include "platform/com.h"
#include "platform/dshow.h"

#include "simulator/bench/bench_file.h"
#include "simulator/bench/bench_model.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin::detail {

// ---------------------------------------------------------------------------------------
// Reference-counted objects.

// Base of every object the stand-in hands out. Starts with one reference, owned by whoever
// constructed it; counts itself among the live objects until it is destroyed.
class Object {
  public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    ULONG add_ref() noexcept;
    ULONG release() noexcept;
    // QueryInterface: a new reference to the interface riid, or E_NOINTERFACE.
    HRESULT query(REFIID riid, void** ppv);

  protected:
    Object();
    virtual ~Object();
    // The object's interface pointer for riid, or nullptr when it lacks it.
    virtual void* find_interface(REFIID riid) = 0;

  private:
    std::atomic<ULONG> refs_{1};
};

// Hands out a freshly constructed object as interface riid: the caller's reference replaces
// the construction reference (the object is freed when it lacks the interface).
HRESULT hand_out(Object* object, REFIID riid, void** ppv);

#define STANDIN_IUNKNOWN                                                                           \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {                   \
        return query(riid, ppv);                                                                   \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                    \
        return add_ref();                                                                          \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() override {                                                   \
        return release();                                                                          \
    }

void count_object_created();
void count_object_destroyed();
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

// ---------------------------------------------------------------------------------------
// Trace.

// Appends one line (without its line end) to the file named by MORVANE_TRACE, if any.
void trace(const std::string& line);

// ---------------------------------------------------------------------------------------
// The bench in force.

using bench::BagValue;
using bench::Category;
using bench::Driver;
using bench::Entry;
using bench::Faults;
using bench::PinDesc;
using bench::Prop;
using bench::Topology;

// A validated bench with the file it was read from. The driver values of its entries change
// with every successful Set (under bench_mutex()).
struct Model : bench::Bench {
    std::string path;  // as given in MORVANE_BENCH; empty: no bench file
    std::string bytes; // the file's content as last read or written by the stand-in
};

// Guards the bench state and the driver values of every model.
std::mutex& bench_mutex();

// The bench in force. The file is read here only when no bench has been read yet for the
// file MORVANE_BENCH names (at start-up, or when a test names another file); every other
// call uses the model in force.
std::shared_ptr<Model> current_bench();

// The bench read afresh, as each CreateClassEnumerator does: valid content is put in force
// (unchanged content keeps its model); invalid content warns once and keeps the last valid
// bench in force. A file whose stamp is that of the bench in force, settled well before it was
// read, is not read again.
std::shared_ptr<Model> reread_bench();

// Content of the bench file that the device-change watcher has read: taken up as by
// reread_bench(), without reading the file again.
void take_up_bench(const std::string& path, const bench::FileRead& read);

// Reads the bench file at path, counted in standin::counters().
bench::FileRead read_bench_file(const std::string& path);

// Counts a category enumerator created (standin::counters()).
void count_class_enumerator();

// Stores a property value that Set changed into the bench file. Call with bench_mutex() held.
void store_property(Model& model, const Entry& entry, uint32_t id, int32_t value);

// The watcher learns of the stand-in's own writes (the content before and after), so that
// they raise no event.
void watcher_note_own_write(const std::string& path, const std::string& before,
                            const std::string& after);

// ---------------------------------------------------------------------------------------
// Object factories (CoCreateInstance and the runtime functions).

HRESULT create_system_device_enum(REFIID riid, void** ppv);
HRESULT create_filter_graph(REFIID riid, void** ppv);
HRESULT create_tuning_space(REFIID riid, void** ppv);
HRESULT create_locator(REFIID riid, void** ppv);
HRESULT create_network_provider(REFIID riid, void** ppv);
HRESULT create_demultiplexer(REFIID riid, void** ppv);
HRESULT create_null_renderer(REFIID riid, void** ppv);
HRESULT create_bind_ctx(IBindCtx** ppbc);
// The filter bound from an entry (a new object every time).
HRESULT create_entry_filter(std::shared_ptr<Model> model, const Entry& entry, REFIID riid,
                            void** ppv);

// The class id a moniker reports for an entry whose class id cannot be formatted.
extern const GUID unformattable_class_id;
// The class id of the stand-in's device monikers.
extern const GUID device_moniker_class_id;

// Error codes used across the stand-in.
inline constexpr HRESULT hr_file_not_found = static_cast<HRESULT>(0x80070002);
inline constexpr HRESULT hr_insufficient_buffer = static_cast<HRESULT>(0x8007007A);

// Forgets the thread's CoInitialize state (for standin::reset()).
void forget_thread_initialization();
void forget_message_box_handler();

} // namespace standin::detail

#endif
