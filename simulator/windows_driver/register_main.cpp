// morvane-register: registers the simulated driver and the device entries of the bench named
// in MORVANE_BENCH, and announces device changes to the top-level windows.
//
//   morvane-register DLL                  register (again)
//   morvane-register --notify DLL         register again, then send WM_DEVICECHANGE /
//                                         DBT_DEVNODES_CHANGED to every top-level window, as
//                                         the system does when a device node changes
//   morvane-register --watch DLL [READY]  watch the bench until stopped: each change of its
//                                         content that is not the driver's own write is a
//                                         --notify (creates READY once the watch is set up)
//   morvane-register --unregister DLL     remove what registering wrote
//
// Exit codes: 0 done; 2 the bench is refused ("bench: FILE: REASON" on standard error; with
// --notify and --watch the last valid entries stay and the change is announced); 1 anything
// else, with one line on standard error; 64 wrong arguments.

#include "simulator/bench/bench_file.h"
#include "simulator/windows_driver/simdriver.h"

#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
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
    auto path = simdriver::environment(L"MORVANE_BENCH");
    if (!path)
        return true;
    bench::FileRead read = bench::read_file(*path);
    std::string reason = read.reason;
    if (read.ok) {
        bench::Loaded loaded = bench::load(read.bytes);
        if (loaded.bench)
            return true;
        reason = loaded.reason;
    }
    // Named as the user gave it (scripts/wine-bench.sh), else by the path the driver reads.
    if (report)
        std::fprintf(
            stderr, "bench: %s: %s\n",
            bench::printable(simdriver::environment(L"MORVANE_BENCH_LABEL").value_or(*path), 4096)
                .c_str(),
            reason.c_str());
    return false;
}

// Registers the driver (or removes its registration) by its own entry point.
int run_entry(const wchar_t* dll, bool unregister) {
    static HMODULE module = LoadLibraryW(dll);
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
    return 0;
}

// A device change: the entries registered anew (a refused bench keeps those of the last valid
// one; the driver tells why at the programs' next enumeration, as the stand-in does), and the
// programs told.
int notify(const wchar_t* dll) {
    int status = bench_accepted(false) ? run_entry(dll, false) : 0;
    broadcast_device_change();
    return status;
}

// The folder the bench lies in now, every link on the way followed; the folder named in its
// path when the bench cannot be opened.
std::wstring bench_folder(const std::wstring& path) {
    for (const std::wstring& item : {path, path.substr(0, path.find_last_of(L"\\/") + 1)}) {
        HANDLE file = CreateFileW(item.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        std::wstring final(32768, L'\0');
        DWORD n = GetFinalPathNameByHandleW(file, final.data(), 32768, 0);
        CloseHandle(file);
        if (n > 0 && n < 32768)
            return final.substr(0, item == path ? final.find_last_of(L'\\') + 1 : n);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// Watches the bench until the process is stopped. The folder it lies in wakes the watch at
// once; a look every half second sees what that folder cannot show (a link on the way that
// leads elsewhere now, a replaced folder). A look costs the file's stamp, and a read only
// when the stamp changed, so a burst of edits costs one look per wake.
[[noreturn]] void watch(const wchar_t* dll, const wchar_t* ready) {
    const std::string path = simdriver::environment(L"MORVANE_BENCH").value_or("");
    bench::ContentWatch seen;
    seen.changed(path, simdriver::own_writes());
    if (ready)
        CloseHandle(CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    HANDLE wake = INVALID_HANDLE_VALUE;
    std::wstring watched;
    for (;;) {
        try {
            if (std::wstring folder = bench_folder(wide(path)); folder != watched) {
                if (wake != INVALID_HANDLE_VALUE)
                    FindCloseChangeNotification(wake);
                wake = FindFirstChangeNotificationW(
                    folder.c_str(), FALSE,
                    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                        FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                        FILE_NOTIFY_CHANGE_ATTRIBUTES);
                watched = folder;
            }
            if (wake == INVALID_HANDLE_VALUE)
                Sleep(500);
            else if (WaitForSingleObject(wake, 500) == WAIT_OBJECT_0)
                FindNextChangeNotification(wake);
            if (seen.changed(path, simdriver::own_writes()) && notify(dll) != 0)
                std::fprintf(stderr, "morvane-register: announcing a device change failed\n");
        } catch (...) {
            Sleep(500); // out of memory for now: the next look tries again
        }
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: morvane-register [--notify | --watch | --unregister] DLL [READY]\n");
    return 64;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 2 && argv[1][0] == L'-' ? argv[1] : L"";
    const int first = mode.empty() ? 1 : 2;
    const bool known =
        mode.empty() || mode == L"--notify" || mode == L"--watch" || mode == L"--unregister";
    if (!known || argc <= first || argv[first][0] == L'-' ||
        argc > first + (mode == L"--watch" ? 2 : 1))
        return usage();
    const wchar_t* dll = argv[first];
    // The driver writes its trace for the programs it serves, not for this tool.
    SetEnvironmentVariableW(L"MORVANE_TRACE", nullptr);
    if (mode == L"--watch")
        watch(dll, argc > first + 1 ? argv[first + 1] : nullptr);
    if (mode == L"--notify")
        return notify(dll);
    if (mode.empty() && !bench_accepted(true))
        return 2;
    return run_entry(dll, mode == L"--unregister");
}
