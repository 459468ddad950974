// A top-level window that waits for the device-change broadcast, for the hot-plug test
// (hotplug_case.sh) of scripts/wine-bench.sh:
//
//   windows-device-change-probe READY_FILE [CHANGES]
//
// 1. Stores a property value through the DVB-S2 tuner's property set: the driver's own write
//    into the bench, which is no device change. For two seconds no WM_DEVICECHANGE may come.
// 2. Prints the tuners' names ("before: A|B").
// 3. CHANGES times (default 1): creates READY_FILE, waits (at most 60 s) for WM_DEVICECHANGE
//    with DBT_DEVNODES_CHANGED, and prints the tuners' names again ("after: ...").
// Exit codes: 0 done, 1 no device change came, 3 a device change came after the own write,
// 4 the tuner or its property set was not found.
#include "media/com_ptr.h"
#include "platform/dshow.h"
#include "platform/win32.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr GUID extension_set = {
    0x2D6A46DF, 0xA5BA, 0x4F76, {0x80, 0x8B, 0x86, 0x73, 0x4B, 0x59, 0xE9, 0x35}};

int device_changes = 0;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DEVICECHANGE && wparam == DBT_DEVNODES_CHANGED) {
        ++device_changes;
        return TRUE;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// Dispatches the thread's messages for up to milliseconds, or until a device change came.
void pump(DWORD milliseconds, bool until_change) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (until_change && device_changes > 0)
            return;
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

std::string names(std::vector<com_ptr<IMoniker>>* monikers = nullptr) {
    com_ptr<ICreateDevEnum> devenum;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     devenum.put_void());
    com_ptr<IEnumMoniker> list;
    if (!devenum ||
        devenum->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, list.put(), 0) != S_OK)
        return std::string();
    std::string out;
    com_ptr<IMoniker> moniker;
    while (list->Next(1, moniker.put(), nullptr) == S_OK) {
        com_ptr<IPropertyBag> bag;
        moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void());
        VARIANT name;
        VariantInit(&name);
        if (bag)
            bag->Read(L"FriendlyName", &name, nullptr);
        if (!out.empty())
            out += '|';
        for (const wchar_t* c = name.vt == VT_BSTR ? name.bstrVal : L"?"; *c; ++c)
            out += static_cast<char>(*c);
        VariantClear(&name);
        if (monikers)
            monikers->push_back(std::move(moniker));
    }
    return out;
}

// Stores 1300 as the DVB-S2 tuner's Unicable frequency (property 5).
bool store_frequency() {
    std::vector<com_ptr<IMoniker>> monikers;
    std::string list = names(&monikers);
    if (monikers.empty() || list.rfind("Morvane DVB-S2 Tuner", 0) != 0)
        return false;
    com_ptr<IBaseFilter> tuner;
    if (FAILED(monikers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, tuner.put_void())))
        return false;
    com_ptr<IPin> out;
    if (FAILED(tuner->FindPin(L"MPEG2 Transport", out.put())))
        return false;
    com_ptr<IKsPropertySet> set;
    if (FAILED(out.query(IID_IKsPropertySet, set)))
        return false;
    int32_t value = 1300;
    return set->Set(extension_set, 5, &value, 4, &value, 4) == S_OK;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int changes = argc == 3 ? _wtoi(argv[2]) : 1;
    if (argc < 2 || argc > 3 || changes < 1) {
        std::fprintf(stderr, "usage: windows-device-change-probe READY_FILE [CHANGES]\n");
        return 64;
    }
    CoInitialize(nullptr);
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"MorvaneDeviceChangeProbe";
    RegisterClassW(&window_class);
    HWND window =
        CreateWindowExW(0, window_class.lpszClassName, L"device change probe", WS_OVERLAPPEDWINDOW,
                        0, 0, 100, 100, nullptr, nullptr, window_class.hInstance, nullptr);
    if (!window)
        return 4;

    if (!store_frequency()) {
        std::printf("the DVB-S2 tuner's property set was not found\n");
        return 4;
    }
    pump(2000, false);
    if (device_changes > 0) {
        std::printf("a device change came after the driver's own write\n");
        return 3;
    }
    std::printf("before: %s\n", names().c_str());
    for (int change = 0; change < changes; ++change) {
        std::fflush(stdout);
        device_changes = 0;
        HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE)
            CloseHandle(ready);
        pump(60000, true);
        if (device_changes == 0) {
            std::printf("no device change came\n");
            return 1;
        }
        std::printf("after: %s\n", names().c_str());
    }
    DestroyWindow(window);
    return 0;
}
