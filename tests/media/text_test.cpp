// The layer's own string handling and its log stream.
#include "media/console.h"
#include "media/text.h"
#include "media/device_list.h"
#include "platform/standin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

TEST(WideText, Utf8ConversionHandlesPairsAndLoneSurrogates) {
    EXPECT_EQ(media::to_utf8(nullptr), "");
    EXPECT_EQ(media::to_utf8(u"Morvane"), "Morvane");
    EXPECT_EQ(media::to_utf8(u"\u00fc\u20ac"), "\xC3\xBC\xE2\x82\xAC");
    EXPECT_EQ(media::to_utf8(u"\U0001F4FA"), "\xF0\x9F\x93\xBA");
    const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
    EXPECT_EQ(media::to_utf8(lone_high), "a\xEF\xBF\xBD"
                                         "b");
    const char16_t high_at_end[] = {u'a', 0xD83D, 0};
    EXPECT_EQ(media::to_utf8(high_at_end), "a\xEF\xBF\xBD");
    const char16_t lone_low[] = {0xDCFA, u'c', 0};
    EXPECT_EQ(media::to_utf8(lone_low), "\xEF\xBF\xBD"
                                        "c");
}

TEST(WideText, ComparisonsAreExactAndCaseSensitive) {
    EXPECT_TRUE(media::wide_equal(u"usb#1", u"usb#1"));
    EXPECT_FALSE(media::wide_equal(u"usb#1", u"USB#1"));
    EXPECT_FALSE(media::wide_equal(u"usb#1", u"usb#1x"));
    EXPECT_FALSE(media::wide_equal(u"usb#1x", u"usb#1"));
    EXPECT_TRUE(media::wide_equal(nullptr, u""));
    EXPECT_TRUE(media::wide_contains(u"Morvane", u"Morvane"));
    EXPECT_TRUE(media::wide_contains(u"The Morvane DVB-S", u"Morvane"));
    EXPECT_FALSE(media::wide_contains(u"Morvan", u"Morvane"));
    EXPECT_FALSE(media::wide_contains(u"morvane", u"Morvane"));
    EXPECT_FALSE(media::wide_contains(nullptr, u"Morvane"));
}

TEST(WideText, DuplicateIsASeparateHeapCopy) {
    const char16_t original[] = u"Morvane";
    char16_t* copy = media::wide_duplicate(original);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original);
    EXPECT_EQ(std::u16string(copy), u"Morvane");
    std::free(copy);
    char16_t* empty = media::wide_duplicate(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], 0);
    std::free(empty);
}

TEST(Console, EveryLineReachesTheFileWithoutAnExplicitFlush) {
    std::fflush(stdout);
    char name[] = "/tmp/media-console-XXXXXX";
    const int file = mkstemp(name);
    ASSERT_GE(file, 0);
    const int saved = dup(1);
    dup2(file, 1);
    media_printf("CONNECTFILTER CAPTURE: %d, %x\n", media_dec(0x80004005u), media_hex(-2147467259));
    std::ifstream in(name);
    std::stringstream seen;
    seen << in.rdbuf(); // read while standard output still points at the file
    dup2(saved, 1);
    close(saved);
    close(file);
    std::remove(name);
    EXPECT_EQ(seen.str(), "CONNECTFILTER CAPTURE: -2147467259, 80004005\n");
}

} // namespace

namespace {

TEST(Initialize, ReturnsZeroAndHandsOutNoPlatformObject) {
    EXPECT_EQ(media_initialize(), 0);
    EXPECT_EQ(standin::live_objects(), 0);
}

} // namespace
