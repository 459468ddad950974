// The hidden notification window under Wine: created as start-up creates it, and driven with
// the messages the window system sends. Nothing here may open a message box (under Wine it
// would wait for a click).
#include "shell/notify_window.h"

#include <gtest/gtest.h>

namespace {

int refreshes = 0;

int32_t count_refresh() {
    ++refreshes;
    return 0;
}

// A function far from the low 4 GiB would be cut by a 32-bit slot: compare the whole value.
bool slot_holds(HWND window, updateDeviceListDelegate expected) {
    return GetWindowLongPtrW(window, 0) == reinterpret_cast<LONG_PTR>(expected);
}

// Runs the thread's message loop until WM_QUIT; its wParam, or -1 when GetMessage failed.
WPARAM run_message_loop() {
    MSG msg{};
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return got == 0 ? msg.wParam : static_cast<WPARAM>(-1);
}

// The class is registered once per process, as start-up does.
class NotifyWindowEnvironment : public testing::Environment {
  public:
    void SetUp() override { registered = InitWindowClass(); }
    static inline int registered = 0;
};

[[maybe_unused]] const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new NotifyWindowEnvironment);

// Each test gets a fresh window, as start-up makes it, and leaves no window and no pending
// WM_QUIT behind.
class NotifyWindow : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(NotifyWindowEnvironment::registered, 1);
        refreshes = 0;
        cb = nullptr;
        // Creation runs WM_CREATE, which ends the process with code 1 when the registration
        // for device notifications or the edit child fails.
        window = create_notification_window(GetModuleHandleW(nullptr));
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override {
        if (IsWindow(window)) {
            SendMessageW(window, WM_CLOSE, 0, 0);
            run_message_loop();
        }
        cb = nullptr;
    }

    HWND window = nullptr;
};

TEST(NotifyWindowClass, IsRegisteredWithItsStyleAndExtraMemory) {
    ASSERT_EQ(NotifyWindowEnvironment::registered, 1);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    ASSERT_NE(GetClassInfoExW(GetModuleHandleW(nullptr), notify_window_class_name, &wc), 0);
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_OWNDC));
    EXPECT_EQ(wc.cbClsExtra, 4);
    EXPECT_EQ(wc.cbWndExtra, static_cast<int>(sizeof(LONG_PTR))); // room for a whole pointer
}

TEST_F(NotifyWindow, IsCreatedHiddenWithItsRegistrationAndEditChild) {
    EXPECT_NE(hDeviceNotify, nullptr);
    ASSERT_NE(hEditWnd, nullptr);
    EXPECT_EQ(GetParent(hEditWnd), window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(slot_holds(window, nullptr));
}

TEST_F(NotifyWindow, DropsAnEventThatComesBeforeTheCallbackIsStored) {
    EXPECT_EQ(SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), 1);
    EXPECT_EQ(refreshes, 0);
}

TEST_F(NotifyWindow, EditChildFillsTheClientAreaOnResize) {
    SendMessageW(window, WM_SIZE, 0, MAKELPARAM(320, 200));
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(hEditWnd, &frame));
    EXPECT_EQ(frame.right - frame.left, 320);
    EXPECT_EQ(frame.bottom - frame.top, 200);
}

TEST_F(NotifyWindow, RefreshesOnceForEachDeviceChangeThatAltersTheList) {
    const updateDeviceListDelegate callback = bind_update_delegate(count_refresh);
    store_callback(window, callback);
    EXPECT_EQ(cb, callback);
    EXPECT_TRUE(slot_holds(window, callback));

    for (WPARAM event : {DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
        const int before = refreshes;
        EXPECT_EQ(SendMessageW(window, WM_DEVICECHANGE, event, 0), 1) << "event " << event;
        EXPECT_EQ(refreshes, before + 1) << "event " << event;
    }
    // Any other device-change event, a query among them, is granted and refreshes nothing.
    for (WPARAM event : {DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING, DBT_CONFIGCHANGED}) {
        EXPECT_EQ(SendMessageW(window, WM_DEVICECHANGE, event, 0), 1) << "event " << event;
    }
    EXPECT_EQ(refreshes, 3);
}

TEST_F(NotifyWindow, CloseWithdrawsTheRegistrationAndEndsTheLoopWithZero) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(run_message_loop(), 0u);
    EXPECT_EQ(hDeviceNotify, nullptr);
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
