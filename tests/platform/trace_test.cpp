// The trace lines, the message box and the "exit live=N" line of a whole process.

#include "standin_fixture.h"

#include "platform/win32.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Trace = StandinTest;

TEST_F(Trace, GraphEventsInTheirFormats) {
    use_bench(R"({"tuners": [{"id": "sat", "device_path": "usb-1"}, {}],
                  "captures": [{"device_path": "usb-1"}]})");
    start_trace();
    auto tuner_filter = tuner(0);
    auto unnamed = tuner(1);
    auto capture = bind(KSCATEGORY_BDA_RECEIVER_COMPONENT, 0);
    auto provider = create_filter(CLSID_DVBSNetworkProvider);
    auto demux = create_filter(CLSID_MPEG2Demultiplexer);
    auto renderer = create_filter(CLSID_NullRenderer);
    auto graph = create_graph();

    graph->AddFilter(tuner_filter.get(), u"Morvane TVTuner");
    graph->AddFilter(unnamed.get(), u"Morvane TVTuner");
    graph->AddFilter(capture.get(), u"Morvane Capture");
    graph->AddFilter(provider.get(), u"Network Provider");
    graph->AddFilter(nullptr, u"Source Filter");
    graph->AddFilter(renderer.get(), u"Null Filter");
    graph->ConnectDirect(pins(provider.get())[0].get(), pins(tuner_filter.get())[0].get(), nullptr);
    graph->ConnectDirect(pins(tuner_filter.get())[1].get(), pins(capture.get())[0].get(), nullptr);
    graph->ConnectDirect(pins(demux.get())[2].get(), pins(renderer.get())[0].get(), nullptr);
    graph->RemoveFilter(capture.get());
    graph->RemoveFilter(demux.get());
    graph->RemoveFilter(nullptr);
    capture->Stop();
    renderer->Stop();

    EXPECT_EQ(trace_lines(),
              (std::vector<std::string>{
                  "AddFilter sat \"Morvane TVTuner\" -> 0x00000000",
                  "AddFilter tuner1 \"Morvane TVTuner\" -> 0x0004022d",
                  "AddFilter capture0 \"Morvane Capture\" -> 0x00000000",
                  "AddFilter DVBSNetworkProvider \"Network Provider\" -> 0x00000000",
                  "AddFilter (null) \"Source Filter\" -> 0x80004003",
                  "AddFilter NullRenderer \"Null Filter\" -> 0x00000000",
                  "ConnectDirect DVBSNetworkProvider:Antenna Out sat:Input0 -> 0x00000000",
                  "ConnectDirect sat:MPEG2 Transport capture0:Input0 -> 0x00000000",
                  "ConnectDirect MPEG2Demultiplexer:Video NullRenderer:In -> 0x8004025f",
                  "RemoveFilter capture0 -> 0x00000000",
                  "RemoveFilter MPEG2Demultiplexer -> 0x80004005",
                  "RemoveFilter (null) -> 0x80004005",
                  "Stop capture0",
                  "Stop NullRenderer",
              }));
}

TEST_F(Trace, PropertyEventsInTheirFormats) {
    use_bench(R"({"tuners": [{"extension": {
        "3": {"support": 3, "value": 1},
        "4": {"support": 1, "value": -3},
        "5": {"support": 3, "value": 1210, "query_fails": "0x80070490"}}}]})");
    auto set = property_set(tuner().get());
    start_trace();
    support_of(set.get(), 3);
    support_of(set.get(), 5);
    read_prop(set.get(), 3);
    read_prop(set.get(), 4);
    read_prop(set.get(), 6);
    write_prop(set.get(), 3, 0);
    write_prop(set.get(), 4, -2);
    EXPECT_EQ(trace_lines(), (std::vector<std::string>{
                                 "QuerySupported 3 -> 0x00000000 3",
                                 "QuerySupported 5 -> 0x80070490 0",
                                 "Get 3 -> 0x00000000 1",
                                 "Get 4 -> 0x00000000 -3",
                                 "Get 6 -> 0x80070490 0",
                                 "Set 3 0 -> 0x00000000",
                                 "Set 4 -2 -> 0x80070490",
                             }));
}

TEST_F(Trace, LinesAreAppendedAndNothingIsWrittenWithoutTheVariable) {
    auto renderer = create_filter(CLSID_NullRenderer);
    renderer->Stop();
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/trace.txt"));
    write_file("trace.txt", "earlier\n");
    start_trace();
    renderer->Stop();
    EXPECT_EQ(trace_lines(), (std::vector<std::string>{"earlier", "Stop NullRenderer"}));
}

TEST_F(Trace, MessageBoxGoesToTheHandlerAndIsTraced) {
    start_trace();
    std::string seen;
    standin::set_message_box_handler([&](const char* caption, const char* text, unsigned type) {
        seen = std::string(caption) + "|" + text + "|" + std::to_string(type);
        return 7;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "UNICABLE not SUPPORTED!", "Unicable not Supported!", MB_OK), 7);
    EXPECT_EQ(seen, "Unicable not Supported!|UNICABLE not SUPPORTED!|0");

    // Without a handler: caption and text on standard error, and OK.
    standin::set_message_box_handler(nullptr);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(MessageBoxA(nullptr, "Text", "Caption", MB_OK), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Caption"), std::string::npos);
    EXPECT_NE(err.find("Text"), std::string::npos);

    EXPECT_EQ(trace_lines(),
              (std::vector<std::string>{
                  "MessageBox \"Unicable not Supported!\" \"UNICABLE not SUPPORTED!\"",
                  "MessageBox \"Caption\" \"Text\""}));
}

// Runs the exit probe with the test's trace and returns its exit status.
int run_probe(const std::string& trace, std::vector<std::string> args) {
    pid_t child = fork();
    if (child == 0) {
        setenv("MORVANE_TRACE", trace.c_str(), 1);
        unsetenv("MORVANE_BENCH");
        std::vector<char*> argv;
        std::string program = MCC_EXIT_PROBE;
        argv.push_back(program.data());
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Trace, ProcessExitWritesTheLiveCount) {
    start_trace();
    ASSERT_EQ(run_probe(trace_, {"keep", "2"}), 0);
    ASSERT_EQ(run_probe(trace_, {"release"}), 0);
    ASSERT_EQ(run_probe(trace_, {"startup"}), 0);
    EXPECT_EQ(trace_lines(),
              (std::vector<std::string>{"exit live=2", "exit live=0", "exit live=0"}));
}

TEST_F(Trace, BenchErrorAtStartupWritesNoExitLine) {
    start_trace();
    std::string path = use_bench("{");
    std::string errors = dir_ + "/stderr.txt";
    pid_t child = fork();
    if (child == 0) {
        int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        execl(MCC_EXIT_PROBE, MCC_EXIT_PROBE, "startup", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(read_text(errors).rfind("bench: " + path + ": invalid JSON at line 1, column 2: ", 0),
              0u)
        << read_text(errors);
    EXPECT_FALSE(std::filesystem::exists(trace_));
}

} // namespace
