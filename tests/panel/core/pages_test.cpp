// The page shown for a list position, and the Unicable page's values for a satellite tuner.
#include "fake_view.h"

namespace panel_core_test {
namespace {

class PageChoiceTest : public CoreTest {
  protected:
    void SetUp() override {
        refreshWith({
            {u"Sat on", u"p0", DEVICETYPE_DVBS, 1, 1, 2, 1210},
            {u"Sat plain", u"p1", DEVICETYPE_DVBS, 0, 0, 3, 4294967295u},
            {u"Cable", u"p2", DEVICETYPE_DVBC},
            {u"Terrestrial", u"p3", DEVICETYPE_DVBT},
            {u"Future", u"p4", 4},
            {u"Odd", u"p5", -7},
        });
        ASSERT_EQ(core_.nDevItems(), 6);
    }
};

TEST_F(PageChoiceTest, EachListedPositionShowsThePageOfItsType) {
    const struct {
        int32_t id;
        Page page;
    } cases[] = {
        {2, Page::DvbcScan}, {3, Page::Dvbt2Scan},    {4, Page::Info},
        {5, Page::Info},     {0, Page::DvbsUnicable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const int writes = view_.displayWrites;
        core_.UpdateTabMenu(c.id);
        EXPECT_EQ(view_.shownPage, c.page);
        EXPECT_EQ(core_.nDevItems(), 6);
        // Only the satellite page's controls are written.
        EXPECT_EQ(view_.displayWrites, writes + (c.page == Page::DvbsUnicable ? 1 : 0));
    }
}

TEST_F(PageChoiceTest, SatellitePageShowsTheRecordAsTextsAndACheckState) {
    core_.UpdateTabMenu(0);
    ASSERT_TRUE(view_.display.has_value());
    EXPECT_EQ(view_.display->infoText, u"This device supports Unicable");
    EXPECT_TRUE(view_.display->useUnicable);
    EXPECT_EQ(view_.display->frequencyText, u"1210");
    EXPECT_EQ(view_.display->scrText, u"2");

    // Not supported, not switched on, and all 32 bits of the frequency as unsigned digits.
    core_.UpdateTabMenu(1);
    EXPECT_EQ(view_.shownPage, Page::DvbsUnicable);
    EXPECT_EQ(view_.display->infoText, u"Unicable is not supported by this device");
    EXPECT_FALSE(view_.display->useUnicable);
    EXPECT_EQ(view_.display->frequencyText, u"4294967295");
    EXPECT_EQ(view_.display->scrText, u"3");
}

TEST_F(PageChoiceTest, PositionAtOrPastTheCountShowsNoPageAndKeepsTheCount) {
    for (int32_t id : {6, 7, 1000}) {
        SCOPED_TRACE(id);
        core_.UpdateTabMenu(id);
        EXPECT_EQ(view_.shownPage, Page::None);
        EXPECT_EQ(core_.nDevItems(), 6);
    }
    core_.UpdateTabMenu(3);
    EXPECT_EQ(view_.shownPage, Page::Dvbt2Scan);
}

// A negative position (nothing selected) shows "Info" and sets the count to 0, so every
// position shows "Info" until the next refresh counts the tuners again.
TEST_F(PageChoiceTest, NegativePositionShowsInfoUntilTheNextRefresh) {
    core_.UpdateTabMenu(-1);
    EXPECT_EQ(view_.shownPage, Page::Info);
    EXPECT_EQ(core_.nDevItems(), 0);
    for (int32_t id : {0, 2, 6}) {
        core_.UpdateTabMenu(id);
        EXPECT_EQ(view_.shownPage, Page::Info) << id;
    }
    EXPECT_EQ(core_.nDevItems(), 0);

    core_.doUpdateDeviceListMember();
    EXPECT_EQ(core_.nDevItems(), 6);
    EXPECT_EQ(view_.shownPage, Page::DvbsUnicable);
}

// A later refresh with fewer tuners leaves older records in the higher slots; they are never
// shown, since positions from the new count on show no page.
TEST_F(PageChoiceTest, RecordsOfAnEarlierRefreshAboveTheCountAreNotShown) {
    refreshWith({{u"Cable", u"p2", DEVICETYPE_DVBC}});
    ASSERT_EQ(core_.nDevItems(), 1);
    core_.UpdateTabMenu(1);
    EXPECT_EQ(view_.shownPage, Page::None);
}

class PageChoiceOtherListsTest : public CoreTest {};

TEST_F(PageChoiceOtherListsTest, BeforeAnyRefreshEveryPositionShowsInfo) {
    core_.UpdateTabMenu(0);
    EXPECT_EQ(view_.shownPage, Page::Info);
    EXPECT_EQ(core_.nDevItems(), 0);
    EXPECT_EQ(view_.displayWrites, 0);
}

TEST_F(PageChoiceOtherListsTest, PositionsFromTwentyOnHaveNoRecordAndShowNoPage) {
    refreshWith(std::vector<Tuner>(21, Tuner{u"Morvane DVB-S2 Tuner", u"p", DEVICETYPE_DVBS}));
    ASSERT_EQ(core_.nDevItems(), 21);
    core_.UpdateTabMenu(20);
    EXPECT_EQ(view_.shownPage, Page::None);
    EXPECT_EQ(core_.nDevItems(), 21);
    core_.UpdateTabMenu(21);
    EXPECT_EQ(view_.shownPage, Page::None);
    core_.UpdateTabMenu(19);
    EXPECT_EQ(view_.shownPage, Page::DvbsUnicable);
}

} // namespace
} // namespace panel_core_test
