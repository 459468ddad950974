// The window on the simulated driver (run by scripts/wine-bench.sh on the demo bench): the
// first refresh lists the bench's tuners through Wine's device enumerator and filter graph,
// a selection fills the Unicable page from the tuner, Save writes the typed values into the
// bench file, and Save on a tuner whose driver lacks the property set brings up the apply
// operation's message box and writes nothing.
#include "window_fixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace MorvaneControlCenter::testing_support {
namespace {

using namespace std::chrono_literals;

std::string readBench() {
    char path[1024];
    const DWORD length = GetEnvironmentVariableA("MORVANE_BENCH", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class OnTheDemoBench : public WindowTest {
  protected:
    OnTheDemoBench() { fakeTuners = false; }

    void SetUp() override {
        ASSERT_FALSE(readBench().empty()) << "MORVANE_BENCH names no readable bench";
        WindowTest::SetUp();
        // The first refresh runs 500 ms after the window was made.
        ASSERT_TRUE(pumpUntil([&] { return listEntries().size() == 4; }, 60s))
            << "the list did not fill with the bench's four tuners";
    }

    void select(const std::wstring& name) {
        const std::vector<std::wstring> entries = listEntries();
        const auto found = std::find(entries.begin(), entries.end(), name);
        ASSERT_NE(found, entries.end());
        selectEntry(static_cast<int>(found - entries.begin()));
    }
};

TEST_F(OnTheDemoBench, ListsTheMakersTunersAndSavesIntoTheBench) {
    std::vector<std::wstring> entries = listEntries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries,
              (std::vector<std::wstring>{L"Morvane DVB-C Tuner", L"Morvane DVB-S2 Lite Tuner",
                                         L"Morvane DVB-S2 Tuner", L"Morvane DVB-T2 Tuner"}));
    EXPECT_EQ(selectedEntry(), 0);

    select(L"Morvane DVB-C Tuner");
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"DVB-C Scan"});
    select(L"Morvane DVB-T2 Tuner");
    EXPECT_EQ(tabCaptions(), std::vector<std::wstring>{L"DVB-T/T2 Scan"});

    select(L"Morvane DVB-S2 Tuner");
    ASSERT_EQ(tabCaptions(), std::vector<std::wstring>{L"Unicable Configuration"});
    EXPECT_EQ(textOf(control(ControlId::unicable_info_label)), L"This device supports Unicable");
    EXPECT_TRUE(checked(ControlId::unicable_checkbox));
    EXPECT_EQ(textOf(control(ControlId::unicable_frequency)), L"1210");
    EXPECT_EQ(textOf(control(ControlId::unicable_scr)), L"1");

    click(ControlId::unicable_checkbox);
    typeInto(ControlId::unicable_frequency, L"1318");
    typeInto(ControlId::unicable_scr, L"2");
    click(ControlId::unicable_save);
    const std::string bench = readBench();
    EXPECT_NE(bench.find("\"unicable\": {\"enabled\": 0, \"scr\": 2, \"frequency\": 1318}"),
              std::string::npos)
        << bench;
}

// Keys typed while a refresh comes: the refill leaves the focus in the box with its text
// selected, so the keys after it replace the number instead of joining it.
TEST_F(OnTheDemoBench, KeysTypedAfterARefreshReplaceTheRefilledNumber) {
    select(L"Morvane DVB-S2 Tuner");
    HWND frequency = control(ControlId::unicable_frequency);
    typeInto(ControlId::unicable_frequency, L"");
    auto typeKeys = [](const wchar_t* keys) {
        for (const wchar_t* key = keys; *key; ++key)
            SendMessageW(GetFocus(), WM_CHAR, *key, 1);
    };
    typeKeys(L"14");
    form->updateDevicelistMember();
    ASSERT_TRUE(pumpUntil([&] { return textOf(frequency) != L"14"; }, 30s)) << "no refresh";
    typeKeys(L"20");
    EXPECT_EQ(GetParent(GetFocus()), frequency) << "the focus left the box";
    click(ControlId::unicable_save);
    EXPECT_NE(readBench().find("\"frequency\": 20}"), std::string::npos) << readBench();
}

TEST_F(OnTheDemoBench, ATunerWithoutThePropertySetGetsTheApplysMessageBox) {
    select(L"Morvane DVB-S2 Lite Tuner");
    ASSERT_EQ(tabCaptions(), std::vector<std::wstring>{L"Unicable Configuration"});
    EXPECT_EQ(textOf(control(ControlId::unicable_info_label)),
              L"Unicable is not supported by this device");
    const std::string before = readBench();
    MessageBoxAnswerer answerer;
    click(ControlId::unicable_checkbox);
    typeInto(ControlId::unicable_frequency, L"1400");
    click(ControlId::unicable_save);
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].caption, L"Unicable not Supported!");
    EXPECT_EQ(answerer.boxes()[0].text, L"UNICABLE not SUPPORTED!");
    EXPECT_EQ(readBench(), before);
    // The window is usable again.
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::unicable_save)));
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::deviceListBox)));
}

} // namespace
} // namespace MorvaneControlCenter::testing_support
