// Hostile bench input: every text or file ends as a bench or as one printable line that says
// why, at start-up and while running, without a crash, a wait or a lost value.

#include "standin_fixture.h"
#include "simulator/bench/bench_file.h"

#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

namespace {

using BenchInput = StandinTest;

std::string reason(StandinTest& t, const std::string& json) {
    return standin::check_bench(t.write_file("check.json", json));
}

// One line of printable text: no control character, no DEL.
void expect_one_printable_line(const std::string& text) {
    EXPECT_FALSE(text.empty());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        EXPECT_FALSE(byte < 0x20 || byte == 0x7F) << "byte " << int(byte) << " in: " << text;
    }
}

const std::string satellite = R"({"tuners": [
  {"id": "sat", "friendly_name": "Morvane DVB-S2 Tuner", "device_path": "usb#1",
   "standard": "dvb-s", "unicable": {"enabled": 1, "scr": 2, "frequency": 1210}}
]}
)";

TEST_F(BenchInput, NumbersBeyondADoubleAreABenchError) {
    for (const char* text : {R"({"tuners": [{"unicable": {"scr": 1e400}}]})", "[1e400]",
                             R"({"faults": {"x": -1e400}})"}) {
        std::string r = reason(*this, text);
        EXPECT_EQ(r.rfind("invalid JSON at line 1, column ", 0), 0u) << r;
        EXPECT_NE(r.find("number overflow"), std::string::npos) << r;
        expect_one_printable_line(r);
    }
    // The largest integers and a fraction are type errors of the bench, not of the parser.
    EXPECT_EQ(reason(*this, R"({"tuners": [{"unicable": {"scr": 18446744073709551616}}]})"),
              "tuners[0].unicable.scr: expected a 32-bit integer, found a fractional number");
}

TEST_F(BenchInput, StartupWithAnOverflowingNumberExitsWithOneLine) {
    std::string path = use_bench(R"({"tuners": [{"unicable": {"scr": 1e400}}]})");
    EXPECT_EXIT(standin::startup(), ::testing::ExitedWithCode(2),
                "^bench: " + path + ": invalid JSON at line 1, column [0-9]+: [^\n]*\n$");
}

TEST_F(BenchInput, NulBytesAreRefusedWhereverTheyAre) {
    std::string text = R"({"tuners": []})";
    text += '\0';
    text += "garbage";
    EXPECT_EQ(reason(*this, text),
              "contains a NUL byte at offset 14 (line 1, column 15); a bench is text");
    EXPECT_EQ(reason(*this, std::string("{\"tuners\": [\0]}", 15)),
              "contains a NUL byte at offset 12 (line 1, column 13); a bench is text");
}

TEST_F(BenchInput, KeysAndValuesInReasonsStayOnePrintableShortLine) {
    // A newline, an escape sequence and DEL in a key; a NUL in a key keeps "unknown key".
    EXPECT_EQ(reason(*this, R"({"tuners": [{"a\nb\u001b[31mc\u007f": 1}]})"),
              R"(tuners[0].a\nb\u001b[31mc\u007f: unknown key)");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"na\u0000me": 1}]})"),
              R"(tuners[0].na\u0000me: unknown key)");
    // Line separators and quotes; invalid UTF-8, which the parser quotes in its reason.
    EXPECT_EQ(reason(*this, R"({"tuners": [{"standard": "s\u2028\""}]})"),
              R"(tuners[0].standard: "s\u2028\"" is not "dvb-s", "dvb-c", "dvb-t" or "none")");
    std::string r = reason(*this, "{\"tuners\": [{\"standard\": \"s\xff\x1b\"}]}");
    expect_one_printable_line(r);
    EXPECT_NE(r.find("\\xff"), std::string::npos) << r;
    // A long key is cut.
    r = reason(*this, R"({")" + std::string(100000, 'k') + R"(": 1})");
    EXPECT_EQ(r, std::string(64, 'k') + "...: unknown key");
    r = reason(*this, R"({"tuners": [{"standard": ")" + std::string(5 << 20, 'x') + R"("}]})");
    EXPECT_LT(r.size(), 200u);
    EXPECT_NE(r.find("x...\" is not"), std::string::npos) << r;
}

TEST_F(BenchInput, NestingIsLimitedBeforeTheParserRecurses) {
    // Far deeper than any stack would take if anything recursed.
    EXPECT_EQ(reason(*this, std::string(1000000, '[')),
              "nested deeper than 64 levels at line 1, column 65");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"pins": [)" + std::string(200000, '{')),
              "nested deeper than 64 levels at line 1, column 83");
    // Brackets inside strings are text.
    EXPECT_EQ(
        reason(*this, R"({"tuners": [{"friendly_name": ")" + std::string(1000, '[') + R"("}]})"),
        "");
    // 64 levels are still parsed (and then refused by the bench's rules).
    std::string deep = std::string(63, '[') + "{}" + std::string(63, ']');
    EXPECT_EQ(reason(*this, deep).rfind("the bench: expected an object", 0), 0u);
}

TEST_F(BenchInput, HugeArraysAndObjectsAreRefused) {
    std::string many = R"({"tuners": [)";
    for (int i = 0; i < 5000; ++i)
        many += "{},";
    many += "{}]}";
    std::string r = reason(*this, many);
    EXPECT_EQ(r.rfind("an array of more than 4096 elements at line 1, column ", 0), 0u) << r;
}

TEST_F(BenchInput, OnlyRegularFilesOfAtMost16MiBAreRead) {
    EXPECT_EQ(standin::check_bench("/dev/zero"), "not a regular file (a character device)");
    EXPECT_EQ(standin::check_bench("/dev/null"), "not a regular file (a character device)");

    std::string fifo = dir_ + "/fifo.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Nobody writes into the pipe: reading it would wait for ever.
    EXPECT_EQ(standin::check_bench(fifo), "not a regular file (a named pipe)");

    std::string big = write_file("big.json", std::string((16u << 20) + 1, ' '));
    EXPECT_EQ(standin::check_bench(big),
              "the file is too large (16777217 bytes; a bench holds at most 16777216 bytes, "
              "16 MiB)");
    std::string limit = write_file("limit.json", "{}" + std::string((16u << 20) - 2, ' '));
    EXPECT_EQ(standin::check_bench(limit), "");
}

TEST_F(BenchInput, StartupRefusesAPipeAndADeviceAtOnce) {
    std::string fifo = dir_ + "/fifo.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    setenv("MORVANE_BENCH", fifo.c_str(), 1);
    EXPECT_EXIT(standin::startup(), ::testing::ExitedWithCode(2),
                "^bench: " + fifo + ": not a regular file \\(a named pipe\\)\n$");
    setenv("MORVANE_BENCH", "/dev/zero", 1);
    EXPECT_EXIT(standin::startup(), ::testing::ExitedWithCode(2),
                "^bench: /dev/zero: not a regular file \\(a character device\\)\n$");
}

TEST_F(BenchInput, StartupNamesAFileWithControlCharactersOnOneLine) {
    use_bench(R"({"x": 1})", "a\nb\x1b.json");
    EXPECT_EXIT(standin::startup(), ::testing::ExitedWithCode(2),
                "^bench: [^\n]*a\\\\nb\\\\u001b\\.json: x: unknown key\n$");
}

// While running, each refused content warns once on one line and the last valid bench stays.
TEST_F(BenchInput, WhileRunningEveryRefusedInputKeepsTheLastValidBench) {
    std::string path = use_bench(satellite);
    ASSERT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 1u);

    auto expect_kept = [&](const std::string& what) {
        SCOPED_TRACE(what);
        ::testing::internal::CaptureStderr();
        auto start = std::chrono::steady_clock::now();
        auto tuners = monikers(KSCATEGORY_BDA_NETWORK_TUNER);
        monikers(KSCATEGORY_BDA_NETWORK_TUNER);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        std::string warnings = ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(tuners.size(), 1u);
        EXPECT_EQ(friendly_name(tuners[0].get()), "Morvane DVB-S2 Tuner");
        ASSERT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
        EXPECT_EQ(warnings.rfind("bench: " + path + ": ", 0), 0u) << warnings;
        EXPECT_NE(warnings.find(" (keeping the last valid bench)\n"), std::string::npos);
        expect_one_printable_line(warnings.substr(0, warnings.size() - 1));
    };

    write_file("bench.json", R"({"tuners": [{"unicable": {"scr": 1e400}}]})");
    expect_kept("a number beyond a double");
    write_file("bench.json", std::string(R"({"tuners": []})") + '\0' + "garbage");
    expect_kept("text after a NUL");
    write_file("bench.json", R"({"tuners": [{"a\nb\u001b[2J": 1}]})");
    expect_kept("control characters in a key");
    write_file("bench.json", std::string(100000, '{'));
    expect_kept("deep nesting");

    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    expect_kept("a named pipe");
    std::filesystem::remove(path);
    ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
    expect_kept("a character device");
}

// Storing a property value writes into the file only when its text is a bench the loader
// accepts; otherwise the value stays in the driver's memory and the file is left alone.
TEST_F(BenchInput, StoringAfterARefusedOutsideEditKeepsTheFileAndTheValue) {
    std::string path = use_bench(satellite);
    auto filter = tuner();
    ASSERT_TRUE(filter);
    auto set = property_set(filter.get());
    ASSERT_TRUE(set);

    // An outside edit that the loader refuses, nested far too deep for any recursion.
    const std::string nested = R"({"tuners": [)" + std::string(500000, '[') + "\n";
    write_file("bench.json", nested);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(write_prop(set.get(), 4, 7), S_OK);
    EXPECT_EQ(write_prop(set.get(), 5, 1400), S_OK);
    std::string warnings = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_text(path), nested) << "the file is not touched";
    EXPECT_EQ(read_prop(set.get(), 4).value, 7) << "the value is kept in memory";
    EXPECT_EQ(read_prop(set.get(), 5).value, 1400);
    ASSERT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
    EXPECT_EQ(warnings.rfind("bench: " + path +
                                 ": the file was not updated, the property value is kept in "
                                 "memory (its content is not a valid bench: nested deeper than "
                                 "64 levels",
                             0),
              0u)
        << warnings;

    // A pipe in the bench's place: no wait, no write.
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(write_prop(set.get(), 3, 0), S_OK);
    warnings = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("not a regular file (a named pipe)"), std::string::npos) << warnings;
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(read_prop(set.get(), 3).value, 0);

    // A valid outside edit takes the value, and only the number's text changes.
    std::filesystem::remove(path);
    std::string edited = satellite;
    edited.replace(edited.find("\"scr\": 2"), 8, "\"scr\":   2");
    write_file("bench.json", edited);
    EXPECT_EQ(write_prop(set.get(), 4, 9), S_OK);
    std::string expected = edited;
    expected.replace(expected.find("\"scr\":   2"), 10, "\"scr\":   9");
    EXPECT_EQ(read_text(path), expected);
}

// An outside edit may reorder or replace tuners: the value goes to the tuner it was meant for,
// found by its id and device path, and to none when that tuner is no longer there.
TEST_F(BenchInput, StoringAfterAnOutsideReorderReachesTheSameTuner) {
    const std::string two = R"({"tuners": [
  {"id": "a", "device_path": "usb#1", "standard": "dvb-s", "unicable": {"scr": 1}},
  {"id": "b", "device_path": "usb#2", "standard": "dvb-s", "unicable": {"scr": 2}}
]}
)";
    std::string path = use_bench(two);
    auto filter = tuner(1); // "b"
    ASSERT_TRUE(filter);
    auto set = property_set(filter.get());
    ASSERT_TRUE(set);

    const std::string swapped = R"({"tuners": [
  {"id": "b", "device_path": "usb#2", "standard": "dvb-s", "unicable": {"scr": 2}},
  {"id": "a", "device_path": "usb#1", "standard": "dvb-s", "unicable": {"scr": 1}}
]}
)";
    write_file("bench.json", swapped);
    EXPECT_EQ(write_prop(set.get(), 4, 7), S_OK);
    std::string expected = swapped;
    expected.replace(expected.find("\"scr\": 2"), 8, "\"scr\": 7");
    EXPECT_EQ(read_text(path), expected) << "the value reaches \"b\", now first";

    // "b" unplugged by the edit: the file keeps "a" as it is, the value stays in memory.
    const std::string only_a = R"({"tuners": [
  {"id": "a", "device_path": "usb#1", "standard": "dvb-s", "unicable": {"scr": 1}}
]}
)";
    write_file("bench.json", only_a);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(write_prop(set.get(), 4, 5), S_OK);
    std::string warnings = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_text(path), only_a);
    EXPECT_EQ(read_prop(set.get(), 4).value, 5);
    EXPECT_NE(warnings.find("the file was not updated"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("no longer holds tuner \"b\""), std::string::npos) << warnings;
}

// A store replaces the file it read and nothing else: not the bench a link leads to after
// the read, not a file changed since, and never a link that leads nowhere by then.
TEST_F(BenchInput, AStoreReplacesOnlyTheFileItReadAsItWasRead) {
    const std::string a = write_file("a.json", "{}"), b = write_file("b.json", "{}");
    const std::string link = dir_ + "/current.json";
    ASSERT_EQ(symlink("a.json", link.c_str()), 0);
    bench::FileRead read = bench::read_file(link);
    std::filesystem::remove(link);
    ASSERT_EQ(symlink("b.json", link.c_str()), 0); // flipped after the read
    EXPECT_EQ(bench::replace_file(read, R"({"tuners": []})"), "");
    auto text = [](const std::string& path) { return bench::read_file(path).bytes; };
    EXPECT_EQ(text(a), R"({"tuners": []})");
    EXPECT_EQ(text(b), "{}");

    read = bench::read_file(link);
    write_file("b.json", "{ }"); // edited after the read
    EXPECT_EQ(bench::replace_file(read, "[]"), bench::unstored::changed);
    EXPECT_EQ(text(b), "{ }");

    read = bench::read_file(link);
    std::filesystem::remove(b); // the link leads nowhere now
    EXPECT_EQ(bench::replace_file(read, "[]"), bench::unstored::changed);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
}

TEST_F(BenchInput, TheWatcherNeverWaitsOnAPipe) {
    std::string path = use_bench(satellite);
    ASSERT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 1u);
    int events = 0;
    ASSERT_TRUE(standin::watch_device_changes([&] { ++events; }));
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    ::testing::internal::CaptureStderr();
    // Events go on arriving while other programs write beside the bench's folder, so the
    // watcher is given a second and each of its dispatches must end at once.
    auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration longest{};
    pollfd p{standin::device_change_fd(), POLLIN, 0};
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
        if (poll(&p, 1, 100) <= 0)
            continue;
        auto dispatch = std::chrono::steady_clock::now();
        standin::dispatch_device_changes();
        longest = std::max(longest, std::chrono::steady_clock::now() - dispatch);
    }
    std::string warnings = ::testing::internal::GetCapturedStderr();
    EXPECT_LT(longest, std::chrono::seconds(1)) << "a dispatch waited on the pipe";
    EXPECT_EQ(events, 1) << "the bench went away: a device change";
    EXPECT_NE(warnings.find("not a regular file (a named pipe) (keeping the last valid bench)"),
              std::string::npos)
        << warnings;
    EXPECT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 1u);
}

} // namespace

namespace {

// A bench file left alone for a while is not read again while its stamp stays the same; any
// replacement or write is read at the next category enumerator.
TEST_F(BenchInput, ASettledFileIsReadAgainOnlyWhenItChanges) {
    std::string path = use_bench(satellite);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    ASSERT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 1u);
    const long reads = standin::counters().bench_reads;
    monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    monikers(KSCATEGORY_BDA_RECEIVER_COMPONENT);
    EXPECT_EQ(standin::counters().bench_reads, reads);
    EXPECT_EQ(standin::counters().class_enumerators, 3);

    // Written in place with the same size: read again, the new content is in force.
    std::string renamed = satellite;
    renamed.replace(renamed.find("Tuner"), 5, "Tumer");
    std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << renamed;
    auto tuners = monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    ASSERT_EQ(tuners.size(), 1u);
    EXPECT_EQ(friendly_name(tuners[0].get()), "Morvane DVB-S2 Tumer");
    EXPECT_EQ(standin::counters().bench_reads, reads + 1);
}

} // namespace
