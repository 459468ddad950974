// The control panel window's behaviour, free of any toolkit: the 20 tuner records and their
// count, the refresh that fills them and the device list from an enumeration, the choice of
// the page for a list position, the Unicable page's Save, the busy state that holds a refresh
// while Save runs, and the debounce of refresh requests. A window (the Qt one on Linux, the
// native one on Windows) owns one MCCFormCore, implements MCCFormView for it, and passes its
// control events on: timer1's tick, the list's selection change and Save's click.
#pragma once

#include "media/device_list.h"
#include "panel/core/DeviceListData.h"
#include "panel/core/MCCFormView.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace MorvaneControlCenter {

class MCCFormCore {
  public:
    // Number of tuner records kept; list entries from this position on are listed and
    // counted but have no record behind them.
    static constexpr int32_t kRecordSlots = 20;
    // Every refresh request restarts the refresh timer for this long.
    static constexpr int32_t kRefreshDelayMs = 500;

    // The view must outlive the core; the core makes no call on it until asked to act.
    explicit MCCFormCore(MCCFormView& view);
    MCCFormCore(const MCCFormCore&) = delete;
    MCCFormCore& operator=(const MCCFormCore&) = delete;

    // Asks for a refresh: restarts the 500 ms one-shot timer, so that a burst of requests
    // costs one enumeration, 500 ms after the last of them. Always 0.
    int32_t updateDevicelistMember();
    // The timer has run out: stops it and refreshes, or, while Save is busy, holds the
    // refresh until Save has returned.
    void timer1_Tick();
    // Clears the list, enumerates, keeps a record for each tuner of a known type in the slots
    // and lists it, selects the first entry and shows its page. The control that had the
    // keyboard focus keeps it if it is on screen again, a box with its whole new text
    // selected (the next key replaces the number put there); otherwise the list takes it, as
    // when the window opens. Always 0.
    int32_t doUpdateDeviceListMember();

    // The list's selection has changed: shows the page for the selected position.
    void deviceListBox_SelectedIndexChanged();
    // Shows the page for list position id: the page of the tuner's type (filling the
    // Unicable page from its record), "Info" for no tuner (a negative id, or no tuner listed,
    // which also sets the count to 0), no page for a position past the listed tuners, no page
    // for a listed position that has no record (20 and above) either.
    void UpdateTabMenu(int32_t id);

    // Save was pressed (clicked, or Space or Enter on the focused button): reads the page and
    // refuses, telling the user and changing nothing, a tuner without a device path or text
    // that is not a whole number; otherwise stores the values in the selected record and
    // hands them to the apply operation. Busy until it returns; ignored while busy. Without a
    // record behind the selection it does nothing.
    void unicable_save_Click();

    // The model, read-only.
    int32_t nDevItems() const { return n_devitems; }
    // The record in a slot; null for an empty slot or a position outside the table.
    const DeviceListData* deviceListData(int32_t slot) const;
    // True while Save runs.
    bool isBusy() const { return busy_; }

    // Where a refresh takes its tuner records from: media_enum_local_devices unless replaced;
    // a null enumerator restores it. Every record given is disposed of as
    // media_free_device_list does.
    using Enumerator = std::function<std::vector<media_bda_device_list*>()>;
    void setEnumerator(Enumerator enumerator);
    // What Save calls with the settings and the device path:
    // media_set_unicable_properties unless replaced; a null operation restores it.
    using ApplyOperation = std::function<int32_t(const media_unicable_settings& settings,
                                                 const media_wchar* devicepath)>;
    void setApplyOperation(ApplyOperation apply);

  private:
    void saveSelectedRecord();
    void showPage(Page page);
    // Where the focus goes after a refresh, given the control that had it before.
    void placeFocusAfterRefresh(ControlId hadFocus);
    void setBusy(bool busy);

    MCCFormView& view_;
    // devlistdata, n_devitems and timer1 (the window's) are named as in the window's designed
    // form; keep the names.
    // Slot i holds the record of list entry i. A refresh overwrites slots from 0 upwards and
    // leaves the others as they were.
    std::array<std::unique_ptr<DeviceListData>, kRecordSlots> devlistdata;
    // Number of list entries that stand for tuners after the last refresh.
    int32_t n_devitems = 0;
    // The page devicetab shows.
    Page shownPage_ = Page::None;

    bool busy_ = false;
    // A refresh fell due while Save was busy; it runs once Save has returned.
    bool refreshHeld_ = false;
    Enumerator enumerator_;
    ApplyOperation apply_;
};

// The texts the core puts on screen.
inline constexpr char16_t kNoDeviceAttached[] = u"No device attached";
inline constexpr char16_t kUnicableSupported[] = u"This device supports Unicable";
inline constexpr char16_t kUnicableNotSupported[] = u"Unicable is not supported by this device";
// Why Save refused a tuner whose device path is empty.
inline constexpr char16_t kNoDevicePath[] =
    u"This tuner has no device path; its settings cannot be saved.";

} // namespace MorvaneControlCenter
