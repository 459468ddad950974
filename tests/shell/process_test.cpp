// The built programs run as a user runs them: morvane-control-center on Qt's offscreen
// platform with a bench and the stand-in's trace, and the console enumerator morvane-enum.
#include "child_process.h"
#include "temp_bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;
using std::chrono::duration_cast;
using std::chrono::milliseconds;

namespace {

const std::string here_we_are = "here we are!!!!";
const std::string enumeration = "Local Devices:";

// Generous for two busy cores and a sanitized build, yet far below what a wrong design
// (no refresh, or a refresh per event) would show.
constexpr auto start_timeout = 20s;
constexpr auto exit_timeout = 20s;
// The refresh runs 500 ms after the last request; Qt's coarse timers may fire up to 5% early.
constexpr auto debounce_floor = 450ms;
constexpr auto debounce_ceiling = 2500ms;

using Env = std::map<std::string, std::optional<std::string>>;

Env panel_env(const TempBench& dir) {
    return {{"MORVANE_BENCH", dir.bench()},
            {"MORVANE_TRACE", dir.trace()},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"MORVANE_FAULT_DEVICE_WATCH", std::nullopt}};
}

long long ms(ChildProcess::Clock::duration d) {
    return duration_cast<milliseconds>(d).count();
}

std::string last_line(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n')
        trimmed.pop_back();
    const size_t start = trimmed.rfind('\n');
    return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

// Waits for the enumeration's table row of a tuner: "---> devlist NAME" then " 0    |  NAME".
bool wait_for_row(ChildProcess& child, const std::string& name) {
    const std::string row = "---> devlist " + name + " 0    |  " + name;
    return child.wait_for_lines([&](const std::string& line) { return line == row; }, 1, 10s)
        .has_value();
}

std::string all_stdout(const ChildProcess& child) {
    std::string text;
    for (const ChildProcess::Line& line : child.lines())
        text += line.text + "\n";
    return text;
}

// Starts the panel, waits for its first enumeration and checks start-up's order and timing.
void expect_started(ChildProcess& panel) {
    ASSERT_TRUE(panel.wait_for_line(enumeration, start_timeout)) << "no enumeration; stderr:\n"
                                                                 << panel.standard_error();
    const std::vector<ChildProcess::Line> lines = panel.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, here_we_are) << "the greeting is the first line of stdout";
    EXPECT_EQ(lines[1].text, enumeration) << "the first enumeration follows it directly";
    // The window's constructor asks for the refresh shortly before the greeting is printed
    // (a busy machine may stretch that moment, hence the lower floor).
    const auto delay = lines[1].at - lines[0].at;
    EXPECT_GE(delay, 300ms) << ms(delay) << " ms";
    EXPECT_LE(delay, debounce_ceiling) << ms(delay) << " ms";
    EXPECT_GE(lines[1].at - panel.started(), debounce_floor) << "not before the timer ran out";
}

TEST(ControlCenterProcess, StartsRefreshesOnceAndEndsCleanlyOnSigterm) {
    TempBench dir;
    dir.write_bench(satellite_bench());
    ChildProcess panel(MCC_CONTROL_CENTER, panel_env(dir));
    expect_started(panel);
    ASSERT_TRUE(wait_for_row(panel, "Morvane DVB-S2 Tuner")) << all_stdout(panel);

    // Left alone, the panel enumerates no more.
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(panel.times_of(enumeration).size(), 1u);

    panel.send(SIGTERM);
    EXPECT_EQ(panel.wait_exit(exit_timeout), 0) << panel.standard_error();
    EXPECT_EQ(panel.times_of(here_we_are).size(), 1u) << all_stdout(panel);
    EXPECT_EQ(last_line(TempBench::read(dir.trace())), "exit live=0");
}

TEST(ControlCenterProcess, BurstOfBenchEditsCostsOneEnumerationAfterTheLast) {
    TempBench dir;
    dir.write_bench(satellite_bench());
    ChildProcess panel(MCC_CONTROL_CENTER, panel_env(dir));
    expect_started(panel);
    // Let the first enumeration finish before the burst.
    ASSERT_TRUE(wait_for_row(panel, "Morvane DVB-S2 Tuner")) << all_stdout(panel);
    std::this_thread::sleep_for(300ms);

    // Twenty edits within 100 ms, each a change of content (a device-node change).
    ChildProcess::Clock::time_point last_edit;
    for (int i = 1; i <= 20; ++i) {
        dir.write_bench(satellite_bench(" #" + std::to_string(i)));
        last_edit = ChildProcess::Clock::now();
        std::this_thread::sleep_for(5ms);
    }

    const auto second =
        panel.wait_for_lines([](const std::string& line) { return line == enumeration; }, 2, 10s);
    ASSERT_TRUE(second) << "no refresh after the burst; stderr:\n" << panel.standard_error();
    EXPECT_GE(*second - last_edit, debounce_floor) << ms(*second - last_edit) << " ms";
    EXPECT_LE(*second - last_edit, debounce_ceiling) << ms(*second - last_edit) << " ms";
    // The refresh shows the bench as the last edit left it.
    EXPECT_TRUE(wait_for_row(panel, "Morvane DVB-S2 Tuner #20")) << all_stdout(panel);

    // No refresh is owed to the other nineteen.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(panel.times_of(enumeration).size(), 2u) << all_stdout(panel);

    panel.send(SIGTERM);
    EXPECT_EQ(panel.wait_exit(exit_timeout), 0) << panel.standard_error();
    EXPECT_EQ(last_line(TempBench::read(dir.trace())), "exit live=0");
}

TEST(ControlCenterProcess, SigintClosesTheWindowLikeSigterm) {
    TempBench dir;
    dir.write_bench(satellite_bench());
    ChildProcess panel(MCC_CONTROL_CENTER, panel_env(dir));
    ASSERT_TRUE(panel.wait_for_line(here_we_are, start_timeout)) << panel.standard_error();
    // Before the first refresh has run: the pending timer does not keep the process alive.
    panel.send(SIGINT);
    EXPECT_EQ(panel.wait_exit(exit_timeout), 0) << panel.standard_error();
    EXPECT_EQ(last_line(TempBench::read(dir.trace())), "exit live=0");
}

TEST(ControlCenterProcess, ReceiverThatCannotBeSetUpEndsWithCodeOneBeforeAnyWindow) {
    TempBench dir;
    dir.write_bench(satellite_bench());
    Env env = panel_env(dir);
    env["MORVANE_FAULT_DEVICE_WATCH"] = "1";
    ChildProcess panel(MCC_CONTROL_CENTER, env);
    EXPECT_EQ(panel.wait_exit(exit_timeout), 1) << panel.standard_error();
    // The greeting comes right before the window is shown, and the first refresh needs the
    // message loop: neither happened.
    EXPECT_EQ(all_stdout(panel), "");
}

TEST(ControlCenterProcess, BrokenBenchEndsWithCodeTwoAndSaysWhy) {
    TempBench dir;
    dir.write_bench("{\"tuners\": [ {\"id\": \"t\", }");
    ChildProcess panel(MCC_CONTROL_CENTER, panel_env(dir));
    EXPECT_EQ(panel.wait_exit(exit_timeout), 2);
    const std::string err = panel.standard_error();
    EXPECT_EQ(err.rfind("bench: " + dir.bench() + ": ", 0), 0u) << err;
    EXPECT_EQ(all_stdout(panel), "") << "the log never carries a bench message";

    TempBench missing;
    ChildProcess panel2(MCC_CONTROL_CENTER, panel_env(missing));
    EXPECT_EQ(panel2.wait_exit(exit_timeout), 2);
    EXPECT_EQ(panel2.standard_error().rfind("bench: " + missing.bench() + ": ", 0), 0u)
        << panel2.standard_error();
}

// One line of printable text and its line end.
void expect_one_printable_line(const std::string& text) {
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    for (char c : text.substr(0, text.size() - 1)) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_FALSE(byte < 0x20 || byte == 0x7F) << "byte " << int(byte) << " in: " << text;
    }
}

// Waits for standard error to hold a line that contains text.
bool wait_for_error(const ChildProcess& child, const std::string& text,
                    std::chrono::milliseconds timeout) {
    const auto until = ChildProcess::Clock::now() + timeout;
    while (ChildProcess::Clock::now() < until) {
        if (child.standard_error().find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// A bench edited into something the loader refuses while the panel runs: one warning, the
// last valid bench stays in force. A named pipe in the bench's place does not hold up the
// device-change watcher: the panel still answers SIGTERM at once.
TEST(ControlCenterProcess, RefusedEditsWhileRunningWarnKeepTheBenchAndNeverBlock) {
    TempBench dir;
    dir.write_bench(satellite_bench());
    ChildProcess panel(MCC_CONTROL_CENTER, panel_env(dir));
    expect_started(panel);
    ASSERT_TRUE(wait_for_row(panel, "Morvane DVB-S2 Tuner")) << all_stdout(panel);

    dir.write_bench(R"({"tuners": [{"unicable": {"scr": 1e400}}]})");
    ASSERT_TRUE(wait_for_error(panel, "(keeping the last valid bench)", 10s))
        << panel.standard_error();
    // The change still refreshes the list, from the bench in force.
    ASSERT_TRUE(
        panel.wait_for_lines([](const std::string& line) { return line == enumeration; }, 2, 10s))
        << panel.standard_error();
    std::this_thread::sleep_for(300ms);
    const std::string out = all_stdout(panel);
    EXPECT_EQ(out.find("Morvane DVB-S2 Tuner", out.rfind(enumeration)) == std::string::npos, false)
        << out;
    // Qt may write its own notes to standard error: only the bench's lines count.
    std::string warning;
    std::istringstream lines(panel.standard_error());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("bench: ", 0) == 0)
            warning += line + "\n";
    EXPECT_EQ(warning.rfind("bench: " + dir.bench() + ": invalid JSON at line 1, column ", 0), 0u)
        << warning;
    expect_one_printable_line(warning);

    std::filesystem::remove(dir.bench());
    ASSERT_EQ(mkfifo(dir.bench().c_str(), 0600), 0);
    ASSERT_TRUE(wait_for_error(panel, "not a regular file (a named pipe)", 10s))
        << panel.standard_error();
    const auto asked = ChildProcess::Clock::now();
    panel.send(SIGTERM);
    const std::optional<int> code = panel.wait_exit(exit_timeout);
    EXPECT_EQ(code, 0) << panel.standard_error();
    EXPECT_LE(ChildProcess::Clock::now() - asked, 1s)
        << ms(ChildProcess::Clock::now() - asked) << " ms from SIGTERM to exit";
    EXPECT_EQ(last_line(TempBench::read(dir.trace())), "exit live=0");
}

TEST(ControlCenterProcess, WithoutADisplayRunsOffscreenAndSaysSo) {
    TempBench dir;
    dir.write_bench(satellite_bench());
    Env env = panel_env(dir);
    env["QT_QPA_PLATFORM"] = std::nullopt;
    env["DISPLAY"] = std::nullopt;
    env["WAYLAND_DISPLAY"] = std::nullopt;
    ChildProcess panel(MCC_CONTROL_CENTER, env);
    ASSERT_TRUE(panel.wait_for_line(here_we_are, start_timeout)) << panel.standard_error();
    EXPECT_NE(panel.standard_error().find("offscreen"), std::string::npos)
        << panel.standard_error();
    panel.send(SIGTERM);
    EXPECT_EQ(panel.wait_exit(exit_timeout), 0) << panel.standard_error();
}

TEST(EnumProcess, PrintsOneEnumerationAndExitsZero) {
    TempBench dir;
    {
        ChildProcess none(MCC_ENUM,
                          {{"MORVANE_BENCH", std::nullopt}, {"MORVANE_TRACE", dir.trace()}});
        EXPECT_EQ(none.wait_exit(exit_timeout), 0) << none.standard_error();
        EXPECT_EQ(all_stdout(none), "Local Devices:\nNo devices available\n");
        EXPECT_EQ(last_line(TempBench::read(dir.trace())), "exit live=0");
    }
    dir.write_bench(satellite_bench());
    ChildProcess one(MCC_ENUM, {{"MORVANE_BENCH", dir.bench()}, {"MORVANE_TRACE", std::nullopt}});
    EXPECT_EQ(one.wait_exit(exit_timeout), 0) << one.standard_error();
    const std::string out = all_stdout(one);
    EXPECT_EQ(out.rfind("Local Devices:\n", 0), 0u) << out;
    EXPECT_NE(out.find("\n---> devlist Morvane DVB-S2 Tuner 0    |  Morvane DVB-S2 Tuner\n"),
              std::string::npos)
        << out;

    dir.write_bench("[]");
    ChildProcess broken(MCC_ENUM, {{"MORVANE_BENCH", dir.bench()}});
    EXPECT_EQ(broken.wait_exit(exit_timeout), 2);
}

// Whatever the bench path holds, start-up ends at once with code 2 and one printable line.
TEST(EnumProcess, HostileBenchesEndWithCodeTwoAndOneLine) {
    TempBench dir;
    std::string with_nul = R"({"tuners": []})";
    with_nul += '\0';
    with_nul += "garbage";
    const std::pair<std::string, std::string> texts[] = {
        {R"({"tuners": [{"unicable": {"scr": 1e400}}]})", ": invalid JSON at line 1, column "},
        {with_nul, ": contains a NUL byte at offset 14 "},
        {R"({"tuners": [{"a\nb\u001b[2J\u0000": 1}]})",
         R"(: tuners[0].a\nb\u001b[2J\u0000: unknown key)"},
        {std::string(1 << 20, '['), ": nested deeper than 64 levels at line 1, column 65"},
        {"{}" + std::string((16 << 20) - 1, ' '), ": the file is too large (16777217 bytes"},
    };
    const std::string fifo = dir.path("fifo.json");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::pair<std::string, std::string>> cases;
    for (const auto& [text, reason] : texts) {
        const std::string file = dir.path("case" + std::to_string(cases.size()) + ".json");
        dir.write(file, text);
        cases.push_back({file, reason});
    }
    cases.push_back({fifo, ": not a regular file (a named pipe)"});
    cases.push_back({"/dev/zero", ": not a regular file (a character device)"});
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(reason);
        ChildProcess child(MCC_ENUM, {{"MORVANE_BENCH", file}, {"MORVANE_TRACE", std::nullopt}});
        EXPECT_EQ(child.wait_exit(exit_timeout), 2) << child.standard_error();
        const std::string err = child.standard_error();
        EXPECT_EQ(err.rfind("bench: " + file + reason, 0), 0u) << err;
        expect_one_printable_line(err);
        EXPECT_EQ(all_stdout(child), "");
    }
}

} // namespace
