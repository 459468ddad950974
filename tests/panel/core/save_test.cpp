// Save: reading the two texts, refusing bad text before anything changes, the record update,
// the apply call, and the busy state that holds a refresh while Save runs.
#include "fake_view.h"

namespace panel_core_test {
namespace {

struct Unicable {
    int32_t enabled, satcr;
    uint32_t frequency;
    bool operator==(const Unicable&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Unicable& u) {
    return os << "{enabled " << u.enabled << ", satcr " << u.satcr << ", frequency " << u.frequency
              << "}";
}

class SaveCoreTest : public CoreTest {
  protected:
    void SetUp() override {
        refreshWith({
            {u"Sat", u"\\\\?\\usb#sat", DEVICETYPE_DVBS, 1, 1, 2, 1210},
            {u"Cable", u"\\\\?\\usb#cable", DEVICETYPE_DVBC},
            {u"Sat two", u"\\\\?\\usb#sat2", DEVICETYPE_DVBS, 1, 0, 0, 1318},
        });
        ASSERT_EQ(view_.selected, 0);
    }

    Unicable record(int32_t slot) const {
        const MorvaneControlCenter::DeviceListData* data = core_.deviceListData(slot);
        if (!data)
            return {-99, -99, 0};
        return {data->unicable_enabled(), data->unicable_satcr(), data->unicable_frequency()};
    }

    void type(bool useUnicable, std::u16string frequency, std::u16string scr) {
        view_.typed = {useUnicable, std::move(frequency), std::move(scr)};
    }
};

TEST_F(SaveCoreTest, TypedValuesGoToTheRecordAndToTheApplyWithTheRecordsPath) {
    type(false, u"1420", u"3");
    core_.unicable_save_Click();
    EXPECT_EQ(applies_, (std::vector<Apply>{{1420, 3, 0, u"\\\\?\\usb#sat"}}));
    EXPECT_EQ(record(0), (Unicable{0, 3, 1420}));
    EXPECT_TRUE(view_.refusals.empty());

    // The selected entry decides which record and which tuner.
    view_.userSelects(2);
    type(true, u" +1210 ", u"7");
    core_.unicable_save_Click();
    ASSERT_EQ(applies_.size(), 2u);
    EXPECT_EQ(applies_[1], (Apply{1210, 7, 1, u"\\\\?\\usb#sat2"}));
    EXPECT_EQ(record(2), (Unicable{1, 7, 1210}));
    EXPECT_EQ(record(0), (Unicable{0, 3, 1420}));
}

TEST_F(SaveCoreTest, EmptyBoxesSendZeroAndKeepTheRecordsValues) {
    type(false, u"", u"");
    core_.unicable_save_Click();
    EXPECT_EQ(applies_, (std::vector<Apply>{{0, 0, 0, u"\\\\?\\usb#sat"}}));
    EXPECT_EQ(record(0), (Unicable{0, 2, 1210})) << "only the switch is stored";

    type(true, u"", u"1");
    core_.unicable_save_Click();
    EXPECT_EQ(applies_.back(), (Apply{0, 1, 1, u"\\\\?\\usb#sat"}));
    EXPECT_EQ(record(0), (Unicable{1, 1, 1210}));
}

TEST_F(SaveCoreTest, TextThatIsNotAWholeNumberIsRefusedBeforeAnythingChanges) {
    // The switch would change too; nothing does.
    type(false, u"1210 MHz", u"1");
    core_.unicable_save_Click();
    EXPECT_EQ(view_.refusals,
              std::vector<std::u16string>{
                  u"Frequency \"1210 MHz\" is not a whole number from -2147483648 to 2147483647"});

    // A good frequency is not stored when the SCR is bad.
    type(false, u"1420", u"x");
    core_.unicable_save_Click();
    EXPECT_EQ(view_.refusals.back(),
              u"SCR \"x\" is not a whole number from -2147483648 to 2147483647");

    // Both bad: both named, one line each.
    type(false, u"2147483648", u"0x1");
    core_.unicable_save_Click();
    EXPECT_EQ(view_.refusals.back(),
              u"Frequency \"2147483648\" is not a whole number from -2147483648 to 2147483647\n"
              u"SCR \"0x1\" is not a whole number from -2147483648 to 2147483647");

    EXPECT_EQ(view_.refusals.size(), 3u);
    EXPECT_TRUE(applies_.empty());
    EXPECT_EQ(record(0), (Unicable{1, 2, 1210}));
    EXPECT_EQ(view_.busyCalls, (std::vector<bool>{true, false, true, false, true, false}));
}

// The frequency's 32 bits go into the record's unsigned field, and the next fill of the page
// shows them as unsigned digits; a negative SCR keeps its sign.
TEST_F(SaveCoreTest, MinusOneIsStoredAsTheUnsignedFrequencyAndShownAsTenDigits) {
    type(true, u"-1", u"-5");
    core_.unicable_save_Click();
    EXPECT_EQ(applies_, (std::vector<Apply>{{-1, -5, 1, u"\\\\?\\usb#sat"}}));
    EXPECT_EQ(record(0), (Unicable{1, -5, 4294967295u}));

    view_.userSelects(1);
    view_.userSelects(0);
    ASSERT_TRUE(view_.display.has_value());
    EXPECT_EQ(view_.display->frequencyText, u"4294967295");
    EXPECT_EQ(view_.display->scrText, u"-5");
}

TEST_F(SaveCoreTest, NoRecordBehindTheSelectionMeansNoApplyAndNoMessage) {
    type(true, u"1210", u"1");

    view_.selected = -1; // nothing selected
    core_.unicable_save_Click();

    view_.selected = 3; // past the listed tuners
    core_.unicable_save_Click();

    // The 21st entry: listed and counted, but without a record.
    refreshWith(std::vector<Tuner>(21, Tuner{u"Sat", u"p", DEVICETYPE_DVBS}));
    view_.userSelects(20);
    core_.unicable_save_Click();

    EXPECT_TRUE(applies_.empty());
    EXPECT_TRUE(view_.refusals.empty());
}

// The apply finds a tuner by its device path; with two tuners that reported none, Save on
// the second would change the first. Save refuses such a tuner before anything changes, and
// says why even when a text is bad as well.
TEST_F(SaveCoreTest, TunerWithoutADevicePathIsRefusedAndNothingIsCalled) {
    refreshWith({
        {u"Sat A", nullptr, DEVICETYPE_DVBS, 1, 1, 2, 1210},
        {u"Sat B", u"", DEVICETYPE_DVBS, 1, 0, 1, 1318},
    });
    for (int32_t entry : {0, 1}) {
        SCOPED_TRACE(entry);
        view_.userSelects(entry);
        type(false, u"1420", u"3");
        core_.unicable_save_Click();
        type(true, u"1420 MHz", u"3");
        core_.unicable_save_Click();
    }
    EXPECT_EQ(view_.refusals,
              std::vector<std::u16string>(
                  4, u"This tuner has no device path; its settings cannot be saved."));
    EXPECT_TRUE(applies_.empty());
    EXPECT_EQ(record(0), (Unicable{1, 2, 1210}));
    EXPECT_EQ(record(1), (Unicable{0, 1, 1318}));
    EXPECT_FALSE(core_.isBusy());
}

// The apply may show a message box whose nested message loop delivers the window's events:
// the refresh that falls due waits until Save has returned, then runs once; a second Save
// is ignored.
TEST_F(SaveCoreTest, WhileTheApplyRunsARefreshIsHeldThenRunsOnce) {
    type(true, u"1210", u"1");
    view_.userSelects(2);
    const int before = enumerations_;
    bool busyInside = false;
    int enumerationsInside = -1;
    insideApply_ = [&] {
        busyInside = core_.isBusy();
        core_.updateDevicelistMember(); // a device change during the box
        core_.timer1_Tick();            // ... falls due
        core_.timer1_Tick();            // a late second tick changes nothing
        core_.unicable_save_Click();    // a second Save
        enumerationsInside = enumerations_ - before;
    };
    core_.unicable_save_Click();

    EXPECT_TRUE(busyInside);
    EXPECT_EQ(enumerationsInside, 0);
    EXPECT_EQ(applies_.size(), 1u) << "no second Save";
    EXPECT_EQ(view_.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_FALSE(core_.isBusy());

    // The held refresh ran once, after the window was no longer busy.
    EXPECT_EQ(enumerations_ - before, 1);
    EXPECT_FALSE(view_.timerRunning);
    EXPECT_EQ(view_.selected, 0);

    // Nothing more is held: the next Save runs no refresh.
    insideApply_ = nullptr;
    core_.unicable_save_Click();
    EXPECT_EQ(enumerations_ - before, 1);
    EXPECT_EQ(applies_.size(), 2u);
}

TEST_F(SaveCoreTest, HeldRefreshDoesNotRunOnceTheWindowIsClosed) {
    type(true, u"1210", u"1");
    const int before = enumerations_;
    insideApply_ = [&] {
        core_.updateDevicelistMember();
        core_.timer1_Tick();
        view_.open = false; // the user closes the window behind the box
    };
    core_.unicable_save_Click();
    EXPECT_EQ(enumerations_, before);
    EXPECT_FALSE(core_.isBusy());
}

// The message about bad text may be a modal box too: a refresh waits for it as well.
TEST_F(SaveCoreTest, RefreshThatFallsDueWhileTheRefusalIsShownRunsAfterwards) {
    type(true, u"abc", u"1");
    const int before = enumerations_;
    int enumerationsInside = -1;
    view_.insideRefusal = [&] {
        core_.updateDevicelistMember();
        core_.timer1_Tick();
        enumerationsInside = enumerations_ - before;
    };
    core_.unicable_save_Click();
    EXPECT_EQ(enumerationsInside, 0);
    EXPECT_EQ(enumerations_ - before, 1);
    EXPECT_TRUE(applies_.empty());
}

} // namespace
} // namespace panel_core_test
