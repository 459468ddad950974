// The simulated driver for Windows: an in-process COM server (morvane-simdriver.dll) that
// serves the devices of the bench named in MORVANE_BENCH to the platform's own runtime (under
// Wine: its device enumerator, property bags, class activation and filter graph).
//
// It serves the tuner filters, the capture filters (receiver components) and the
// transport-information filters of the bench's entries, each bound to its entry by the
// DevicePath of its device entry (IPersistPropertyBag::Load), and the DVB-S classes the
// runtime may lack: tuning space, locator, tune request, network provider and MPEG-2
// demultiplexer. Those objects and the bench in force are the simulator's shared ones
// (simulator/devices/, simulator/bench/), as the Linux stand-in serves them; this host adds
// the module, its class factories and registration, and the trace.
//
// Every object is free-threaded (ThreadingModel Both): atomic reference counts, and the
// filter and pin state under a mutex.
#pragma once

#include "simulator/bench/in_force.h"
#include "simulator/devices/object.h"

#include <optional>
#include <string>
#include <vector>

namespace simdriver {

// The category GUID of a bench category.
const GUID& category_guid(bench::Category category);

// Device entries written by the registration carry, beside FriendlyName, CLSID and DevicePath,
// the entry's position in its category (REG_DWORD): Load uses it for entries whose DevicePath
// is missing, not a string, or shared with another entry.
inline constexpr wchar_t bench_index_value[] = L"MorvaneBenchIndex";
// Instance key names: this prefix and the entry's position, four digits, so that the
// runtime's enumerator (key-name order) lists them in bench order.
inline constexpr wchar_t instance_prefix[] = L"Morvane Bench ";

// The driver's own writes into the bench, noted for the watch of morvane-register --watch
// before each takes the bench's name: bench::OwnWrite records, the latest 64, as REG_BINARY.
inline constexpr wchar_t own_writes_key[] = L"Software\\Morvane\\Simulated driver";
inline constexpr wchar_t own_writes_value[] = L"Own writes";
inline std::vector<bench::OwnWrite> own_writes() {
    std::vector<bench::OwnWrite> out(64);
    DWORD size = static_cast<DWORD>(out.size() * sizeof out[0]);
    if (RegGetValueW(HKEY_CURRENT_USER, own_writes_key, own_writes_value, RRF_RT_REG_BINARY,
                     nullptr, out.data(), &size) != ERROR_SUCCESS)
        size = 0;
    out.resize(size / sizeof out[0]);
    return out;
}

// Loading the module's code for registration and unloading.
HINSTANCE module_instance();

// The UTF-8 value of an environment variable, or nothing.
inline std::optional<std::string> environment(const wchar_t* name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::wstring value(n, L'\0');
    return bench::narrow(
        std::wstring_view(value.data(), GetEnvironmentVariableW(name, value.data(), n)));
}

// The filter of a device entry of the category, bound when the runtime loads its entry.
HRESULT create_device_filter(bench::Category category, REFIID riid, void** ppv) noexcept;

// Registration of the classes (and, with MORVANE_BENCH, of the bench's device entries).
HRESULT register_server();
HRESULT unregister_server();
// Writes the device entries of the bench in force, removing those of earlier registrations.
HRESULT register_bench_entries(const bench::Bench& bench);

} // namespace simdriver
