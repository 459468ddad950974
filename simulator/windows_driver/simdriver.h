// The simulated driver for Windows: an in-process COM server (morvane-simdriver.dll) that
// serves the devices of the bench named in MORVANE_BENCH to the platform's own runtime (under
// Wine: its device enumerator, property bags, class activation and filter graph).
//
// It serves the tuner filters, the capture filters (receiver components) and the
// transport-information filters of the bench's entries, each bound to its entry by the
// DevicePath of its device entry (IPersistPropertyBag::Load), and the DVB-S classes the
// runtime may lack: tuning space, locator, tune request, network provider and MPEG-2
// demultiplexer. The bench's rules (model, property set, pin media) are the shared ones of
// simulator/bench/bench_model.h; what happens to the driver values goes back into the bench file.
//
// Every object is free-threaded (ThreadingModel Both): atomic reference counts, and the
// filter and pin state under a mutex.
#pragma once

#include "simulator/bench/bench_model.h"
#include "platform/dshow.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace simdriver {

// ---------------------------------------------------------------------------------------
// Classes.

// The filter classes of the bench's device entries, one per category. Several entries share
// one class; Load tells them apart.
// {5B0E7C2A-3D91-4F6B-8E27-6A1D4C9F0B11}
inline constexpr CLSID CLSID_BenchTunerFilter = {
    0x5B0E7C2A, 0x3D91, 0x4F6B, {0x8E, 0x27, 0x6A, 0x1D, 0x4C, 0x9F, 0x0B, 0x11}};
// {5B0E7C2A-3D91-4F6B-8E27-6A1D4C9F0B12}
inline constexpr CLSID CLSID_BenchCaptureFilter = {
    0x5B0E7C2A, 0x3D91, 0x4F6B, {0x8E, 0x27, 0x6A, 0x1D, 0x4C, 0x9F, 0x0B, 0x12}};
// {5B0E7C2A-3D91-4F6B-8E27-6A1D4C9F0B13}
inline constexpr CLSID CLSID_BenchTransportInformationFilter = {
    0x5B0E7C2A, 0x3D91, 0x4F6B, {0x8E, 0x27, 0x6A, 0x1D, 0x4C, 0x9F, 0x0B, 0x13}};

// The category GUID and filter class of a bench category.
const GUID& category_guid(bench::Category category);
const CLSID& filter_class(bench::Category category);

// Device entries written by the registration carry, beside FriendlyName, CLSID and DevicePath,
// the entry's position in its category (REG_DWORD): Load uses it for entries whose DevicePath
// is missing, not a string, or shared with another entry.
inline constexpr wchar_t bench_index_value[] = L"MorvaneBenchIndex";
// Instance key names: this prefix and the entry's position, four digits, so that the
// runtime's enumerator (key-name order) lists them in bench order.
inline constexpr wchar_t instance_prefix[] = L"Morvane Bench ";

// Loading the module's code for registration and unloading.
HINSTANCE module_instance();

// ---------------------------------------------------------------------------------------
// Reference-counted objects.

// Base of every object the driver hands out: one reference at construction, owned by the
// constructor's caller; counted among the module's live objects until destroyed.
class Object {
  public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    ULONG add_ref() noexcept;
    ULONG release() noexcept;
    // QueryInterface: null out pointer E_POINTER; *ppv always written.
    HRESULT query(REFIID riid, void** ppv) noexcept;

  protected:
    Object();
    virtual ~Object();
    virtual void* find_interface(REFIID riid) = 0;

  private:
    std::atomic<ULONG> refs_{1};
};

#define SIMDRIVER_IUNKNOWN                                                                         \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {          \
        return query(riid, ppv);                                                                   \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {                                           \
        return add_ref();                                                                          \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() noexcept override {                                          \
        return release();                                                                          \
    }

// Hands out a new object as riid, replacing the construction reference with the caller's.
HRESULT hand_out(Object* object, REFIID riid, void** ppv) noexcept;

// Objects alive, and server locks (IClassFactory::LockServer).
long live_objects();
void lock_server(bool lock);
bool server_locked();

// ---------------------------------------------------------------------------------------
// Trace and bench.

// Appends one line to the file named in MORVANE_TRACE, if any (flushed at once).
void trace(const std::string& line);

// A bench in force: the path it was read from, its exact text, and the model of that text.
// The driver values in bench.tuners change with every successful Set (under bench_mutex()).
struct Model {
    std::string path;
    std::string bytes;
    bench::Bench bench;
};

std::mutex& bench_mutex();
// The bench named in MORVANE_BENCH, read afresh (unchanged text reuses the model). A text
// that is refused is reported once on standard error, and the last valid bench stays in
// force; without MORVANE_BENCH (or before any valid bench) a PC without devices.
std::shared_ptr<Model> current_bench();
// Stores a property value that Set changed into the bench file (call with bench_mutex()
// held): only the number's text changes, the file is replaced atomically, and the file named
// in MORVANE_SIMDRIVER_OWN_WRITES receives the same text first, so that whoever watches the
// bench for edits can tell this write from an edit.
void store_property(Model& model, const bench::Entry& entry, uint32_t id, int32_t value);

// The bench file as messages name it: MORVANE_BENCH_LABEL when set (scripts/wine-bench.sh puts
// the path the user gave there), else the path itself.
std::string bench_label(const std::string& path);

// The UTF-8 value of an environment variable, or nothing.
std::optional<std::string> environment(const wchar_t* name);
std::wstring wide(const std::string& utf8);

// ---------------------------------------------------------------------------------------
// Factories.

HRESULT create_device_filter(bench::Category category, REFIID riid, void** ppv);
HRESULT create_network_provider(REFIID riid, void** ppv);
HRESULT create_demultiplexer(REFIID riid, void** ppv);
HRESULT create_tuning_space(REFIID riid, void** ppv);
HRESULT create_locator(REFIID riid, void** ppv);

// Registration of the classes (and, with MORVANE_BENCH, of the bench's device entries).
HRESULT register_server();
HRESULT unregister_server();
// Writes the device entries of the bench in force, removing those of earlier registrations.
HRESULT register_bench_entries(const bench::Bench& bench);

} // namespace simdriver
