// Starts the window program through its Start menu shortcut, as a user does (life_cycle_case.sh):
//   installer-shortcut-probe SHORTCUT.lnk
// Prints the shortcut's "target: ", "working directory: " and "icon: PATH,INDEX", opens it
// through the shell, waits for the program's window and its first refresh, closes it as
// Restart Manager does for an installer (WM_QUERYENDSESSION, whose answer it prints as
// "may close: N", then WM_ENDSESSION, both with ENDSESSION_CLOSEAPP) and prints
// "exit code: N". Exit code 1 when any of that fails (what failed is printed).
#include "media/com_ptr.h"
#include "panel/win32/MCCForm.h"

#include <shlobj.h>

#include <cstdio>

using MorvaneControlCenter::ControlId;
using MorvaneControlCenter::MCCForm;

namespace {

bool describe(const wchar_t* path) {
    com_ptr<IShellLinkW> link;
    com_ptr<IPersistFile> file;
    wchar_t target[MAX_PATH] = L"", directory[MAX_PATH] = L"", icon[MAX_PATH] = L"";
    int index = -1;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put_void())) ||
        FAILED(link.query(IID_IPersistFile, file)) || FAILED(file->Load(path, STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)))
        return false;
    link->GetWorkingDirectory(directory, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH, &index);
    std::printf("target: %ls\nworking directory: %ls\nicon: %ls,%d\n", target, directory, icon,
                index);
    return true;
}

int fail(const char* what) {
    std::printf("%s\n", what);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return fail("usage: installer-shortcut-probe SHORTCUT.lnk");
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const bool described = com && describe(argv[1]);
    if (com)
        CoUninitialize();
    if (!described)
        return fail("the shortcut cannot be read");

    std::fflush(stdout);
    if (reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, L"open", argv[1], nullptr, nullptr, SW_SHOWNORMAL)) <= 32)
        return fail("the shortcut cannot be opened");
    HWND window = nullptr;
    auto refreshed = [&window] {
        HWND list = GetDlgItem(window, static_cast<int>(ControlId::deviceListBox));
        return IsWindowVisible(window) && list && SendMessageW(list, LB_GETCOUNT, 0, 0) > 0;
    };
    for (int tries = 0; tries < 1200 && !(window && refreshed()); ++tries, Sleep(50))
        window = FindWindowW(MCCForm::kClassName, MCCForm::kTitle);
    if (!window || !refreshed())
        return fail("the program's window did not appear and list the devices within 60 s");

    DWORD id = 0, code = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    DWORD_PTR may = 0;
    SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 10000,
                        &may);
    std::printf("may close: %d\n", static_cast<int>(may));
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 10000,
                        nullptr);
    const bool ended = process && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &code);
    if (process)
        CloseHandle(process);
    if (!ended)
        return fail("the program did not end within 30 s of the session-end messages");
    std::printf("exit code: %lu\n", code);
    return 0;
}
