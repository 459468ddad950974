// Device-change events from the bench file.

#include "standin_fixture.h"

#include <poll.h>

namespace {

class Watch : public StandinTest {
  protected:
    // Waits until the watch reports activity (or the timeout), then dispatches it.
    void settle(int timeout_ms = 500) {
        int fd = standin::device_change_fd();
        ASSERT_GE(fd, 0);
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, timeout_ms) > 0) {
            standin::dispatch_device_changes();
            timeout_ms = 50; // drain what follows closely
        }
    }

    int events = 0;
};

TEST_F(Watch, WithoutABenchThereIsNothingToWatch) {
    EXPECT_TRUE(standin::watch_device_changes([this] { ++events; }));
    EXPECT_EQ(standin::device_change_fd(), -1);
    standin::dispatch_device_changes();
    EXPECT_EQ(events, 0);
}

TEST_F(Watch, TheReceiverFaultRefusesTheWatch) {
    use_bench("{}");
    setenv("MORVANE_FAULT_DEVICE_WATCH", "1", 1);
    EXPECT_FALSE(standin::watch_device_changes([this] { ++events; }));
    setenv("MORVANE_FAULT_DEVICE_WATCH", "0", 1);
    EXPECT_TRUE(standin::watch_device_changes([this] { ++events; }));
}

TEST_F(Watch, AnOutsideEditFiresOnce) {
    use_bench(R"({"tuners": []})");
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));
    ASSERT_GE(standin::device_change_fd(), 0);

    write_file("bench.json", R"({"tuners": [{"friendly_name": "Plugged in"}]})");
    settle();
    EXPECT_EQ(events, 1);

    // The same content written again is no change.
    write_file("bench.json", R"({"tuners": [{"friendly_name": "Plugged in"}]})");
    settle(200);
    EXPECT_EQ(events, 1);

    // Other files of the directory are not the bench.
    write_file("notes.txt", "x");
    settle(200);
    EXPECT_EQ(events, 1);
}

TEST_F(Watch, ReplacingOrRemovingTheFileCounts) {
    std::string path = use_bench(R"({"tuners": []})");
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));
    std::string other = write_file("next.json", R"({"tuners": [{}]})");
    std::filesystem::rename(other, path);
    settle();
    EXPECT_EQ(events, 1);
    std::filesystem::remove(path);
    settle();
    EXPECT_EQ(events, 2);
}

TEST_F(Watch, TheStandInsOwnWritesFireNothing) {
    use_bench(R"({"tuners": [{"unicable": {"enabled": 1, "scr": 1, "frequency": 1210}}]})");
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));
    {
        auto set = property_set(tuner().get());
        ASSERT_EQ(write_prop(set.get(), 5, 1420), S_OK);
        ASSERT_EQ(write_prop(set.get(), 4, 2), S_OK);
    }
    settle(200);
    EXPECT_EQ(events, 0);
    // The watch still sees the next outside edit.
    write_file("bench.json", "{}");
    settle();
    EXPECT_EQ(events, 1);
}

TEST_F(Watch, StoppingEndsTheWatch) {
    use_bench("{}");
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));
    standin::stop_watching_device_changes();
    EXPECT_EQ(standin::device_change_fd(), -1);
    write_file("bench.json", R"({"tuners": []})");
    standin::dispatch_device_changes();
    EXPECT_EQ(events, 0);
}

} // namespace
