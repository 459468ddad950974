// The module: its entry point, the live-object count, the class factories and the exports
// DllGetClassObject and DllCanUnloadNow, the trace, and what the shared bench in force asks of
// this host.

#include "simulator/devices/filters.h"
#include "simulator/windows_driver/simdriver.h"

#include <cstdio>
#include <cwchar>
#include <new>
#include <vector>

namespace simdriver {

namespace {

HINSTANCE instance = nullptr;
std::atomic<long> objects{0};
std::atomic<long> locks{0};

std::mutex& trace_mutex() {
    static std::mutex m;
    return m;
}

constexpr const char* link_reason = "a symbolic link, not followed";

// Tells why the trace file cannot be written, once for each file and reason in a row. Call
// with the trace's lock held.
void refuse_trace(const wchar_t* path, const char* reason) {
    static const char* told_reason = nullptr; // plain storage: usable while the process ends
    static wchar_t told_path[MAX_PATH * 4];
    if (told_reason == reason && std::wcscmp(told_path, path) == 0)
        return;
    told_reason = reason;
    lstrcpynW(told_path, path, MAX_PATH * 4);
    char name[MAX_PATH * 4 * 3];
    int n = WideCharToMultiByte(CP_UTF8, 0, path, -1, name, sizeof name, nullptr, nullptr);
    std::fprintf(stderr, "trace: %s: %s; no trace is written\n",
                 n > 0 ? bench::printable(name, 4096).c_str() : "?", reason);
    std::fflush(stderr);
}

// Whether the open file is the one named by path itself, and not what a symbolic link there
// leads to: its final path is its folder's followed by its own name.
bool opened_without_link(HANDLE file, const wchar_t* path) {
    wchar_t full[MAX_PATH * 4];
    wchar_t* name = nullptr;
    DWORD n = GetFullPathNameW(path, MAX_PATH * 4, full, &name);
    if (n == 0 || n >= MAX_PATH * 4 || !name || name == full)
        return false;
    std::wstring own_name = name;
    *name = L'\0';
    HANDLE folder = CreateFileW(full, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    wchar_t folder_path[MAX_PATH * 4], file_path[MAX_PATH * 4];
    DWORD folder_n = GetFinalPathNameByHandleW(folder, folder_path, MAX_PATH * 4, 0);
    CloseHandle(folder);
    DWORD file_n = GetFinalPathNameByHandleW(file, file_path, MAX_PATH * 4, 0);
    if (folder_n == 0 || folder_n >= MAX_PATH * 4 || file_n == 0 || file_n >= MAX_PATH * 4)
        return false;
    std::wstring expected = folder_path;
    if (expected.empty() || expected.back() != L'\\')
        expected += L'\\';
    expected += own_name;
    return CompareStringOrdinal(expected.c_str(), -1, file_path, -1, TRUE) == CSTR_EQUAL;
}

// Appends text to the trace file with the system's own calls: also usable while the process
// ends, after the runtime library may have shut down. Only a regular file takes the trace: a
// pipe is not written (a write could wait for a reader for ever), and a symbolic link is not
// followed into another file.
void append_trace(const std::string& text) {
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableW(L"MORVANE_TRACE", path, sizeof path / sizeof path[0]);
    if (n == 0 || n >= sizeof path / sizeof path[0])
        return;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file =
        CreateFileW(path, FILE_APPEND_DATA, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // Made anew; never through a link that leads nowhere (that name exists already).
        file = CreateFileW(path, FILE_APPEND_DATA, share, nullptr, CREATE_NEW, flags, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            file =
                CreateFileW(path, FILE_APPEND_DATA, share, nullptr, OPEN_EXISTING, flags, nullptr);
            if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
                return refuse_trace(path, link_reason);
        }
    }
    if (file == INVALID_HANDLE_VALUE)
        return refuse_trace(path, "cannot open it");
    const char* reason = nullptr;
    DWORD type = GetFileType(file);
    if (type != FILE_TYPE_DISK)
        reason = type == FILE_TYPE_PIPE ? "not a regular file (a named pipe)"
                                        : "not a regular file (not a file)";
    else if (!opened_without_link(file, path))
        reason = link_reason;
    if (reason) {
        CloseHandle(file);
        return refuse_trace(path, reason);
    }
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        reason = GetLastError() == ERROR_DISK_FULL ? "the disk is full" : "cannot write it";
    CloseHandle(file);
    if (reason)
        refuse_trace(path, reason);
}

class ClassFactory final : public IClassFactory, public sim::Object {
  public:
    using Create = HRESULT (*)(REFIID, void**);
    ClassFactory(Create create, const char* fault_name) : create_(create), fault_(fault_name) {}

    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                             void** ppv) noexcept override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        // The bench's faults.CoCreateInstance for the classes this driver serves: a failure
        // instead of the object, a success code passed on with it.
        return sim::guarded([&] {
            std::optional<HRESULT> fault;
            if (fault_)
                fault = bench::fault_for(sim::current_bench()->faults.co_create_instance, fault_);
            return sim::with_fault(fault, [&] { return create_(riid, ppv); });
        });
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        locks.fetch_add(lock ? 1 : -1);
        return S_OK;
    }

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory)
            return static_cast<IClassFactory*>(this);
        return nullptr;
    }

    Create create_;
    const char* fault_; // the class's name among the bench's CoCreateInstance faults
};

template <bench::Category category> HRESULT create_entry(REFIID riid, void** ppv) {
    return create_device_filter(category, riid, ppv);
}

struct ClassEntry {
    const CLSID* clsid;
    ClassFactory::Create create;
    const char* fault_name;
};

const ClassEntry classes[] = {
    {&sim::CLSID_BenchTunerFilter, create_entry<bench::Category::tuners>, nullptr},
    {&sim::CLSID_BenchCaptureFilter, create_entry<bench::Category::captures>, nullptr},
    {&sim::CLSID_BenchTransportInformationFilter,
     create_entry<bench::Category::transport_information>, nullptr},
    {&CLSID_DVBSTuningSpace, sim::create_tuning_space, "DVBSTuningSpace"},
    {&CLSID_DVBSLocator, sim::create_locator, "DVBSLocator"},
    {&CLSID_DVBSNetworkProvider, sim::create_network_provider, "DVBSNetworkProvider"},
    {&CLSID_MPEG2Demultiplexer, sim::create_demultiplexer, "MPEG2Demultiplexer"},
};

} // namespace

HINSTANCE module_instance() {
    return instance;
}

} // namespace simdriver

// ---------------------------------------------------------------------------------------
// The simulated objects' live count and trace, and the bench's environment, as this host
// keeps them.

sim::Object::Object() noexcept {
    simdriver::objects.fetch_add(1);
}

sim::Object::~Object() {
    simdriver::objects.fetch_sub(1);
}

void sim::trace(const std::string& line) noexcept {
    try {
        std::lock_guard lock(simdriver::trace_mutex());
        simdriver::append_trace(line + "\n");
    } catch (...) {
    }
}

std::optional<std::string> sim::host::bench_variable() {
    return simdriver::environment(L"MORVANE_BENCH");
}

// MORVANE_BENCH_LABEL when set (scripts/wine-bench.sh puts the path the user gave there), else
// the path itself.
std::string sim::host::bench_label(const std::string& path) {
    return simdriver::environment(L"MORVANE_BENCH_LABEL").value_or(path);
}

// Noted where the watch of morvane-register --watch finds it, so that it can tell this write
// from an edit.
void sim::host::note_own_write(const std::string&, const std::string& before,
                               const std::string& after) {
    std::vector<bench::OwnWrite> writes = simdriver::own_writes();
    bench::add_own_write(writes, before, after);
    RegSetKeyValueW(HKEY_CURRENT_USER, simdriver::own_writes_key, simdriver::own_writes_value,
                    REG_BINARY, writes.data(),
                    static_cast<DWORD>(writes.size() * sizeof writes[0]));
}

// ---------------------------------------------------------------------------------------
// Exports.

extern "C" BOOL WINAPI DllMain(HINSTANCE hinst, DWORD reason, LPVOID reserved) {
    using namespace simdriver;
    if (reason == DLL_PROCESS_ATTACH) {
        instance = hinst;
        DisableThreadLibraryCalls(hinst);
        // Stays loaded until the process ends, even when COM frees unused libraries: the
        // "exit live=N" line is written once, at the end of the process.
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&DllMain), &self);
    } else if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        // The process ends (returned from main, or ExitProcess).
        append_trace("exit live=" + std::to_string(objects.load()) + "\n");
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    using namespace simdriver;
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (const ClassEntry& entry : classes)
        if (rclsid == *entry.clsid)
            return sim::hand_out(new (std::nothrow) ClassFactory(entry.create, entry.fault_name),
                                 riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    using namespace simdriver;
    return objects.load() == 0 && locks.load() <= 0 ? S_OK : S_FALSE;
}

// A registration step that throws (out of memory) fails as a whole.
static HRESULT self_registration(HRESULT (*step)()) noexcept try { return step(); } catch (...) {
    return SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return self_registration(simdriver::register_server);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return self_registration(simdriver::unregister_server);
}
