// Reading the numbers typed into the Unicable page's boxes.
#include "panel/core/WholeNumber.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

using MorvaneControlCenter::parseWholeNumber;

// A typed text as a printable line: ASCII as it is, anything else as \uXXXX.
std::string printable(std::u16string_view text) {
    std::string line;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7f) {
            line.push_back(static_cast<char>(c));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            line += escape;
        }
    }
    return line;
}

TEST(WholeNumberTest, AcceptsSignedDecimalsWithSurroundingWhiteSpace) {
    const struct {
        const char16_t* text;
        int32_t value;
    } accepted[] = {
        {u"0", 0},
        {u"1210", 1210},
        {u" +1210 ", 1210},
        {u"\t-5\r\n", -5},
        {u"007", 7},
        {u"2147483647", 2147483647},
        {u"-2147483648", -2147483647 - 1},
        {u"-1", -1},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(printable(c.text));
        const std::optional<int32_t> value = parseWholeNumber(c.text);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.value);
    }
}

TEST(WholeNumberTest, RejectsEverythingElse) {
    const char16_t* rejected[] = {
        u"",
        u" ",
        u"+",
        u"-",
        u"+-1",
        u"--1",
        u"1 2",
        u"1210 MHz",
        u"1.210",
        u"1,210",
        u"0x4BA",
        u"12a0",
        u"2147483648",
        u"-2147483649",
        u"99999999999999999999",
        u"1e3",
        u"\u0661\u0662",
        u"\uff11\uff12",
        u"\u00a01210",
    };
    for (const char16_t* text : rejected) {
        SCOPED_TRACE(printable(text));
        EXPECT_FALSE(parseWholeNumber(text).has_value());
    }
}

} // namespace
