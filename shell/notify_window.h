// The hidden notification window of the Windows build: a top-level window that is never
// shown, registers for device-change notifications while it is created, and passes each
// device-change event to the refresh callback stored in slot 0 of its extra memory.
#pragma once

#ifdef _WIN32

#include "platform/win32.h"
#include "shell/device_change.h"

// {25DBCE51-6C8F-4A72-8A6D-B54C2B4FC835}: the device interface class of the registration.
extern const GUID WceusbshGUID;

// The registration made at window creation; withdrawn (and set to null) on WM_CLOSE.
extern HDEVNOTIFY hDeviceNotify;
// The "EDIT" child that fills the notification window's client area.
extern HWND hEditWnd;

// The class name and title of the notification window.
inline constexpr const wchar_t* notify_window_class_name = L"Morvane Control Center";

// Registers the notification window class. 1 when the class was registered, else 0.
int InitWindowClass();

// The notification window's procedure.
LRESULT CALLBACK WinProcCallback(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the hidden notification window of the registered class (start-up step 5). Its
// creation registers for device notifications and ends the process with exit code 1 when
// that, or the child window, fails. Null when the window cannot be created.
HWND create_notification_window(HINSTANCE hInstance);

// Stores the refresh callback in cb and in slot 0 of the notification window (start-up
// step 7). From then on device-change messages to the window call it.
void store_callback(HWND notify_window, updateDeviceListDelegate callback);

#endif // _WIN32
