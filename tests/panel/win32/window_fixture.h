// The native window in the test's own process, driven through its real controls by the
// messages a user's actions produce, with tuner records and an apply operation of the test's
// choosing. Everything runs on the test's thread: when SendMessage returns, the window's
// handler has run.
#pragma once

#include "media/device_list.h"
#include "panel/win32/MCCForm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace MorvaneControlCenter::testing_support {

// The DPI the window is expected to be laid out for (the prefix's; --dpi=N, default 96).
extern UINT expectedDpi;

// A layout value at 96 DPI, as the window shows it at the expected DPI.
inline int scaled(int value) {
    return MulDiv(value, static_cast<int>(expectedDpi), 96);
}

// One tuner as the enumeration reports it.
struct Tuner {
    std::wstring name;
    std::wstring path;
    int32_t type = DEVICETYPE_DVBS;
    uint8_t supported = 1;
    uint8_t enabled = 0;
    uint32_t frequency = 0;
    uint8_t satcr = 0;
};

// One call of the apply operation.
struct Apply {
    int32_t frequency;
    int32_t satcr;
    int32_t enabled;
    std::wstring devicepath;
};

// Runs the thread's messages until condition holds or the time is up; false then.
bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);
// Runs the thread's messages for this long.
void pumpFor(std::chrono::milliseconds time);

std::wstring textOf(HWND hwnd);
std::wstring classOf(HWND hwnd);
// A control's rectangle in its parent's client area (or in the client area of `relativeTo`).
RECT rectIn(HWND hwnd, HWND relativeTo);

// Answers every message box the thread opens with OK, and keeps what each one said.
class MessageBoxAnswerer {
  public:
    struct Box {
        std::wstring caption;
        std::wstring text;
        HWND owner; // an owned box stays above its owner
    };
    MessageBoxAnswerer();
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    const std::vector<Box>& boxes() const;

  private:
    HHOOK hook_ = nullptr;
};

class WindowTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the tuners the next enumerations report.
    void attach(std::vector<Tuner> tuners) { tuners_ = std::move(tuners); }
    // Asks for a refresh and waits until it has run (it runs 500 ms after the request).
    void refresh();

    HWND control(ControlId id) const { return form->control(id); }
    HWND window() const { return form->hwnd(); }

    // What a user sees.
    std::vector<std::wstring> listEntries() const;
    int selectedEntry() const;
    std::vector<std::wstring> tabCaptions() const;
    // The pages on screen (at most one is expected).
    std::vector<ControlId> visiblePages() const;
    bool checked(ControlId id) const;

    // What a user does. Each asserts first that the control can be used (visible, enabled),
    // then sends the input and the notification the user's action would produce.
    void selectEntry(int position);
    void click(ControlId id);
    void typeInto(ControlId combo, const std::wstring& text);
    // A key pressed with the focus where it is, through the window's keyboard navigation, as
    // the program's message loop passes it on.
    void pressKey(UINT key, bool shift = false);

    // False: the window enumerates and applies through the tuner access layer (a bench run).
    bool fakeTuners = true;
    std::unique_ptr<MCCForm> form;
    int enumerations = 0;
    std::vector<Apply> applies;
    // Runs inside the apply operation, before it returns (a test's stand-in for its box).
    std::function<void()> duringApply;

  private:
    std::vector<Tuner> tuners_;
};

} // namespace MorvaneControlCenter::testing_support
