// One test per directory of tests/golden/cases: the case's program runs on its bench on this
// platform and must print expected.log (masked), end with the expected exit code,
// leave the bench file as bench.after.json says, and give back every platform object.
//
// MORVANE_GOLDEN_UPDATE=1 writes expected.log and bench.after.json from the run instead of
// comparing: for a new case, or after a change of the log; review the difference before
// committing it.
#include "golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>

namespace {

const std::filesystem::path source_dir = GOLDEN_SOURCE_DIR;
const std::filesystem::path cases_dir = source_dir / "tests/golden/cases";

} // namespace

std::string golden::program_file(const std::string& program) {
    const char* installed = std::getenv("MORVANE_GOLDEN_ENUM");
    if (program != "enum")
        return GOLDEN_APPLY_PROGRAM;
    return installed && *installed ? installed : GOLDEN_ENUM_PROGRAM;
}

namespace {

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, Run) {
    golden::golden_case c;
    const std::string refused = golden::load_case(cases_dir / GetParam(), c);
    ASSERT_EQ(refused, "") << GetParam();
    golden::platform& on = golden::this_platform();
    if (std::find(c.platforms.begin(), c.platforms.end(), on.name()) == c.platforms.end())
        GTEST_SKIP() << "Linux only: " << c.linux_only;
    const char* update = std::getenv("MORVANE_GOLDEN_UPDATE");
    SCOPED_TRACE(c.about);
    for (const std::string& failure :
         golden::run_case(on, c, update && std::strcmp(update, "1") == 0))
        ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(golden::list_cases(cases_dir)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// The one masking rule, on the forms both C runtimes print.
TEST(GoldenMask, OnlyThePointersAndTheConnectionLineNumberAreMasked) {
    EXPECT_EQ(golden::mask_log("CONNECTING TUNER WITH CAPTURE: 0x55d0c1a2b3c0 (nil)\n"),
              "CONNECTING TUNER WITH CAPTURE: %p NULL\n");
    EXPECT_EQ(
        golden::mask_log("CONNECTING TUNER WITH CAPTURE: 00000000001A2B30 0000000000000000\r\n"),
        "CONNECTING TUNER WITH CAPTURE: %p NULL\n");
    const std::string others = "CONNECTFILTER CAPTURE: -2147467259, 80004005\n"
                               "DevicePath: 0x1234\n"
                               "bdasource media_bda_connect_graph 184\r\n"
                               "bdasource media_bda_connect_graph x\n"
                               "CONNECTING TUNER WITH CAPTURE: word 0x12\n"
                               "no line end";
    EXPECT_EQ(golden::mask_log(others), "CONNECTFILTER CAPTURE: -2147467259, 80004005\n"
                                        "DevicePath: 0x1234\n"
                                        "bdasource media_bda_connect_graph %d\n"
                                        "bdasource media_bda_connect_graph x\n"
                                        "CONNECTING TUNER WITH CAPTURE: word %p\n"
                                        "no line end");
}

// The number the logs mask is the source line of the statement that prints it.
TEST(GoldenMask, TheConnectionLineNumberIsItsStatementsLine) {
    std::ifstream source(source_dir / "media/graph.cpp");
    int line_number = 0, statement = 0;
    for (std::string line; std::getline(source, line);) {
        ++line_number;
        if (line.find("\"media_bda_connect_graph\", __LINE__") != line.npos)
            statement = line_number;
    }
    ASSERT_NE(statement, 0) << "media/graph.cpp no longer prints the connection line";
    golden::golden_case c;
    ASSERT_EQ(golden::load_case(cases_dir / "graph_reaches_capture", c), "");
    std::string output;
    EXPECT_EQ(golden::run_case(golden::this_platform(), c, false, &output),
              std::vector<std::string>{});
    std::smatch printed;
    ASSERT_TRUE(std::regex_search(output, printed,
                                  std::regex("bdasource media_bda_connect_graph ([0-9]+)")))
        << output;
    EXPECT_EQ(printed[1], std::to_string(statement));
}

// A case file that would make a case mean something else than it says is refused, with its
// reason.
TEST(GoldenCases, IncompleteOrMistypedCaseFilesAreRefused) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("golden-refusal-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"{\"about\": \"x\", \"program\": \"enum\"}", ""},
        {"{\"about\": \"x\", \"program\": \"enum\"", "case.json: [json.exception.parse_error"},
        {"{\"about\": \"x\", \"program\": \"enum\", \"arg\": []}", "unknown key \"arg\""},
        {"{\"program\": \"enum\"}", "\"about\" must say"},
        {"{\"about\": \"x\", \"program\": \"save\"}", "\"program\" must be"},
        {"{\"about\": \"x\", \"program\": \"apply\", \"args\": [1, 2]}", "array of strings"},
        {"{\"about\": \"x\", \"program\": \"enum\", \"platforms\": [\"linux\"]}",
         "says why in \"linux_only\""},
        {"{\"about\": \"x\", \"program\": \"enum\", \"linux_only\": \"y\"}",
         "\"linux_only\" is the reason"},
        {"{\"about\": \"x\", \"program\": \"enum\", \"platforms\": [\"windows\"]}",
         "\"platforms\" must be"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "case.json") << c.text;
        golden::golden_case loaded;
        const std::string refused = golden::load_case(dir, loaded);
        if (*c.reason == '\0')
            EXPECT_EQ(refused, "") << c.text;
        else
            EXPECT_NE(refused.find(c.reason), std::string::npos) << c.text << ": " << refused;
    }
    std::filesystem::remove_all(dir);
}

// Every case directory is complete and every Linux-only case says why.
TEST(GoldenCases, EveryCaseDirectoryIsWellFormed) {
    const std::vector<std::string> names = golden::list_cases(cases_dir);
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names) {
        golden::golden_case c;
        EXPECT_EQ(golden::load_case(cases_dir / name, c), "") << name;
        EXPECT_TRUE(std::filesystem::exists(cases_dir / name / "expected.log")) << name;
        for (char ch : name)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_')
                << name << ": a test name takes letters, digits and underscores";
    }
}

} // namespace
