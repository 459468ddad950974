// The device-change dispatch shared by the Windows window procedure and the Linux receiver,
// and the refresh callback bound for the life of the process.
#include "shell/device_change.h"

#include <gtest/gtest.h>

namespace {

int refreshes = 0;
int32_t count_refresh() {
    ++refreshes;
    return 0;
}

class DeviceChangeDispatch : public ::testing::Test {
  protected:
    void SetUp() override { refreshes = 0; }
};

TEST_F(DeviceChangeDispatch, EachOfTheThreeEventsRefreshesOnce) {
    const WPARAM events[] = {DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE};
    int expected = 0;
    for (WPARAM event : events) {
        EXPECT_EQ(dispatch_device_change(event, count_refresh), 1) << "event " << event;
        EXPECT_EQ(refreshes, ++expected) << "event " << event;
    }
}

TEST_F(DeviceChangeDispatch, EveryOtherEventRefreshesNothingAndAnswersOne) {
    // Queries, their cancellations, removal pending, custom and user-defined events, the
    // configuration change and values next to the three that count.
    const WPARAM others[] = {0x0000, 0x0006, 0x0008, 0x0017, 0x0018, 0x0019, 0x8001,
                             0x8002, 0x8003, 0x8005, 0x8006, 0xFFFF, 0x10007};
    for (WPARAM event : others)
        EXPECT_EQ(dispatch_device_change(event, count_refresh), 1) << "event " << event;
    EXPECT_EQ(refreshes, 0);
}

TEST_F(DeviceChangeDispatch, WithoutACallbackNothingIsCalled) {
    EXPECT_EQ(dispatch_device_change(DBT_DEVNODES_CHANGED, nullptr), 1);
    EXPECT_EQ(dispatch_device_change(DBT_DEVICEARRIVAL, nullptr), 1);
    EXPECT_EQ(dispatch_device_change(DBT_DEVICEREMOVECOMPLETE, nullptr), 1);
    EXPECT_EQ(refreshes, 0);
}

TEST(RefreshCallback, BoundCallableIsReachedThroughAPlainPointer) {
    int calls = 0;
    const updateDeviceListDelegate first = bind_update_delegate([&calls] { return ++calls; });
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first(), 1);
    EXPECT_EQ(dispatch_device_change(DBT_DEVICEARRIVAL, first), 1);
    EXPECT_EQ(calls, 2);

    // The binding is the process's one: a new one retargets every pointer handed out.
    int other_calls = 0;
    const updateDeviceListDelegate second = bind_update_delegate([&other_calls] {
        ++other_calls;
        return 7;
    });
    EXPECT_EQ(first(), 7);
    EXPECT_EQ(second(), 7);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(other_calls, 2);
    bind_update_delegate(nullptr);
    EXPECT_EQ(first(), 0) << "an empty binding answers 0 and calls nothing";
}

} // namespace
