// What the window's behaviour needs from a window: the controls it fills and reads, the
// refresh timer, and a way to tell the user that Save was refused. Implemented by the Qt
// window on Linux and by the native window on Windows; MCCFormCore drives it.
//
// Every call is made on the window's thread. None of them may call back into MCCFormCore,
// except that a window whose toolkit reports a programmatic selection change (Qt does, Win32
// does not) may pass it on as deviceListBox_SelectedIndexChanged: the core copes with both.
//
// What a window does on its own, besides implementing this interface:
// - it creates the controls of the layout and owns one MCCFormCore, then asks it for the first
//   refresh (MCCFormCore::updateDevicelistMember) and shows no page and an empty list until
//   that refresh has run;
// - it passes on three events: timer1 running out (timer1_Tick), a change of deviceListBox's
//   selection by the user (deviceListBox_SelectedIndexChanged) and a press of unicable_save
//   (unicable_save_Click). Save is pressed by a click, and from the keyboard, when the button
//   has the focus, by Space and by Enter (keypad Enter too), as a focused push button is on
//   Windows;
// - when it opens, the keyboard focus is on deviceListBox, the first control in the focus
//   order, so Up and Down move the selection straight away.
#pragma once

#include "panel/core/WindowLayout.h"

#include <cstdint>
#include <string>

namespace MorvaneControlCenter {

// The pages of the tab control devicetab; it shows one of them or none.
enum class Page {
    None,         // no page at all
    Info,         // infotab, "Info"
    DvbsUnicable, // dvbs_unicable, "Unicable Configuration"
    DvbcScan,     // dvbc_scan, "DVB-C Scan"
    Dvbt2Scan,    // dvbt2_scan, "DVB-T/T2 Scan"
};

// The page control a page stands for; ControlId::end_ for Page::None.
ControlId pageControl(Page page);

// What the Unicable page's controls show for a satellite tuner, as texts and a check state.
struct UnicableDisplay {
    std::u16string infoText;      // unicable_info_label; the label takes the size of its text
    bool useUnicable = false;     // unicable_checkbox
    std::u16string frequencyText; // the edit text of unicable_frequency
    std::u16string scrText;       // the edit text of unicable_scr (also when not among its items)
};

// What the user left in the Unicable page's controls, as Save reads it.
struct UnicableEntry {
    bool useUnicable = false;     // unicable_checkbox is checked
    std::u16string frequencyText; // the edit text of unicable_frequency, exactly as it stands
    std::u16string scrText;       // the edit text of unicable_scr, exactly as it stands
};

class MCCFormView {
  public:
    virtual ~MCCFormView() = default;

    // deviceListBox: remove every entry (and with it the selection).
    virtual void clearDeviceList() = 0;
    // deviceListBox: insert an entry with this text, as it is, at this position.
    virtual void insertDeviceListEntry(int32_t position, const std::u16string& text) = 0;
    // deviceListBox: make the entry at this position the selected one.
    virtual void selectDeviceListEntry(int32_t position) = 0;
    // deviceListBox: the position of the selected entry, -1 when none is selected.
    virtual int32_t selectedDeviceListEntry() const = 0;

    // devicetab: take out every page, then put in this one (none for Page::None).
    virtual void showPage(Page page) = 0;
    // The Unicable page's controls: show these values.
    virtual void setUnicableDisplay(const UnicableDisplay& display) = 0;
    // The Unicable page's controls: what they hold now.
    virtual UnicableEntry unicableEntry() const = 0;

    // Tells the user why Save changed nothing, in a message (one line per reason) under the
    // caption kSaveRefusedCaption, in a modal box owned by the window: it stays above the
    // window until dismissed. Runs a nested message loop.
    virtual void reportSaveRefused(const std::u16string& message) = 0;

    // The control of the layout that has the keyboard focus, or that gets it back when the
    // window is active again; ControlId::end_ for none.
    virtual ControlId focusedControl() const = 0;
    // Gives that control the keyboard focus (or keeps it for when the window is active
    // again). selectWholeText: a box's whole text is selected, so the next key replaces it.
    virtual void setFocusTo(ControlId id, bool selectWholeText) = 0;

    // timer1, a one-shot timer: stop it if it runs, then run it for this many milliseconds.
    // When it runs out the window calls MCCFormCore::timer1_Tick.
    virtual void startRefreshTimer(int32_t milliseconds) = 0;
    // timer1: stop it; no tick follows.
    virtual void stopRefreshTimer() = 0;

    // While Save runs (the apply operation's message box included) the window is busy: it
    // takes no new selection and no Save (the core ignores a Save that comes all the same),
    // and when it is no longer busy it gives the keyboard focus back to the control that had
    // it. A refresh that falls due meanwhile is held by the core and runs once Save returns.
    virtual void setBusy(bool busy) = 0;
    // False once the user has closed the window.
    virtual bool isWindowOpen() const = 0;
};

// Caption of the message that tells why Save was refused.
inline constexpr char16_t kSaveRefusedCaption[] = u"Unicable Configuration";

} // namespace MorvaneControlCenter
