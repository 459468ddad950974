// Internal declarations of the stand-in platform, shared by its translation units only.
//
// The stand-in's objects count their references for real: each frees itself when the last
// reference goes, and a process-wide count of live objects backs the "exit live=N" trace line.
// What the objects report comes from the bench model: the parsed bench file in force.
#pragma once

#ifndef _WIN32

#include "platform/com.h"
#include "platform/dshow.h"

#include <nlohmann/json.hpp>

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

std::u16string utf16(const std::string& utf8);
std::string utf8(const char16_t* text);
std::string utf8(const std::u16string& text);
std::string hr_text(HRESULT hr);         // "0x%08x"
std::string guid_text(const GUID& guid); // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case).
std::optional<GUID> parse_guid(const std::u16string& text);

// ---------------------------------------------------------------------------------------
// Trace.

// Appends one line (without its line end) to the file named by MORVANE_TRACE, if any.
void trace(const std::string& line);

// ---------------------------------------------------------------------------------------
// The bench model.

enum class Category { tuners, captures, transport_information };

struct PinDesc {
    std::string name;
    PIN_DIRECTION direction = PINDIR_INPUT;
    std::string medium;
    bool connected = false;
    bool pin_info_fails = false;
    bool refuses = false;
};

// A bench value of the property bag: "FriendlyName" or "DevicePath".
struct BagValue {
    enum class Kind { absent, text, number } kind = Kind::absent;
    std::u16string text;
    int32_t number = 0;
};

// One property of the driver's extension set.
struct Prop {
    uint32_t support = 0;
    int32_t value = 0;
    std::optional<HRESULT> query_fails;
    std::optional<HRESULT> get_fails;
    std::optional<HRESULT> set_fails;
};

struct Driver {
    // lacks_set: neither `unicable` nor `extension`; absent: `"extension": "absent"`.
    enum class Kind { lacks_set, unicable, extension, absent } kind = Kind::lacks_set;
    std::map<uint32_t, Prop> props;
};

struct Topology {
    bool absent = false;
    std::vector<ULONG> node_types;
    std::vector<GUID> functions;
    enum class Fail { none, node_types, descriptors } fail = Fail::none;
};

struct Entry {
    Category category = Category::tuners;
    size_t index = 0; // position in its array of the file (or of the default list)
    bool is_marker = false;
    HRESULT next_fails = S_OK; // markers only

    std::string id;
    bool present = true;
    BagValue friendly_name;
    BagValue device_path;
    bool string_from_clsid_fails = false;
    bool bind_to_storage_fails = false;
    bool bind_to_object_fails = false;
    std::string link;
    std::vector<PinDesc> pins;

    // Tuners only. The driver's values change with every successful Set (under bench_mutex()).
    Topology topology;
    Driver driver;
};

struct Faults {
    std::optional<HRESULT> co_initialize;
    std::optional<HRESULT> string_from_iid;
    std::map<std::string, HRESULT> co_create_instance;      // by class name
    std::map<std::string, HRESULT> create_class_enumerator; // by category name
    std::map<std::string, HRESULT> results;                 // by "Interface::Method"
};

struct Model {
    std::string path;  // as given in MORVANE_BENCH; empty: no bench file
    std::string bytes; // the file's exact content
    nlohmann::ordered_json doc;
    std::vector<Entry> tuners;
    std::vector<Entry> captures;
    std::vector<Entry> transport_information;
    Faults faults;

    const std::vector<Entry>& entries(Category category) const;
    std::optional<HRESULT> result_fault(const char* method) const;
};

// Parses and validates bench text. Throws BenchError with the reason when it is rejected.
struct BenchError {
    std::string reason;
};
std::shared_ptr<Model> parse_bench(const std::string& path, const std::string& bytes);

// Guards the bench state and the driver values of every model.
std::mutex& bench_mutex();

// The bench in force, read afresh from MORVANE_BENCH (an unchanged file reuses the parsed
// model; an invalid one warns once and keeps the last valid bench).
std::shared_ptr<Model> current_bench();

// Stores a property value that Set changed into the bench file. Call with bench_mutex() held.
void store_property(Model& model, const Entry& entry, uint32_t id, int32_t value);

// The watcher learns of the stand-in's own writes, so that they raise no event.
void watcher_note_own_write(const std::string& path, const std::string& bytes);

// Whole-file read; nullopt when the file cannot be read.
std::optional<std::string> read_file(const std::string& path);

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
