// The control panel's entry point on Windows: starts the tuner access layer and the common
// controls, builds the native main window, creates the hidden notification window whose
// device-change events reach the window's refresh, and runs the one message loop until the
// main window is closed.
//
// Everything runs on one thread, the user-interface thread, a single-threaded apartment.
#ifdef _WIN32

#include "media/device_list.h"
#include "panel/win32/MCCForm.h"
#include "shell/console.h"
#include "shell/device_change.h"
#include "shell/notify_window.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

namespace {

// The exit code of a start whose main window cannot be built (1 belongs to the notification
// window's failures, 2 to a refused bench).
constexpr int kMainWindowFailed = 3;

// The visual styles: the manifest asks for common controls 6, this registers their classes
// before the first control is made. Native controls draw their text with GDI, as the
// toolkit's compatible-text-rendering switch set to false asks for, so that switch needs
// nothing here.
void initialize_common_controls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                     ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
}

// Runs the thread's messages until the main window has closed. Tab, Shift+Tab, the arrow
// keys, Enter and Esc are the window's keyboard navigation, as in a dialog.
void run_message_loop(MorvaneControlCenter::MCCForm& form) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.isDialogMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

// The command line and the show mode are not used.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // The log reaches the console the program was started from, if any.
    attach_parent_console();
    // An installer that replaces the program while it runs closes it through Restart Manager
    // (the main window answers the session-end messages as it answers WM_CLOSE), which starts
    // it again afterwards: only then, not after a crash, a hang or a reboot.
    RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);

    // The tuner access layer creates and uses every media-framework object on this thread.
    CoInitialize(nullptr);
    media_initialize();
    initialize_common_controls();

    // Builds every control and asks for the first refresh, due 500 ms later; it runs once
    // the message loop runs.
    std::unique_ptr<MorvaneControlCenter::MCCForm> form;
    try {
        form = std::make_unique<MorvaneControlCenter::MCCForm>();
    } catch (const std::exception& failure) {
        report_failed_start(
            (std::string("morvane-control-center: the main window cannot be built: ") +
             failure.what())
                .c_str());
        return kMainWindowFailed;
    }
    form->setQuitOnClose(true);

    InitWindowClass();
    // Exits with code 1 when the device registration or the edit child fails.
    const HWND notify_window = create_notification_window(hInstance);

    // The refresh callback, bound to this window for the life of the process.
    MorvaneControlCenter::MCCForm* const main_window = form.get();
    store_callback(notify_window, bind_update_delegate([main_window] {
                       return main_window->updateDevicelistMember();
                   }));

    // Standard output, when the program has one (started from a console or with its output
    // redirected); otherwise the line goes nowhere.
    std::fputs("here we are!!!!\n", stdout);
    std::fflush(stdout);

    form->show();
    run_message_loop(*form);
    // The notification window and its registration end with the process.
    return 0;
}

#endif // _WIN32
