// The window-system surface: message numbers, device-change events and the message box.
//
// On Windows: the real SDK. Elsewhere: the stand-in's declarations. The stand-in has no
// window system of its own; device-change events come from the bench (platform/standin.h)
// and are dispatched through the same message numbers.
#pragma once

#include "platform/com.h"

#ifdef _WIN32

#include <dbt.h>

#else // stand-in

typedef void* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t LONG_PTR;

#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_SETFOCUS 0x0007
#define WM_CLOSE 0x0010
#define WM_DEVICECHANGE 0x0219

#define DBT_DEVNODES_CHANGED 0x0007
#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVICEREMOVECOMPLETE 0x8004

#define MB_OK 0x00000000L
#define IDOK 1

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

#endif // _WIN32
