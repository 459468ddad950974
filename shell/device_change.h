// The refresh callback of the panel and the dispatch of device-change events to it.
//
// The same dispatch serves the Windows notification window (its WM_DEVICECHANGE) and the
// Linux receiver of the stand-in's bench events, which arrive as DBT_DEVNODES_CHANGED.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <functional>

// The refresh callback: no arguments, signed 32-bit result (the result is not used).
using updateDeviceListDelegate = int32_t (*)();

// The panel's refresh callback. Null until start-up stores it; from then on it stays valid
// and set for the life of the process. Events that find it null are dropped.
extern updateDeviceListDelegate cb;

// Binds target for the life of the process and returns a plain function pointer that calls
// it. The binding is never released. There is one binding per process: binding again makes
// every pointer handed out so far call the new target.
updateDeviceListDelegate bind_update_delegate(std::function<int32_t()> target);

// One WM_DEVICECHANGE event with the given wParam. Device nodes changed (0x0007), arrival
// (0x8000) and removal complete (0x8004) each call callback once when it is non-null; every
// other event does nothing. The result is the message result, 1 for every event (which also
// grants any query the window system makes through this message).
LRESULT dispatch_device_change(WPARAM event, updateDeviceListDelegate callback);
