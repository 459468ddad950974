// One test per directory of tests/golden/cases: the case's program runs on its bench on this
// platform and must print expected.log (pointers masked), end with the expected exit code,
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

namespace {

const std::filesystem::path cases_dir = GOLDEN_CASES_DIR;

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
TEST(GoldenMask, OnlyThePointersOfTheCaptureLineAreMasked) {
    EXPECT_EQ(golden::mask_pointers("CONNECTING TUNER WITH CAPTURE: 0x55d0c1a2b3c0 (nil)\n"),
              "CONNECTING TUNER WITH CAPTURE: %p NULL\n");
    EXPECT_EQ(golden::mask_pointers(
                  "CONNECTING TUNER WITH CAPTURE: 00000000001A2B30 0000000000000000\r\n"),
              "CONNECTING TUNER WITH CAPTURE: %p NULL\n");
    const std::string others = "CONNECTFILTER CAPTURE: -2147467259, 80004005\n"
                               "DevicePath: 0x1234\n"
                               "bdasource media_bda_connect_graph 184\n"
                               "CONNECTING TUNER WITH CAPTURE: word 0x12\n"
                               "no line end";
    EXPECT_EQ(golden::mask_pointers(others), "CONNECTFILTER CAPTURE: -2147467259, 80004005\n"
                                             "DevicePath: 0x1234\n"
                                             "bdasource media_bda_connect_graph 184\n"
                                             "CONNECTING TUNER WITH CAPTURE: word %p\n"
                                             "no line end");
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
