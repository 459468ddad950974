// Starts the window program as a user does, through its Start menu shortcut, for the
// installer's life-cycle test (life_cycle_case.sh):
//
//   installer-shortcut-probe SHORTCUT.lnk
//
// Prints what the shortcut holds ("target: ", "working directory: ", "icon: PATH,INDEX"),
// opens it through the shell, waits (at most 60 s) for the program's window, closes it as its
// close button does (WM_CLOSE), and prints "exit code: N" once the program ended.
// Exit codes: 0 done (whatever the program's exit code), 1 the shortcut could not be read or
// opened, 2 no window appeared, 3 the program did not end within 30 s of closing its window.
#include "media/com_ptr.h"
#include "panel/win32/MCCForm.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

using MorvaneControlCenter::MCCForm;

void print(const char* label, const std::wstring& text) {
    std::printf("%s: %ls\n", label, text.c_str());
}

// The shortcut's target, working directory and icon; false when it cannot be read.
bool describe(const wchar_t* path) {
    com_ptr<IShellLinkW> link;
    com_ptr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put_void())) ||
        FAILED(link.query(IID_IPersistFile, file)) || FAILED(file->Load(path, STGM_READ)))
        return false;
    wchar_t text[MAX_PATH] = L"";
    if (FAILED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
        return false;
    print("target", text);
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH);
    print("working directory", text);
    int index = 0;
    text[0] = L'\0';
    link->GetIconLocation(text, MAX_PATH, &index);
    print("icon", std::wstring(text) + L"," + std::to_wstring(index));
    return true;
}

// COM for this thread, as long as it lives.
struct com_apartment {
    com_apartment()
        : ok(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~com_apartment() {
        if (ok)
            CoUninitialize();
    }
    const bool ok;
};

HWND wait_for_window(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindWindowW(MCCForm::kClassName, MCCForm::kTitle))
            if (IsWindowVisible(window))
                return window;
        if (GetTickCount() - start > milliseconds)
            return nullptr;
        Sleep(50);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: installer-shortcut-probe SHORTCUT.lnk\n");
        return 64;
    }
    com_apartment com;
    if (!com.ok || !describe(argv[1])) {
        std::printf("the shortcut cannot be read\n");
        return 1;
    }
    std::fflush(stdout);

    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof(open);
    open.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    open.lpVerb = L"open";
    open.lpFile = argv[1];
    open.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&open)) {
        std::printf("the shortcut cannot be opened (error %lu)\n", GetLastError());
        return 1;
    }
    HWND window = wait_for_window(60000);
    if (!window) {
        std::printf("no window \"%ls\" appeared\n", MCCForm::kTitle);
        return 2;
    }
    std::printf("window: opened\n");
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 0;
    const bool ended = process && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &code);
    if (process)
        CloseHandle(process);
    if (!ended) {
        std::printf("the program did not end after its window was closed\n");
        return 3;
    }
    std::printf("exit code: %lu\n", code);
    return 0;
}
