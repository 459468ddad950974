// A window for the core without any toolkit: it keeps what the core puts into its controls,
// hands back what a test typed, and counts timer and busy calls. Tuners are described by the
// test and handed to the core as fresh heap records on every enumeration.
#pragma once

#include "panel/core/MCCFormCore.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace panel_core_test {

using MorvaneControlCenter::MCCFormCore;
using MorvaneControlCenter::Page;
using MorvaneControlCenter::UnicableDisplay;
using MorvaneControlCenter::UnicableEntry;

// Texts as printable lines in failure messages.
std::string printable(std::u16string_view text);

class FakeView : public MorvaneControlCenter::MCCFormView {
  public:
    // How the list reports a selection the window makes itself: Qt reports it as a
    // selection change (also when clearing the list takes the selection away), Win32 does not.
    enum class SelectionReports { Never, AsAChange };

    explicit FakeView(SelectionReports reports = SelectionReports::Never) : reports_(reports) {}
    void attach(MCCFormCore* core) { core_ = core; }

    void clearDeviceList() override;
    void insertDeviceListEntry(int32_t position, const std::u16string& text) override;
    void selectDeviceListEntry(int32_t position) override;
    int32_t selectedDeviceListEntry() const override { return selected; }
    void showPage(Page page) override { shownPage = page; }
    void setUnicableDisplay(const UnicableDisplay& value) override;
    UnicableEntry unicableEntry() const override { return typed; }
    void reportSaveRefused(const std::u16string& message) override;
    void startRefreshTimer(int32_t milliseconds) override;
    void stopRefreshTimer() override { timerRunning = false; }
    void setBusy(bool busy) override { busyCalls.push_back(busy); }
    bool isWindowOpen() const override { return open; }
    MorvaneControlCenter::ControlId focusedControl() const override { return focus; }
    void setFocusTo(MorvaneControlCenter::ControlId id, bool selectWholeText) override {
        focus = id;
        wholeTextSelected = selectWholeText;
    }

    // The user selects an entry: the list reports it as a change.
    void userSelects(int32_t position);

    std::vector<std::u16string> entries;
    int32_t selected = -1;
    Page shownPage = Page::None;
    std::optional<UnicableDisplay> display; // what the Unicable page's controls show
    int displayWrites = 0;
    UnicableEntry typed; // what Save reads
    std::vector<std::u16string> refusals;
    std::function<void()> insideRefusal; // runs while the refusal's box would be up
    bool timerRunning = false;
    std::vector<int32_t> timerStarts; // the intervals, one per start
    std::vector<bool> busyCalls;
    bool open = true;
    MorvaneControlCenter::ControlId focus = MorvaneControlCenter::ControlId::deviceListBox;
    bool wholeTextSelected = false;

  private:
    SelectionReports reports_;
    MCCFormCore* core_ = nullptr;
};

inline void PrintTo(FakeView::SelectionReports reports, std::ostream* os) {
    *os << (reports == FakeView::SelectionReports::Never ? "never reported" : "reported");
}

// One tuner as the enumeration reports it. A null text stays null in the record.
struct Tuner {
    const char16_t* name = nullptr;
    const char16_t* path = nullptr;
    int32_t type = 0;
    uint8_t supported = 0;
    uint8_t enabled = 0;
    uint8_t satcr = 0;
    uint32_t frequency = 0;
};

// One call of the apply operation.
struct Apply {
    int32_t frequency, satcr, enabled;
    std::u16string devicepath;
    bool operator==(const Apply&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Apply& apply);

// A core on a fake view, with the enumeration and the apply operation replaced.
class CoreTest : public ::testing::Test {
  protected:
    explicit CoreTest(FakeView::SelectionReports reports = FakeView::SelectionReports::Never);

    // Runs a refresh on these tuners, with a null record in the result at each of the
    // positions in nullPositions.
    void refreshWith(std::vector<Tuner> tuners, std::vector<size_t> nullPositions = {});

    FakeView view_;
    MCCFormCore core_{view_};
    std::vector<Tuner> tuners_;
    std::vector<size_t> nullPositions_;
    int enumerations_ = 0;
    std::vector<Apply> applies_;
    std::function<void()> insideApply_; // runs while the apply's message box would be up
};

} // namespace panel_core_test
