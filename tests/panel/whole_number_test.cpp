// Reading the numbers typed into the Unicable page's boxes.
#include "panel/WholeNumber.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

using MorvaneControlCenter::parseWholeNumber;

TEST(WholeNumberTest, AcceptsSignedDecimalsWithSurroundingWhiteSpace) {
    const struct {
        const char* text;
        int32_t value;
    } accepted[] = {
        {"0", 0},
        {"1210", 1210},
        {" +1210 ", 1210},
        {"\t-5\r\n", -5},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-1", -1},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.text);
        const std::optional<int32_t> value = parseWholeNumber(QString::fromUtf8(c.text));
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.value);
    }
}

TEST(WholeNumberTest, RejectsEverythingElse) {
    const char* rejected[] = {
        "",
        " ",
        "+",
        "-",
        "+-1",
        "--1",
        "1 2",
        "1210 MHz",
        "1.210",
        "1,210",
        "0x4BA",
        "12a0",
        "2147483648",
        "-2147483649",
        "99999999999999999999",
        "1e3",
        "\u0661\u0662",
        "\uff11\uff12",
        "\u00a01210",
    };
    for (const char* text : rejected) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseWholeNumber(QString::fromUtf8(text)).has_value());
    }
}

} // namespace
