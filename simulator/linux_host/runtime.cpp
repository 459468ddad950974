// The stand-in's object runtime: reference counting and the live-object count, the trace,
// strings, variants, class creation, kernel objects and the message box.

#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/standin.h"
#include "platform/win32.h"
#include "simulator/devices/filters.h"
#include "simulator/linux_host/internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

namespace standin::detail {

namespace {

// Constant-initialised, so both stay usable while the process exits.
std::atomic<long> live_count{0};
std::atomic<bool> exit_hook_registered{false};
std::mutex trace_mutex;

void write_exit_line() {
    trace("exit live=" + std::to_string(live_count.load()));
}

} // namespace

void ensure_exit_hook() {
    if (!exit_hook_registered.exchange(true))
        std::atexit(write_exit_line);
}

} // namespace standin::detail

// ---------------------------------------------------------------------------------------
// The simulated objects' live count and trace, as this host keeps them.

namespace {

// Tells why the trace file cannot be written, once for each file and reason in a row. Call
// with trace_mutex held.
void refuse_trace(const char* path, const std::string& reason) noexcept try {
    static std::string* told = new std::string(); // usable while the process exits
    std::string what = reason + '\0' + path;
    if (*told == what)
        return;
    *told = what;
    std::fprintf(stderr, "trace: %s: %s; no trace is written\n",
                 bench::printable(path, 4096).c_str(), reason.c_str());
    std::fflush(stderr);
} catch (...) {
    // Out of memory while saying so: the trace is not written all the same.
}

} // namespace

sim::Object::Object() noexcept {
    ++standin::detail::live_count;
    standin::detail::ensure_exit_hook();
}

sim::Object::~Object() {
    --standin::detail::live_count;
}

void sim::trace(const std::string& line) noexcept {
    using standin::detail::trace_mutex;
    const char* path = std::getenv("MORVANE_TRACE");
    if (!path || !*path)
        return;
    std::string text;
    try {
        text = line + "\n";
    } catch (...) {
        return;
    }
    std::lock_guard lock(trace_mutex);
    // Only a regular file takes the trace: opening never waits (a named pipe without a
    // reader), and a symbolic link is not followed into another file.
    int fd = ::open(
        path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        int error = errno;
        refuse_trace(path, error == ELOOP   ? "a symbolic link, not followed"
                           : error == ENXIO ? bench::not_regular_reason("a named pipe")
                                            : std::string(std::strerror(error)));
        return;
    }
    const bench::ClosedOnExit closed{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return refuse_trace(path, bench::not_regular_reason(S_ISFIFO(info.st_mode) ? "a named pipe"
                                                                                   : "not a file"));
    // A write past the file-size limit would end the process (SIGXFSZ).
    if (bench::beyond_size_limit(static_cast<std::uint64_t>(info.st_size) + text.size()))
        return refuse_trace(path, std::strerror(EFBIG));
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) {
            refuse_trace(path, std::strerror(errno)); // a full disk, say
            break;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
}

namespace standin::detail {

// ---------------------------------------------------------------------------------------
// Per-thread initialisation and the message-box handler.

namespace {

thread_local bool thread_initialized = false;

std::mutex handler_mutex;
standin::message_box_handler& handler() {
    static standin::message_box_handler instance;
    return instance;
}

std::mutex handle_mutex;
std::set<void*>& open_handles() {
    static std::set<void*> instance;
    return instance;
}

struct MutexObject {
    int unused = 0;
};

} // namespace

void forget_thread_initialization() {
    thread_initialized = false;
}

void forget_message_box_handler() {
    std::lock_guard lock(handler_mutex);
    handler() = nullptr;
}

const GUID device_moniker_class_id = mcc_guid(0x4315D437, 0x5B8C, 0x11D0, 0xBD3B00A0C911CE86);
// A class id that only the stand-in hands out, and that StringFromCLSID refuses to format.
const GUID unformattable_class_id = mcc_guid(0x5354414E, 0x4449, 0x4E00, 0xBADC1A551D000001);

} // namespace standin::detail

namespace standin {

long live_objects() {
    return detail::live_count.load();
}

void set_message_box_handler(message_box_handler h) {
    std::lock_guard lock(detail::handler_mutex);
    detail::handler() = std::move(h);
}

} // namespace standin

using namespace standin::detail;

// ---------------------------------------------------------------------------------------
// Object runtime.

HRESULT CoInitialize(LPVOID) {
    HRESULT hr =
        current_bench()->faults.co_initialize.value_or(thread_initialized ? S_FALSE : S_OK);
    if (SUCCEEDED(hr))
        thread_initialized = true;
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;

    struct Class {
        const GUID* clsid;
        const char* name;
        HRESULT (*create)(REFIID, void**);
    };
    static const Class classes[] = {
        {&CLSID_SystemDeviceEnum, "SystemDeviceEnum", create_system_device_enum},
        {&CLSID_FilterGraphNoThread, "FilterGraphNoThread", create_filter_graph},
        {&CLSID_DVBSTuningSpace, "DVBSTuningSpace", create_tuning_space},
        {&CLSID_DVBSLocator, "DVBSLocator", create_locator},
        {&CLSID_DVBSNetworkProvider, "DVBSNetworkProvider", create_network_provider},
        {&CLSID_MPEG2Demultiplexer, "MPEG2Demultiplexer", create_demultiplexer},
        {&CLSID_NullRenderer, "NullRenderer", create_null_renderer},
    };
    const Class* found = nullptr;
    for (const Class& c : classes)
        if (*c.clsid == rclsid)
            found = &c;
    if (!found)
        return REGDB_E_CLASSNOTREG;

    auto fault = bench::fault_for(current_bench()->faults.co_create_instance, found->name);
    return sim::with_fault(
        fault, [&] { return pUnkOuter ? CLASS_E_NOAGGREGATION : found->create(riid, ppv); });
}

namespace {

HRESULT format_guid(REFGUID guid, LPOLESTR* lplpsz) {
    std::u16string text = utf16(guid_text(guid));
    auto* out = static_cast<OLECHAR*>(std::malloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *lplpsz = out;
    return S_OK;
}

} // namespace

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz)
        return E_INVALIDARG;
    *lplpsz = nullptr;
    return sim::with_fault(current_bench()->faults.string_from_iid,
                           [&] { return format_guid(rclsid, lplpsz); });
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz)
        return E_INVALIDARG;
    *lplpsz = nullptr;
    if (rclsid == unformattable_class_id)
        return E_OUTOFMEMORY;
    return format_guid(rclsid, lplpsz);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid)
        return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = GUID{};
        return S_OK;
    }
    auto parsed = parse_guid(lpsz);
    if (!parsed)
        return CO_E_CLASSSTRING;
    *pclsid = *parsed;
    return S_OK;
}

LPVOID CoTaskMemAlloc(size_t cb) {
    return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

HRESULT CreateBindCtx(DWORD, LPBC* ppbc) {
    if (!ppbc)
        return E_INVALIDARG;
    return create_bind_ctx(ppbc);
}

// ---------------------------------------------------------------------------------------
// Strings and variants. A BSTR is preceded by its length in bytes (32 bits) and followed by
// a terminating NUL, like the platform's.

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    size_t length = std::char_traits<char16_t>::length(psz);
    size_t bytes = length * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(uint32_t) + bytes + 2));
    if (!block)
        return nullptr;
    auto prefix = static_cast<uint32_t>(bytes);
    std::memcpy(block, &prefix, sizeof prefix);
    auto* text = reinterpret_cast<OLECHAR*>(block + sizeof(uint32_t));
    std::memcpy(text, psz, bytes);
    text[length] = 0;
    return text;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString)
        std::free(reinterpret_cast<unsigned char*>(bstrString) - sizeof(uint32_t));
}

UINT SysStringLen(BSTR pbstr) {
    if (!pbstr)
        return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(pbstr) - sizeof(uint32_t), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANT* pvarg) {
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->byref = nullptr;
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    pvarg->vt = VT_EMPTY;
    pvarg->byref = nullptr;
    return S_OK;
}

HRESULT VarCmp(LPVARIANT pvarLeft, LPVARIANT pvarRight, LCID, ULONG) {
    if (!pvarLeft || !pvarRight)
        return E_INVALIDARG;
    if (pvarLeft->vt == VT_BSTR && pvarRight->vt == VT_BSTR) {
        UINT a = SysStringLen(pvarLeft->bstrVal);
        UINT b = SysStringLen(pvarRight->bstrVal);
        for (UINT i = 0; i < a && i < b; ++i) {
            char16_t x = pvarLeft->bstrVal[i];
            char16_t y = pvarRight->bstrVal[i];
            if (x != y)
                return x < y ? VARCMP_LT : VARCMP_GT;
        }
        return a == b ? VARCMP_EQ : (a < b ? VARCMP_LT : VARCMP_GT);
    }
    if (pvarLeft->vt == VT_I4 && pvarRight->vt == VT_I4) {
        LONG a = pvarLeft->lVal, b = pvarRight->lVal;
        return a == b ? VARCMP_EQ : (a < b ? VARCMP_LT : VARCMP_GT);
    }
    return DISP_E_TYPEMISMATCH;
}

// ---------------------------------------------------------------------------------------
// Kernel objects.

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) {
    auto* handle = new (std::nothrow) MutexObject;
    if (!handle)
        return nullptr;
    std::lock_guard lock(handle_mutex);
    open_handles().insert(handle);
    return handle;
}

BOOL CloseHandle(HANDLE hObject) {
    std::lock_guard lock(handle_mutex);
    auto it = open_handles().find(hObject);
    if (it == open_handles().end())
        return FALSE;
    open_handles().erase(it);
    delete static_cast<MutexObject*>(hObject);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// The message box.

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const char* caption = lpCaption ? lpCaption : "Error";
    const char* text = lpText ? lpText : "";
    trace(std::string("MessageBox \"") + caption + "\" \"" + text + "\"");
    standin::message_box_handler h;
    {
        std::lock_guard lock(handler_mutex);
        h = handler();
    }
    if (h)
        return h(caption, text, uType);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return IDOK;
}
