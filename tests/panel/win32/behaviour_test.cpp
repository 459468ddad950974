// The window at work, driven as a user drives it: refreshes filling the list, selections
// switching the pages, Save with typed, refused and empty texts, Enter and Space on Save, the
// busy state during Save, device-change bursts through the hidden notification window, and
// closing.
#include "window_fixture.h"

#include "shell/device_change.h"
#include "shell/notify_window.h"

#include <commctrl.h>

namespace MorvaneControlCenter::testing_support {
namespace {

using namespace std::chrono_literals;

const Tuner kSatellite{
    L"Morvane DVB-S2 Stick", L"\\\\?\\usb#vid_1f4d&pid_0001#s1", DEVICETYPE_DVBS, 1, 1, 1210, 2};
const Tuner kCable{L"Morvane DVB-C Box", L"\\\\?\\usb#vid_1f4d&pid_0002#c1", DEVICETYPE_DVBC};
const Tuner kTerrestrial{L"Morvane DVB-T2 Stick", L"\\\\?\\usb#vid_1f4d&pid_0003#t1",
                         DEVICETYPE_DVBT};

using Refresh = WindowTest;

TEST_F(Refresh, TwoTunersAreListedByNameAndTheFirstIsSelectedWithItsPage) {
    attach({kSatellite, kCable});
    refresh();
    EXPECT_EQ(listEntries(), (std::vector<std::wstring>{kSatellite.name, kCable.name}));
    EXPECT_EQ(selectedEntry(), 0);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"Unicable Configuration"});
    EXPECT_EQ(visiblePages(), std::vector<ControlId>{ControlId::dvbs_unicable});
    EXPECT_EQ(form->nDevItems(), 2);
}

TEST_F(Refresh, TwentyOneTunersAreAllListedAndThe21stHasNoRecord) {
    std::vector<Tuner> tuners;
    for (int i = 0; i < 21; ++i)
        tuners.push_back({L"Morvane " + std::to_wstring(i), L"\\\\?\\usb#" + std::to_wstring(i),
                          DEVICETYPE_DVBC});
    attach(tuners);
    refresh();
    const std::vector<std::wstring> entries = listEntries();
    ASSERT_EQ(entries.size(), 21u);
    EXPECT_EQ(entries[20], L"Morvane 20");
    EXPECT_EQ(form->nDevItems(), 21);
    EXPECT_NE(form->deviceListData(19), nullptr);
    selectEntry(20);
    EXPECT_TRUE(tabCaptions().empty()) << "no record behind it: no page, as past the tuners";
    selectEntry(19);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"DVB-C Scan"});
}

TEST_F(Refresh, NoTunerListsNoDeviceAttachedWithTheInfoPageAndNoSelection) {
    attach({kSatellite});
    refresh();
    attach({});
    refresh();
    EXPECT_EQ(listEntries(), std::vector<std::wstring>{L"No device attached"});
    EXPECT_EQ(selectedEntry(), LB_ERR);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"Info"});
    EXPECT_EQ(visiblePages(), std::vector<ControlId>{ControlId::infotab});
    EXPECT_EQ(textOf(control(ControlId::label9)), L"No Device Detected");
    // Choosing the entry still shows "Info" alone.
    selectEntry(0);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"Info"});
}

TEST_F(Refresh, TunersWithoutATypeAreLeftOut) {
    Tuner unknown = kCable;
    unknown.name = L"Morvane Unknown";
    unknown.type = DEVICETYPE_NONE;
    attach({kSatellite, unknown, kTerrestrial});
    refresh();
    EXPECT_EQ(listEntries(), (std::vector<std::wstring>{kSatellite.name, kTerrestrial.name}));
}

using Pages = WindowTest;

TEST_F(Pages, SelectingATunerShowsThePageOfItsType) {
    Tuner other = kCable;
    other.name = L"Morvane Type 4";
    other.type = 4;
    attach({kSatellite, kCable, kTerrestrial, other});
    refresh();
    selectEntry(1);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"DVB-C Scan"});
    EXPECT_EQ(visiblePages(), std::vector<ControlId>{ControlId::dvbc_scan});
    selectEntry(2);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"DVB-T/T2 Scan"});
    EXPECT_EQ(visiblePages(), std::vector<ControlId>{ControlId::dvbt2_scan});
    selectEntry(3);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"Info"});
    EXPECT_EQ(visiblePages(), std::vector<ControlId>{ControlId::infotab});
    selectEntry(0);
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"Unicable Configuration"});
    EXPECT_EQ(visiblePages(), std::vector<ControlId>{ControlId::dvbs_unicable});
}

TEST_F(Pages, TheUnicablePageShowsTheSelectedTunersRecord) {
    Tuner second = kSatellite;
    second.name = L"Morvane second";
    second.path = L"\\\\?\\usb#s2";
    second.supported = 0;
    second.enabled = 0;
    second.frequency = 4294967295u;
    second.satcr = 3;
    attach({kSatellite, second});
    refresh();
    EXPECT_EQ(textOf(control(ControlId::unicable_info_label)), L"This device supports Unicable");
    EXPECT_TRUE(checked(ControlId::unicable_checkbox));
    EXPECT_EQ(textOf(control(ControlId::unicable_frequency)), L"1210");
    EXPECT_EQ(textOf(control(ControlId::unicable_scr)), L"2");

    selectEntry(1);
    EXPECT_EQ(textOf(control(ControlId::unicable_info_label)),
              L"Unicable is not supported by this device");
    EXPECT_FALSE(checked(ControlId::unicable_checkbox));
    EXPECT_EQ(textOf(control(ControlId::unicable_frequency)), L"4294967295");
    EXPECT_EQ(textOf(control(ControlId::unicable_scr)), L"3");
}

using Save = WindowTest;

TEST_F(Save, SendsTheTypedValuesAndKeepsThemInTheRecord) {
    Tuner tuner = kSatellite;
    tuner.enabled = 0;
    attach({tuner});
    refresh();
    click(ControlId::unicable_checkbox);
    typeInto(ControlId::unicable_frequency, L"1420");
    typeInto(ControlId::unicable_scr, L" +7 ");
    click(ControlId::unicable_save);
    ASSERT_EQ(applies.size(), 1u);
    EXPECT_EQ(applies[0].frequency, 1420);
    EXPECT_EQ(applies[0].satcr, 7);
    EXPECT_EQ(applies[0].enabled, 1);
    EXPECT_EQ(applies[0].devicepath, tuner.path);

    // Back on the tuner after another, the page shows what was saved.
    const DeviceListData* record = form->deviceListData(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->unicable_frequency(), 1420u);
    EXPECT_EQ(record->unicable_satcr(), 7);
    EXPECT_EQ(record->unicable_enabled(), 1);
}

TEST_F(Save, EmptyBoxesSendZeroAndKeepTheRecordsValues) {
    attach({kSatellite});
    refresh();
    typeInto(ControlId::unicable_frequency, L"");
    typeInto(ControlId::unicable_scr, L"");
    click(ControlId::unicable_checkbox); // checked -> unchecked
    click(ControlId::unicable_save);
    ASSERT_EQ(applies.size(), 1u);
    EXPECT_EQ(applies[0].frequency, 0);
    EXPECT_EQ(applies[0].satcr, 0);
    EXPECT_EQ(applies[0].enabled, 0);
    EXPECT_EQ(form->deviceListData(0)->unicable_frequency(), kSatellite.frequency);
    EXPECT_EQ(form->deviceListData(0)->unicable_satcr(), kSatellite.satcr);
}

TEST_F(Save, TextThatIsNotAWholeNumberIsRefusedInAMessageBoxAndChangesNothing) {
    attach({kSatellite});
    refresh();
    click(ControlId::unicable_checkbox); // checked -> unchecked
    typeInto(ControlId::unicable_frequency, L"1,210");
    typeInto(ControlId::unicable_scr, L"0x1");
    MessageBoxAnswerer answerer;
    click(ControlId::unicable_save);
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].caption, L"Unicable Configuration");
    EXPECT_EQ(answerer.boxes()[0].owner, window());
    EXPECT_EQ(answerer.boxes()[0].text,
              L"Frequency \"1,210\" is not a whole number from -2147483648 to 2147483647\n"
              L"SCR \"0x1\" is not a whole number from -2147483648 to 2147483647");
    EXPECT_TRUE(applies.empty());
    const DeviceListData* record = form->deviceListData(0);
    EXPECT_EQ(record->unicable_enabled(), 1);
    EXPECT_EQ(record->unicable_frequency(), kSatellite.frequency);
    EXPECT_EQ(record->unicable_satcr(), kSatellite.satcr);
    // The texts stay for the user to mend, and Save works again afterwards.
    EXPECT_EQ(textOf(control(ControlId::unicable_frequency)), L"1,210");
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::unicable_save)));
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::deviceListBox)));
}

TEST_F(Save, EnterAndSpaceOnTheFocusedSaveButtonSave) {
    attach({kSatellite});
    refresh();
    SetFocus(control(ControlId::unicable_save));
    pressKey(VK_RETURN);
    EXPECT_EQ(applies.size(), 1u) << "Enter";
    pressKey(VK_SPACE);
    EXPECT_EQ(applies.size(), 2u) << "Space";
    // Enter elsewhere saves nothing.
    SetFocus(control(ControlId::deviceListBox));
    pressKey(VK_RETURN);
    pressKey(VK_ESCAPE);
    EXPECT_EQ(applies.size(), 2u);
    EXPECT_TRUE(IsWindow(window()));
}

// The apply operation may wait in a message box whose loop dispatches the window's messages:
// meanwhile the list and Save take nothing, a refresh that falls due waits for Save to end,
// and the focus comes back to Save.
TEST_F(Save, ARefreshDueWhileSaveRunsWaitsAndTheFocusComesBack) {
    attach({kSatellite, kCable});
    refresh();
    const int before = enumerations;
    bool listUsable = true;
    bool saveUsable = true;
    duringApply = [&] {
        listUsable = IsWindowEnabled(control(ControlId::deviceListBox));
        saveUsable = IsWindowEnabled(control(ControlId::unicable_save));
        form->updateDevicelistMember();
        pumpFor(800ms);
        attach({kCable});
    };
    SetFocus(control(ControlId::unicable_save));
    click(ControlId::unicable_save);
    EXPECT_FALSE(listUsable);
    EXPECT_FALSE(saveUsable);
    EXPECT_EQ(enumerations, before + 1) << "the held refresh ran once Save had returned";
    EXPECT_EQ(listEntries(), std::vector<std::wstring>{kCable.name});
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::deviceListBox)));
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::unicable_save)));
    // Save's page went away with the satellite tuner: the focus is on the list.
    EXPECT_EQ(GetFocus(), control(ControlId::deviceListBox));
}

// Device-change events reach the window through the hidden notification window, as at
// start-up; a burst of them costs one enumeration, 500 ms after the last.
class DeviceChanges : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        InitWindowClass();
        notifyWindow = create_notification_window(GetModuleHandleW(nullptr));
        ASSERT_NE(notifyWindow, nullptr);
        MCCForm* target = form.get();
        store_callback(notifyWindow,
                       bind_update_delegate([target] { return target->updateDevicelistMember(); }));
    }
    void TearDown() override {
        store_callback(notifyWindow, nullptr);
        SendMessageW(notifyWindow, WM_CLOSE, 0, 0);
        WindowTest::TearDown();
    }
    HWND notifyWindow = nullptr;
};

TEST_F(DeviceChanges, ABurstCostsOneEnumerationHalfASecondAfterTheLast) {
    attach({kSatellite});
    // The constructor's own request runs first.
    ASSERT_TRUE(pumpUntil([&] { return enumerations == 1; }, 5s));
    attach({kSatellite, kTerrestrial});

    auto last = std::chrono::steady_clock::now();
    for (WPARAM event :
         {WPARAM{DBT_DEVNODES_CHANGED}, WPARAM{DBT_DEVICEARRIVAL}, WPARAM{DBT_DEVNODES_CHANGED},
          WPARAM{DBT_DEVICEREMOVECOMPLETE}, WPARAM{DBT_DEVNODES_CHANGED}}) {
        EXPECT_EQ(SendMessageW(notifyWindow, WM_DEVICECHANGE, event, 0), 1);
        last = std::chrono::steady_clock::now();
        pumpFor(150ms);
    }
    EXPECT_EQ(enumerations, 1) << "an enumeration ran within the burst";
    ASSERT_TRUE(pumpUntil([&] { return enumerations == 2; }, 5s));
    const auto delay = std::chrono::steady_clock::now() - last;
    EXPECT_GE(delay, 450ms) << "the enumeration did not wait 500 ms after the last event";
    pumpFor(800ms);
    EXPECT_EQ(enumerations, 2) << "more than one enumeration for one burst";
    EXPECT_EQ(listEntries(), (std::vector<std::wstring>{kSatellite.name, kTerrestrial.name}));

    // Other events ask for nothing.
    SendMessageW(notifyWindow, WM_DEVICECHANGE, 0x8006 /* DBT_CUSTOMEVENT */, 0);
    pumpFor(800ms);
    EXPECT_EQ(enumerations, 2);
}

using Closing = WindowTest;

TEST_F(Closing, WmCloseDestroysTheWindowAndNoRefreshFollows) {
    attach({kSatellite});
    form->updateDevicelistMember();
    SendMessageW(window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(form->hwnd(), nullptr);
    pumpFor(800ms);
    EXPECT_EQ(enumerations, 0);
    // Without quit-on-close (the program sets it), no WM_QUIT is left behind.
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

} // namespace
} // namespace MorvaneControlCenter::testing_support
