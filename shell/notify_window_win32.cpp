#ifdef _WIN32

#include "shell/notify_window.h"

#include "shell/console.h"

#include <cstring>
#include <string>

const GUID WceusbshGUID = {
    0x25DBCE51, 0x6C8F, 0x4A72, {0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35}};

HDEVNOTIFY hDeviceNotify = nullptr;
HWND hEditWnd = nullptr;

namespace {

constexpr UINT edit_child_id = 1;
// The system's application icon and arrow cursor (IDI_APPLICATION, IDC_ARROW), which the
// SDK spells as narrow resource names unless UNICODE is defined.
constexpr WORD system_application_icon = 32512;
constexpr WORD system_arrow_cursor = 32512;

// The callback pointer lives in slot 0 of the window's extra memory. The slot is pointer
// sized: a 32-bit slot would cut the pointer in half on 64-bit Windows.
updateDeviceListDelegate callback_of(HWND hWnd) {
    return reinterpret_cast<updateDeviceListDelegate>(GetWindowLongPtrW(hWnd, 0));
}

// A failed start: its line, then the process ends at once with exit code 1.
void fail_start(const char* what) {
    const DWORD error = GetLastError();
    report_failed_start(
        (std::string("morvane-control-center: ") + what + " (error " + std::to_string(error) + ")")
            .c_str());
    ExitProcess(1);
}

// WM_CREATE: register for device notifications of the one interface class, then create the
// edit child. Either failing ends the process at once with exit code 1.
void on_create(HWND hWnd) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset(&filter, 0, sizeof(filter));
    filter.dbcc_size = sizeof(DEV_BROADCAST_DEVICEINTERFACE_W);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = WceusbshGUID;

    hDeviceNotify = RegisterDeviceNotificationW(hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (hDeviceNotify == nullptr)
        fail_start("cannot register for device notifications");

    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hWnd, GWLP_HINSTANCE));
    hEditWnd = CreateWindowExW(
        0, L"EDIT", nullptr,
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 0, 0,
        hWnd, reinterpret_cast<HMENU>(UINT_PTR{edit_child_id}), instance, nullptr);
    if (hEditWnd == nullptr)
        fail_start("cannot create the notification window's edit child");

    SendMessageW(hEditWnd, WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"Registered for USB device notification...\n"));
}

} // namespace

int InitWindowClass() {
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.cbSize = sizeof(WNDCLASSEXW);
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WinProcCallback;
    wc.cbClsExtra = 4;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(system_application_icon));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(system_arrow_cursor));
    wc.hbrBackground = CreateSolidBrush(RGB(192, 192, 192));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = notify_window_class_name;
    wc.hIconSm = wc.hIcon;
    return RegisterClassExW(&wc) != 0 ? 1 : 0;
}

LRESULT CALLBACK WinProcCallback(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const updateDeviceListDelegate callback = callback_of(hWnd);

    switch (message) {
    case WM_CREATE:
        on_create(hWnd);
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 1;
    case WM_SIZE:
        MoveWindow(hEditWnd, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 1;
    case WM_SETFOCUS:
        SetFocus(hEditWnd);
        return 1;
    case WM_CLOSE:
        if (UnregisterDeviceNotification(hDeviceNotify))
            hDeviceNotify = nullptr;
        DestroyWindow(hWnd);
        return 1;
    case WM_DEVICECHANGE:
        return dispatch_device_change(wParam, callback);
    default:
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
}

HWND create_notification_window(HINSTANCE hInstance) {
    // Never shown: the style lacks WS_VISIBLE and nothing calls a show operation on it.
    return CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CLIENTEDGE, notify_window_class_name,
                           notify_window_class_name, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 640,
                           480, nullptr, nullptr, hInstance, nullptr);
}

void store_callback(HWND notify_window, updateDeviceListDelegate callback) {
    cb = callback;
    SetWindowLongPtrW(notify_window, 0, reinterpret_cast<LONG_PTR>(callback));
}

#endif // _WIN32
