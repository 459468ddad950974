// Runs under Wine: creates the notification window as start-up does and drives it with the
// messages the window system would send. Prints one line per check and exits 0 only when
// every check holds. It never opens a message box (under Wine one would wait for a click).
#include "shell/notify_window.h"

#include <cstdio>

namespace {

int passed = 0;
int failures = 0;
int refreshes = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    std::fflush(stdout);
    ++(ok ? passed : failures);
}

int32_t count_refresh() {
    ++refreshes;
    return 0;
}

// A function far from the low 4 GiB would be cut by a 32-bit slot; compare the whole value.
bool slot_holds(HWND window, updateDeviceListDelegate expected) {
    return GetWindowLongPtrW(window, 0) == reinterpret_cast<LONG_PTR>(expected);
}

} // namespace

int main() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);

    check(InitWindowClass() == 1, "the window class is registered");
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    check(GetClassInfoExW(instance, notify_window_class_name, &wc) != 0,
          "the class is found by its name");
    check(wc.style == 0x23, "class style CS_VREDRAW | CS_HREDRAW | CS_OWNDC");
    check(wc.cbClsExtra == 4 && wc.cbWndExtra == static_cast<int>(sizeof(LONG_PTR)),
          "class extra 4 bytes, window extra one pointer");

    // Creation runs WM_CREATE, which ends the process with code 1 when the registration or
    // the edit child fails: reaching the next line means both succeeded.
    const HWND window = create_notification_window(instance);
    check(window != nullptr, "the notification window is created");
    check(hDeviceNotify != nullptr, "the window is registered for device notifications");
    check(hEditWnd != nullptr && GetParent(hEditWnd) == window, "the edit child exists");
    check(!IsWindowVisible(window), "the notification window stays hidden");
    check(slot_holds(window, nullptr), "slot 0 is empty before the callback is stored");

    check(SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0) == 1 && refreshes == 0,
          "an event before the callback is stored is dropped and answered with 1");

    SendMessageW(window, WM_SIZE, 0, MAKELPARAM(320, 200));
    RECT frame{};
    GetWindowRect(hEditWnd, &frame);
    check(frame.right - frame.left == 320 && frame.bottom - frame.top == 200,
          "WM_SIZE makes the edit child fill the client area");

    const updateDeviceListDelegate callback = bind_update_delegate(count_refresh);
    store_callback(window, callback);
    check(cb == callback && slot_holds(window, callback),
          "the callback is stored whole in cb and in slot 0");

    const WPARAM events[] = {DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE};
    bool all_one = true;
    for (WPARAM event : events)
        all_one = SendMessageW(window, WM_DEVICECHANGE, event, 0) == 1 && all_one;
    check(all_one && refreshes == 3,
          "nodes changed, arrival and removal complete refresh once each");

    check(SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, 0) == 1 && refreshes == 3,
          "any other device-change event refreshes nothing and is answered with 1");

    PostMessageW(window, WM_CLOSE, 0, 0);
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    check(got == 0 && msg.wParam == 0, "WM_CLOSE ends the message loop with code 0");
    check(hDeviceNotify == nullptr, "WM_CLOSE withdraws the registration");
    check(!IsWindow(window), "WM_CLOSE destroys the window");

    std::printf("notification-window: %d passed, %d failed\n", passed, failures);
    return failures == 0 ? 0 : 1;
}
