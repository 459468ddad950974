// The control panel's main window on Windows, in native Win32 controls: the list of attached
// tuners on the left, the pages of the selected tuner on the right, and the Unicable settings
// page with its Save button. What the window does is MCCFormCore's; this class creates the
// controls, passes their notifications on and moves data in and out of them.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "panel/core/MCCFormCore.h"
#include "panel/core/MCCFormView.h"
#include "panel/core/WindowLayout.h"
#include "panel/win32/WindowSupport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace MorvaneControlCenter {

// Each control's ID is its ControlId (panel/core/WindowLayout.h).

class AccessibleAnnotations;

class MCCForm : private MCCFormView {
  public:
    // The window's class name and title (from the layout).
    static constexpr const wchar_t* kClassName = L"MCCForm";
    static inline const wchar_t* const kTitle = wide(kWindowTitle);
    // At other DPIs than 96 every layout value is scaled by DPI / 96.
    static constexpr int kRecordSlots = MCCFormCore::kRecordSlots;

    // Builds the window and every control (hidden; show() puts it on screen) and asks for
    // the first refresh, due 500 ms later once a message loop runs. Throws
    // std::runtime_error when the window system refuses a window; nothing is left behind.
    MCCForm();
    ~MCCForm() override;
    MCCForm(const MCCForm&) = delete;
    MCCForm& operator=(const MCCForm&) = delete;

    // Shows the window, activates it and puts the keyboard focus on the device list.
    void show();
    // The window's keyboard navigation for a message of the thread's loop, as IsDialogMessage
    // is for a dialog: Tab and Shift+Tab in the layout's focus order, Enter, Esc and the
    // arrow keys. True when the message was handled (then it is not dispatched).
    bool isDialogMessage(MSG* msg);
    // When set, destroying the window (closing it) ends the thread's message loop with 0.
    void setQuitOnClose(bool quit) { quitOnClose_ = quit; }

    // Asks for a refresh of the device list: (re)starts the 500 ms one-shot timer. Always 0.
    int32_t updateDevicelistMember() { return core_.updateDevicelistMember(); }

    // The top-level window (null once it has been destroyed) and any control of the layout.
    HWND hwnd() const { return hwnd_; }
    HWND control(ControlId id) const;
    // The DPI the window is laid out for.
    UINT dpi() const { return dpi_; }

    // The model, read-only.
    int32_t nDevItems() const { return core_.nDevItems(); }
    const DeviceListData* deviceListData(int32_t slot) const { return core_.deviceListData(slot); }

    // Where a refresh takes its records from, and what Save calls (see MCCFormCore).
    void setEnumerator(MCCFormCore::Enumerator enumerator);
    void setApplyOperation(MCCFormCore::ApplyOperation apply);

  private:
    struct FontDeleter {
        void operator()(HFONT font) const;
    };
    using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;
    struct BrushDeleter {
        void operator()(HBRUSH brush) const;
    };
    using BrushHandle = std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter>;

    // MCCForm.InitializeComponent.cpp: the layout.
    void InitializeComponent();
    void createControls();
    void createFonts();
    void layOut();
    void autoSize(ControlId id);
    void autoSize(ControlId id, const std::wstring& text);
    void fitComboHeight(HWND combo, int height);
    void centreComboText(HWND combo);
    // The controls that Tab reaches now, in focus order.
    std::vector<HWND> tabStops() const;

    // MCCForm.cpp: the window's messages and the view for the core.
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK pageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void registerClasses();
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code, HWND source);
    void onDpiChanged(UINT dpi, const RECT& suggested);
    void timer1_Tick();
    void deviceListBox_SelectedIndexChanged();
    void unicable_save_Click();
    void keepFocusVisible();
    void moveFocus(bool backward);
    void moveFocusInGroup(HWND from, bool backward);
    void focusControl(HWND target);
    void showAsDefaultButton(HWND button, bool isDefault);
    bool isPage(HWND hwnd) const;
    void updatePageBackground();
    int scale(int value) const;

    void clearDeviceList() override;
    void insertDeviceListEntry(int32_t position, const std::u16string& text) override;
    void selectDeviceListEntry(int32_t position) override;
    int32_t selectedDeviceListEntry() const override;
    void showPage(Page page) override;
    void setUnicableDisplay(const UnicableDisplay& display) override;
    UnicableEntry unicableEntry() const override;
    void reportSaveRefused(const std::u16string& message) override;
    void startRefreshTimer(int32_t milliseconds) override;
    void stopRefreshTimer() override;
    void setBusy(bool busy) override;
    bool isWindowOpen() const override;
    ControlId focusedControl() const override;
    void setFocusTo(ControlId id, bool selectWholeText) override;

    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    // The outer size that gives the client area its layout size; zero until laid out.
    SIZE frameSize_{0, 0};
    bool quitOnClose_ = false;
    // Set once the window is being destroyed: the core then refreshes nothing more.
    bool destroying_ = false;
    // Every control of the layout, by ControlId - kFirstControlId.
    std::array<HWND, kControlCount> controls_{};
    // The page shown by devicetab, if any.
    HWND shownPage_ = nullptr;
    // The control that had the keyboard focus when the window was deactivated or went busy.
    HWND savedFocus_ = nullptr;
    HWND focusBeforeBusy_ = nullptr;

    // Fonts for the current DPI. Declared before nothing that uses them outlives them: the
    // destructor destroys the window (and with it the controls) before they go.
    FontHandle dialogFont_;
    FontHandle label9Font_;
    // The fonts of the DPI before, until the controls have the new ones.
    std::array<FontHandle, 2> oldFonts_;
    // The pages' background: the tab control's body under the desktop theme.
    COLORREF pageColour_ = 0;
    BrushHandle pageBrush_;

    // What a screen reader reads beyond what Windows derives: the pages' names and role, the
    // support line as the check box's description.
    std::unique_ptr<AccessibleAnnotations> annotations_;

    // The window's behaviour; holds the tuner records and their count.
    MCCFormCore core_{*this};
};

} // namespace MorvaneControlCenter

#endif // _WIN32
