// The control panel's entry point: starts the tuner access layer and the toolkit, builds the
// main window, connects device-change events to its refresh, and runs the one message loop
// until the main window is closed.
//
// Everything runs on one thread, the user-interface thread. The window system's (or, on
// Linux, the stand-in's) device-change events reach the main window through the refresh
// callback cb, which is stored before the loop runs and so before any event is delivered.
#include "panel/MCCForm.h"

#include <QApplication>

#include "media/device_list.h"
#include "shell/device_change.h"
#include "shell/main_window.h"

#ifdef _WIN32
#include "shell/notify_window.h"
#else
#include "platform/standin.h"
#include "shell/device_receiver.h"
#include "shell/message_box.h"
#include "shell/signal_close.h"
#endif

#include <cstdio>
#include <cstdlib>

namespace {

#ifdef _WIN32
using ModuleInstance = HINSTANCE;
#else
using ModuleInstance = void*; // there is no module instance outside Windows
#endif

#ifndef _WIN32
// Without a display the panel still runs, on Qt's offscreen platform, so its log and its
// behaviour stay available on a headless machine.
void choose_platform_without_display() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::fputs("morvane-control-center: no display found; running on Qt's offscreen "
                   "platform\n",
                   stderr);
    }
}
#endif

// Start-up, the message loop, and 0 once the main window has closed. instance is the module
// instance of the running executable (Windows only).
int run_control_center(int argc, char** argv, [[maybe_unused]] ModuleInstance instance) {
#ifndef _WIN32
    // The bench is checked before anything else: a broken one ends the process with code 2.
    standin::startup();
#endif
    media_initialize();

#ifndef _WIN32
    choose_platform_without_display();
#endif
    // The toolkit's start-up. The Windows toolkit's visual-style and text-rendering switches
    // have no counterpart here: Qt draws with the platform style by default.
    QApplication app(argc, argv);
#ifndef _WIN32
    install_message_box_handler();
#endif

    // Builds every control and asks for the first refresh, due 500 ms later; it runs once
    // the message loop runs.
    MorvaneControlCenter::MCCForm form;

#ifdef _WIN32
    InitWindowClass();
    // Exits with code 1 when the device registration or the edit child fails.
    const HWND notify_window = create_notification_window(instance);
#else
    DeviceChangeReceiver receiver;
    if (!receiver.start())
        return 1; // before the window was ever shown
    CloseOnSignal close_on_signal(&form);
    close_on_signal.install();
#endif

    // The refresh callback, bound to this window for the life of the process.
    const updateDeviceListDelegate refresh =
        bind_update_delegate([&form] { return form.updateDevicelistMember(); });
#ifdef _WIN32
    store_callback(notify_window, refresh);
#else
    cb = refresh;
#endif

    std::fputs("here we are!!!!\n", stdout);
    std::fflush(stdout);

    // Closing the main window ends the loop and the process, whatever else is on screen.
    run_main_window(form);
    return 0;
}

} // namespace

#ifdef _WIN32
// The command line and the show mode are not used; Qt takes its arguments from the process.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // The user-interface thread is a single-threaded apartment: the tuner access layer
    // creates and uses every media-framework object on it.
    CoInitialize(nullptr);
    return run_control_center(__argc, __argv, hInstance);
}
#else
int main(int argc, char** argv) {
    return run_control_center(argc, argv, nullptr);
}
#endif
