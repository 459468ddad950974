// The control panel's entry point on Linux: starts the stand-in platform, the tuner access
// layer and the toolkit, builds the main window, connects the stand-in's device-change events
// to its refresh, and runs the one message loop until the main window is closed. (Windows
// starts in winmain_win32.cpp, with the native window.)
//
// Everything runs on one thread, the user-interface thread. The stand-in's device-change
// events reach the main window through the refresh callback cb, which is stored before the
// loop runs and so before any event is delivered.
#include "panel/MCCForm.h"

#include <QApplication>

#include "media/device_list.h"
#include "platform/standin.h"
#include "shell/device_change.h"
#include "shell/device_receiver.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/signal_close.h"

#include <cstdio>
#include <cstdlib>

namespace {

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

} // namespace

int main(int argc, char** argv) {
    // The bench is checked before anything else: a broken one ends the process with code 2.
    standin::startup();
    media_initialize();

    choose_platform_without_display();
    // The toolkit's start-up. The Windows toolkit's visual-style and text-rendering switches
    // have no counterpart here: Qt draws with the platform style by default.
    QApplication app(argc, argv);
    install_message_box_handler();

    // Builds every control and asks for the first refresh, due 500 ms later; it runs once
    // the message loop runs.
    MorvaneControlCenter::MCCForm form;

    DeviceChangeReceiver receiver;
    if (!receiver.start())
        return 1; // before the window was ever shown
    CloseOnSignal close_on_signal(&form);
    close_on_signal.install();

    // The refresh callback, bound to this window for the life of the process.
    cb = bind_update_delegate([&form] { return form.updateDevicelistMember(); });

    std::fputs("here we are!!!!\n", stdout);
    std::fflush(stdout);

    // Closing the main window ends the loop and the process, whatever else is on screen.
    run_main_window(form);
    return 0;
}
