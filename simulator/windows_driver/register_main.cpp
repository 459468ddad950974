// morvane-register: registers the simulated driver and the device entries of the bench named
// in MORVANE_BENCH, and announces device changes to the top-level windows.
//
//   morvane-register DLL                  register (again)
//   morvane-register --watch DLL [READY]  register, create READY, and until stopped take
//                                         each change of the bench's content that is not the
//                                         driver's own write for a device change: the entries
//                                         are registered again (a refused bench keeps the last
//                                         valid ones) and WM_DEVICECHANGE /
//                                         DBT_DEVNODES_CHANGED goes to every top-level window
//   morvane-register --unregister DLL     remove what registering wrote
//
// Exit codes: 0 done; 2 the bench is refused ("bench: FILE: REASON" on standard error); 1
// anything else, with one line on standard error; 64 wrong arguments.

#include "simulator/bench/bench_file.h"
#include "simulator/windows_driver/simdriver.h"

#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// What the system sends to every top-level window when a device node changes.
void broadcast_device_change() {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG,
                        5000, &answer);
}

// The bench named in MORVANE_BENCH is readable and valid (or none is named); when it is not,
// with report set, says why on standard error.
bool bench_accepted(bool report) {
    auto path = simdriver::environment(L"MORVANE_BENCH");
    if (!path)
        return true;
    bench::Loaded loaded = bench::load_file(*path);
    if (loaded.bench)
        return true;
    // Named as the user gave it (scripts/wine-bench.sh), else by the path the driver reads.
    if (report)
        std::fprintf(
            stderr, "bench: %s: %s\n",
            bench::printable(simdriver::environment(L"MORVANE_BENCH_LABEL").value_or(*path), 4096)
                .c_str(),
            loaded.reason.c_str());
    return false;
}

// Registers the driver (or removes its registration) by its own entry point.
int run_entry(const wchar_t* dll, bool unregister) {
    static HMODULE module = LoadLibraryW(dll);
    if (!module) {
        std::fprintf(stderr, "morvane-register: cannot load %s (error %lu)\n",
                     bench::narrow(dll).c_str(), GetLastError());
        return 1;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(module, unregister ? "DllUnregisterServer" : "DllRegisterServer")));
    if (!entry) {
        std::fprintf(stderr, "morvane-register: %s is not a COM server\n",
                     bench::narrow(dll).c_str());
        return 1;
    }
    HRESULT hr = entry();
    if (FAILED(hr)) {
        std::fprintf(stderr, "morvane-register: %s failed (0x%08lx)\n",
                     unregister ? "unregistering" : "registering", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

// Watches the bench until the process is stopped, with a look every quarter of a second
// through its whole path (so a link on the way that leads elsewhere, or a replaced folder, is
// seen as an edit is). A look costs the file's stamp, and a read only when the stamp changed,
// so a burst of edits costs no more than a quiet file.
int watch(const wchar_t* dll, const wchar_t* ready) {
    const std::string path = simdriver::environment(L"MORVANE_BENCH").value_or("");
    bench::ContentWatch seen;
    seen.changed(path, simdriver::own_writes());
    if (!bench_accepted(true))
        return 2;
    if (int status = run_entry(dll, false))
        return status;
    if (ready)
        CloseHandle(CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (;;) {
        Sleep(250);
        try {
            if (!seen.changed(path, simdriver::own_writes()))
                continue;
            // A refused bench: the driver tells why at the programs' next enumeration.
            if (bench_accepted(false))
                run_entry(dll, false);
            broadcast_device_change();
        } catch (...) {
            // Out of memory for now: the next look tries again.
        }
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 2 && argv[1][0] == L'-' ? argv[1] : L"";
    const int first = mode.empty() ? 1 : 2;
    if ((!mode.empty() && mode != L"--watch" && mode != L"--unregister") || argc <= first ||
        argv[first][0] == L'-' || argc > first + (mode == L"--watch" ? 2 : 1)) {
        std::fprintf(stderr, "usage: morvane-register [--watch | --unregister] DLL [READY]\n");
        return 64;
    }
    const wchar_t* dll = argv[first];
    // The driver writes its trace for the programs it serves, not for this tool.
    SetEnvironmentVariableW(L"MORVANE_TRACE", nullptr);
    if (mode == L"--watch")
        return watch(dll, argc > first + 1 ? argv[first + 1] : nullptr);
    if (mode.empty() && !bench_accepted(true))
        return 2;
    return run_entry(dll, mode == L"--unregister");
}
