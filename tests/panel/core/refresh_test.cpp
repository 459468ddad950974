// A refresh's fill of the records and the list from an enumeration, and the debounce of
// refresh requests. The fill runs under both ways a toolkit may report the selection the
// refresh makes, since the core must come to the same end with either.
#include "fake_view.h"

namespace panel_core_test {
namespace {

using Reports = FakeView::SelectionReports;

class RefreshFillTest : public CoreTest, public ::testing::WithParamInterface<Reports> {
  protected:
    RefreshFillTest() : CoreTest(GetParam()) {}
};

const Tuner kSat{u"Morvane DVB-S2 Tuner", u"\\\\?\\usb#sat", DEVICETYPE_DVBS, 1, 1, 2, 1210};
const Tuner kBare{u"Morvane Bare Tuner", u"\\\\?\\usb#bare", DEVICETYPE_NONE};
const Tuner kTerrestrial{u"Morvane DVB-T2 Tuner", u"\\\\?\\usb#ter", DEVICETYPE_DVBT};

TEST_P(RefreshFillTest, EmptyEnumerationListsNoDeviceAttachedWithInfoAndNothingSelected) {
    refreshWith({kSat});
    refreshWith({});
    EXPECT_EQ(view_.entries, std::vector<std::u16string>{u"No device attached"});
    EXPECT_EQ(view_.selected, -1);
    EXPECT_EQ(view_.shownPage, Page::Info);
    EXPECT_EQ(core_.nDevItems(), 0);

    // Selecting that entry shows "Info" alone.
    view_.userSelects(0);
    EXPECT_EQ(view_.shownPage, Page::Info);
    EXPECT_EQ(core_.nDevItems(), 0);
}

TEST_P(RefreshFillTest, TypeZeroAndNullRecordsGetNoEntryNoSlotAndNoCount) {
    refreshWith({kSat, kBare, kTerrestrial}, {1});
    EXPECT_EQ(view_.entries,
              (std::vector<std::u16string>{u"Morvane DVB-S2 Tuner", u"Morvane DVB-T2 Tuner"}));
    EXPECT_EQ(core_.nDevItems(), 2);
    ASSERT_NE(core_.deviceListData(0), nullptr);
    ASSERT_NE(core_.deviceListData(1), nullptr);
    EXPECT_EQ(core_.deviceListData(0)->devicepath(), u"\\\\?\\usb#sat");
    EXPECT_EQ(core_.deviceListData(1)->devicepath(), u"\\\\?\\usb#ter");
    EXPECT_EQ(core_.deviceListData(2), nullptr);

    // The first entry is selected and its page shown, filled from its record.
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(view_.shownPage, Page::DvbsUnicable);
    ASSERT_TRUE(view_.display.has_value());
    EXPECT_EQ(view_.display->frequencyText, u"1210");
}

TEST_P(RefreshFillTest, OnlyTypeZeroRecordsGiveAnEmptyListAndInfo) {
    refreshWith({kBare, kBare});
    EXPECT_TRUE(view_.entries.empty()) << "no \"No device attached\" entry either";
    EXPECT_EQ(view_.selected, -1);
    EXPECT_EQ(view_.shownPage, Page::Info);
    EXPECT_EQ(core_.nDevItems(), 0);
    EXPECT_EQ(core_.deviceListData(0), nullptr);
}

TEST_P(RefreshFillTest, EntriesPastTwentyAreListedAndCountedWithoutARecord) {
    std::vector<std::u16string> names;
    std::vector<Tuner> tuners;
    for (int i = 0; i < 21; ++i)
        names.push_back(u"Morvane DVB-C Tuner " + std::u16string(1, char16_t(u'A' + i)));
    for (const std::u16string& name : names)
        tuners.push_back({name.c_str(), u"\\\\?\\usb#cable", DEVICETYPE_DVBC});
    refreshWith(tuners);

    EXPECT_EQ(view_.entries, names);
    EXPECT_EQ(core_.nDevItems(), 21);
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(core_.deviceListData(i), nullptr) << i;
        EXPECT_EQ(core_.deviceListData(i)->devicename(), names[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(core_.deviceListData(20), nullptr);
    EXPECT_EQ(core_.deviceListData(-1), nullptr);
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(view_.shownPage, Page::DvbcScan);
}

// Whatever was selected before, a refresh selects the first entry and shows its page.
TEST_P(RefreshFillTest, RefreshSelectsTheFirstEntryAgain) {
    refreshWith({kTerrestrial, kSat});
    view_.userSelects(1);
    ASSERT_EQ(view_.shownPage, Page::DvbsUnicable);
    refreshWith({kTerrestrial, kSat});
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(view_.shownPage, Page::Dvbt2Scan);
    EXPECT_EQ(core_.nDevItems(), 2);
}

// The control that had the focus keeps it when it is on screen again, a box with its whole
// refilled text selected; a control whose page is gone gives it to the list.
TEST_P(RefreshFillTest, FocusStaysWhereItWasIfOnScreenWithABoxsTextSelected) {
    using MorvaneControlCenter::ControlId;
    const std::pair<ControlId, bool> kept[] = {{ControlId::unicable_frequency, true},
                                               {ControlId::unicable_scr, true},
                                               {ControlId::unicable_save, false},
                                               {ControlId::devicetab, false}};
    for (const auto& [control, wholeText] : kept) {
        refreshWith({kSat});
        view_.focus = control;
        refreshWith({kSat, kTerrestrial});
        EXPECT_EQ(view_.focus, control);
        EXPECT_EQ(view_.wholeTextSelected, wholeText);
    }
    view_.focus = ControlId::unicable_frequency;
    refreshWith({kTerrestrial, kSat});
    EXPECT_EQ(view_.focus, ControlId::deviceListBox);
    EXPECT_FALSE(view_.wholeTextSelected);
}

INSTANTIATE_TEST_SUITE_P(SelectionReports, RefreshFillTest,
                         ::testing::Values(Reports::Never, Reports::AsAChange),
                         [](const ::testing::TestParamInfo<Reports>& info) {
                             return info.param == Reports::Never ? std::string("Silent")
                                                                 : std::string("Reported");
                         });

// A window provides a one-shot timer; the core restarts it for 500 ms on every request and
// enumerates once when it runs out.
class DebounceTest : public CoreTest {};

TEST_F(DebounceTest, EveryRequestRestartsTheTimerAndOnlyTheTickEnumerates) {
    tuners_ = {kSat};
    EXPECT_EQ(core_.updateDevicelistMember(), 0);
    EXPECT_EQ(core_.updateDevicelistMember(), 0);
    EXPECT_EQ(core_.updateDevicelistMember(), 0);
    EXPECT_EQ(view_.timerStarts, (std::vector<int32_t>{500, 500, 500}));
    EXPECT_TRUE(view_.timerRunning);
    EXPECT_EQ(enumerations_, 0) << "a request never enumerates by itself";

    core_.timer1_Tick();
    EXPECT_FALSE(view_.timerRunning) << "the tick stops the timer: one refresh per request";
    EXPECT_EQ(enumerations_, 1);
    EXPECT_EQ(view_.entries, std::vector<std::u16string>{u"Morvane DVB-S2 Tuner"});
    EXPECT_EQ(view_.timerStarts.size(), 3u) << "a refresh asks for no further refresh";
}

} // namespace
} // namespace panel_core_test
