// morvane-register: registers the simulated driver and the device entries of the bench named
// in MORVANE_BENCH, and announces a device change to the top-level windows.
//
//   morvane-register [--notify] DLL       register (again); with --notify, afterwards send
//                                         WM_DEVICECHANGE / DBT_DEVNODES_CHANGED to every
//                                         top-level window, as the system does when a device
//                                         node changes
//   morvane-register --unregister DLL     remove what registering wrote
//
// Exit codes: 0 done; 2 the bench is refused ("bench: FILE: REASON" on standard error; with
// --notify the last valid entries stay and the change is announced); 1 anything else, with
// one line on standard error; 64 wrong arguments.

#include "simulator/bench/bench_file.h"

#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// What the system sends to every top-level window when a device node changes.
void broadcast_device_change() {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG,
                        5000, &answer);
}

// The bench named in MORVANE_BENCH is readable and valid (or none is named); when it is not,
// with report set, says why on standard error.
bool bench_accepted(bool report) {
    DWORD n = GetEnvironmentVariableW(L"MORVANE_BENCH", nullptr, 0);
    if (n == 0)
        return true;
    std::vector<wchar_t> value(n);
    GetEnvironmentVariableW(L"MORVANE_BENCH", value.data(), n);
    std::string path = narrow(value.data());
    // Named as the user gave it (scripts/wine-bench.sh), else by the path the driver reads.
    std::string label = path;
    if (DWORD m = GetEnvironmentVariableW(L"MORVANE_BENCH_LABEL", nullptr, 0)) {
        std::vector<wchar_t> given(m);
        GetEnvironmentVariableW(L"MORVANE_BENCH_LABEL", given.data(), m);
        label = narrow(given.data());
    }
    bench::FileRead read = bench::read_file(path);
    std::string reason = read.reason;
    if (read.ok) {
        bench::Loaded loaded = bench::load(read.bytes);
        if (loaded.bench)
            return true;
        reason = loaded.reason;
    }
    if (report)
        std::fprintf(stderr, "bench: %s: %s\n", bench::printable(label, 4096).c_str(),
                     reason.c_str());
    return false;
}

int usage() {
    std::fprintf(stderr, "usage: morvane-register [--notify | --unregister] DLL\n");
    return 64;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    bool notify = false, unregister = false;
    const wchar_t* dll = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--notify") == 0)
            notify = true;
        else if (std::wcscmp(argv[i], L"--unregister") == 0)
            unregister = true;
        else if (!dll && argv[i][0] != L'-')
            dll = argv[i];
        else
            return usage();
    }
    if (!dll || (notify && unregister))
        return usage();
    // At a device change, a refused bench keeps the entries of the last valid one, and the
    // programs learn of the change all the same; the driver tells why at their next
    // enumeration, as the stand-in does.
    if (!unregister && !bench_accepted(!notify)) {
        if (!notify)
            return 2;
        broadcast_device_change();
        return 0;
    }

    // The driver writes its trace for the programs it serves, not for this tool.
    SetEnvironmentVariableW(L"MORVANE_TRACE", nullptr);
    HMODULE module = LoadLibraryW(dll);
    if (!module) {
        std::fprintf(stderr, "morvane-register: cannot load %s (error %lu)\n", narrow(dll).c_str(),
                     GetLastError());
        return 1;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(module, unregister ? "DllUnregisterServer" : "DllRegisterServer")));
    if (!entry) {
        std::fprintf(stderr, "morvane-register: %s is not a COM server\n", narrow(dll).c_str());
        return 1;
    }
    HRESULT hr = entry();
    if (FAILED(hr)) {
        std::fprintf(stderr, "morvane-register: %s failed (0x%08lx)\n",
                     unregister ? "unregistering" : "registering", static_cast<unsigned long>(hr));
        return 1;
    }
    if (notify)
        broadcast_device_change();
    return 0;
}
