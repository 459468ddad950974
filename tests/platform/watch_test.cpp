// Device-change events from the bench file.

#include "standin_fixture.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace {

class Watch : public StandinTest {
  protected:
    // Waits until the watch reports activity (or the timeout), then dispatches it. The watch
    // also wakes for other names beside the bench's folder (a busy /tmp), so draining stops
    // after two seconds at the latest.
    void settle(int timeout_ms = 500) {
        int fd = standin::device_change_fd();
        ASSERT_GE(fd, 0);
        pollfd p{fd, POLLIN, 0};
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end && poll(&p, 1, timeout_ms) > 0) {
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

// Through a symbolic link the file it names is watched, in its own directory; a directory on
// the way that is replaced is watched anew.
TEST_F(Watch, TheFileBehindALinkAndAReplacedDirectoryAreWatched) {
    std::filesystem::create_directories(dir_ + "/real");
    std::string target = write_file("real/bench.json", R"({"tuners": []})");
    std::string link = dir_ + "/bench.json";
    ASSERT_EQ(symlink("real/bench.json", link.c_str()), 0);
    setenv("MORVANE_BENCH", link.c_str(), 1);
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));

    write_file("real/bench.json", R"({"tuners": [{}]})");
    settle();
    EXPECT_EQ(events, 1) << "an edit of the file the link names";

    // The directory holding the file is replaced by another one (a checkout, a restore).
    std::filesystem::create_directories(dir_ + "/next");
    write_file("next/bench.json", R"({"tuners": [{}, {}]})");
    std::filesystem::rename(dir_ + "/real", dir_ + "/old");
    std::filesystem::rename(dir_ + "/next", dir_ + "/real");
    settle();
    EXPECT_EQ(events, 2) << "the replaced directory brings other content";
    write_file("real/bench.json", R"({"tuners": [{}, {}, {}]})");
    settle();
    EXPECT_EQ(events, 3) << "the new directory is watched";
    write_file("old/bench.json", "{}");
    settle(200);
    EXPECT_EQ(events, 3) << "the old one is not the bench any more";
}

// Links are followed as the system follows them: a chain longer than eight, and a relative
// ".." link inside a directory reached through a link (resolved from where that link leads).
TEST_F(Watch, LongLinkChainsAndRelativeLinksBehindADirectoryLinkAreWatched) {
    std::filesystem::create_directories(dir_ + "/deep/er/real");
    std::filesystem::create_directories(dir_ + "/deep/er/data");
    write_file("deep/er/data/bench.json", R"({"tuners": []})");
    ASSERT_EQ(symlink("deep/er/real", (dir_ + "/folder").c_str()), 0);
    ASSERT_EQ(symlink("../data/bench.json", (dir_ + "/deep/er/real/bench.json").c_str()), 0);
    std::string at = "folder/bench.json";
    for (int i = 0; i < 12; ++i) {
        std::string link = "link" + std::to_string(i);
        ASSERT_EQ(symlink(at.c_str(), (dir_ + "/" + link).c_str()), 0);
        at = link;
    }
    setenv("MORVANE_BENCH", (dir_ + "/" + at).c_str(), 1);
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));
    write_file("deep/er/data/bench.json", R"({"tuners": [{}]})");
    settle();
    EXPECT_EQ(events, 1);
}

// Events about other names cost nothing, and an event that leaves the settled file's stamp as
// it was does not read it.
TEST_F(Watch, OnlyTheBenchsNameCountsAndItsStampIsComparedFirst) {
    use_bench(R"({"tuners": []})");
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    ASSERT_TRUE(standin::watch_device_changes([this] { ++events; }));
    const long reads = standin::counters().bench_reads;
    for (int i = 0; i < 20; ++i)
        write_file("busy.log", std::to_string(i));
    std::filesystem::permissions(dir_, std::filesystem::perms::others_read,
                                 std::filesystem::perm_options::remove); // the folder's name
    settle();
    EXPECT_EQ(standin::counters().bench_reads, reads);
    EXPECT_EQ(events, 0);
}

} // namespace
