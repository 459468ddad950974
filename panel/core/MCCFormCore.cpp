#include "panel/core/MCCFormCore.h"

#include "panel/core/WholeNumber.h"

#include <optional>
#include <string_view>
#include <utility>

namespace MorvaneControlCenter {

namespace {

static_assert(sizeof(media_wchar) == sizeof(char16_t), "device paths are UTF-16 code units");

// Gives the enumeration's records back however the refresh leaves.
class EnumerationResult {
  public:
    explicit EnumerationResult(const MCCFormCore::Enumerator& enumerator)
        : devices_(enumerator ? enumerator() : media_enum_local_devices()) {}
    ~EnumerationResult() { media_free_device_list(devices_); }
    EnumerationResult(const EnumerationResult&) = delete;
    EnumerationResult& operator=(const EnumerationResult&) = delete;

    const std::vector<media_bda_device_list*>& devices() const { return devices_; }

  private:
    std::vector<media_bda_device_list*> devices_;
};

// Digits only, no grouping, no leading zeros; a leading minus sign when negative.
template <typename Number> std::u16string decimal(Number value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// What a box holds that the conversion refuses: the range is part of the rule.
constexpr char16_t kNotAWholeNumber[] = u" is not a whole number from -2147483648 to 2147483647";

std::u16string quoted(std::u16string_view text) {
    std::u16string line = u"\"";
    line += text;
    line += u'"';
    return line;
}

} // namespace

ControlId pageControl(Page page) {
    switch (page) {
    case Page::Info:
        return ControlId::infotab;
    case Page::DvbsUnicable:
        return ControlId::dvbs_unicable;
    case Page::DvbcScan:
        return ControlId::dvbc_scan;
    case Page::Dvbt2Scan:
        return ControlId::dvbt2_scan;
    case Page::None:
        break;
    }
    return ControlId::end_;
}

MCCFormCore::MCCFormCore(MCCFormView& view) : view_(view) {}

const DeviceListData* MCCFormCore::deviceListData(int32_t slot) const {
    if (slot < 0 || slot >= kRecordSlots)
        return nullptr;
    return devlistdata[static_cast<size_t>(slot)].get();
}

void MCCFormCore::setEnumerator(Enumerator enumerator) {
    enumerator_ = std::move(enumerator);
}

void MCCFormCore::setApplyOperation(ApplyOperation apply) {
    apply_ = std::move(apply);
}

int32_t MCCFormCore::updateDevicelistMember() {
    view_.startRefreshTimer(kRefreshDelayMs);
    return 0;
}

void MCCFormCore::timer1_Tick() {
    view_.stopRefreshTimer();
    if (busy_) {
        // The apply call is still running (inside its message box): the records it reads
        // must stay as they are. The refresh runs as soon as Save returns.
        refreshHeld_ = true;
        return;
    }
    doUpdateDeviceListMember();
}

int32_t MCCFormCore::doUpdateDeviceListMember() {
    // Taken before the refill moves it (a page taken away takes the focus with it).
    const ControlId hadFocus = view_.focusedControl();
    view_.clearDeviceList();

    const EnumerationResult result(enumerator_);
    if (result.devices().empty()) {
        view_.insertDeviceListEntry(0, kNoDeviceAttached);
        showPage(Page::Info);
        n_devitems = 0;
        placeFocusAfterRefresh(hadFocus);
        return 0;
    }

    int32_t i = 0;
    for (const media_bda_device_list* record : result.devices()) {
        if (!record || record->devicetype == DEVICETYPE_NONE)
            continue;
        std::unique_ptr<DeviceListData> data = copyDeviceRecord(*record);
        const std::u16string name = data->devicename();
        if (i < kRecordSlots)
            devlistdata[static_cast<size_t>(i)] = std::move(data);
        view_.insertDeviceListEntry(i, name);
        ++i;
    }

    n_devitems = i;
    // A toolkit that reports this selection as a change runs UpdateTabMenu(0) once more
    // through the selection handler; the outcome is the same.
    if (i > 0)
        view_.selectDeviceListEntry(0);
    UpdateTabMenu(0);
    placeFocusAfterRefresh(hadFocus);
    return 0;
}

void MCCFormCore::placeFocusAfterRefresh(ControlId hadFocus) {
    bool onScreen = false;
    if (hadFocus != ControlId::end_) {
        const ControlId parent = layoutOf(hadFocus).parent;
        onScreen = parent == kWindowItself ||
                   (shownPage_ != Page::None && parent == pageControl(shownPage_));
    }
    if (!onScreen) {
        view_.setFocusTo(ControlId::deviceListBox, false);
        return;
    }
    view_.setFocusTo(hadFocus, isTextBox(layoutOf(hadFocus).kind));
}

void MCCFormCore::showPage(Page page) {
    shownPage_ = page;
    view_.showPage(page);
}

void MCCFormCore::deviceListBox_SelectedIndexChanged() {
    UpdateTabMenu(view_.selectedDeviceListEntry());
}

void MCCFormCore::UpdateTabMenu(int32_t id) {
    if (id < 0 || n_devitems == 0) {
        showPage(Page::Info);
        n_devitems = 0;
        return;
    }
    if (id >= n_devitems) {
        showPage(Page::None);
        return;
    }

    // Entries from position 20 on are listed but have no record: like a position past the
    // tuners, they show no page.
    const DeviceListData* record = deviceListData(id);
    if (!record) {
        showPage(Page::None);
        return;
    }

    switch (record->devicetype()) {
    case DEVICETYPE_DVBS: {
        showPage(Page::DvbsUnicable);
        UnicableDisplay display;
        display.infoText =
            record->unicable_supported() ? kUnicableSupported : kUnicableNotSupported;
        display.useUnicable = record->unicable_enabled() != 0;
        display.frequencyText = decimal(record->unicable_frequency());
        display.scrText = decimal(record->unicable_satcr());
        view_.setUnicableDisplay(display);
        break;
    }
    case DEVICETYPE_DVBC:
        showPage(Page::DvbcScan);
        break;
    case DEVICETYPE_DVBT:
        showPage(Page::Dvbt2Scan);
        break;
    default:
        showPage(Page::Info);
        break;
    }
}

void MCCFormCore::unicable_save_Click() {
    if (busy_)
        return;
    {
        // Busy until Save has returned, however it leaves.
        struct BusyScope {
            MCCFormCore& core;
            explicit BusyScope(MCCFormCore& c) : core(c) { core.setBusy(true); }
            ~BusyScope() { core.setBusy(false); }
            BusyScope(const BusyScope&) = delete;
            BusyScope& operator=(const BusyScope&) = delete;
        } busy(*this);
        saveSelectedRecord();
    }

    // A window closed meanwhile (behind the apply operation's box) gets no refresh.
    if (refreshHeld_) {
        refreshHeld_ = false;
        if (view_.isWindowOpen())
            doUpdateDeviceListMember();
    }
}

void MCCFormCore::saveSelectedRecord() {
    // Only a listed tuner with a record behind its entry can be saved.
    const int32_t index = view_.selectedDeviceListEntry();
    if (index < 0 || index >= n_devitems || index >= kRecordSlots)
        return;
    DeviceListData* record = devlistdata[static_cast<size_t>(index)].get();
    if (!record)
        return;

    // The apply finds the tuner by its path; a tuner that reported none cannot be told apart
    // from any other, so nothing is stored and nothing is called.
    if (record->devicepath().empty()) {
        view_.reportSaveRefused(kNoDevicePath);
        return;
    }

    // Both texts are read before anything changes: a text that is not a whole number changes
    // neither the record nor the tuner. An empty box sends 0 and keeps the record's value.
    const UnicableEntry entry = view_.unicableEntry();
    std::optional<int32_t> frequency = 0;
    std::optional<int32_t> satcr = 0;
    std::u16string complaints;
    if (!entry.frequencyText.empty()) {
        frequency = parseWholeNumber(entry.frequencyText);
        if (!frequency)
            complaints += u"Frequency " + quoted(entry.frequencyText) + kNotAWholeNumber;
    }
    if (!entry.scrText.empty()) {
        satcr = parseWholeNumber(entry.scrText);
        if (!satcr) {
            if (!complaints.empty())
                complaints += u'\n';
            complaints += u"SCR " + quoted(entry.scrText) + kNotAWholeNumber;
        }
    }
    if (!complaints.empty()) {
        view_.reportSaveRefused(complaints);
        return;
    }

    const media_unicable_settings settings{
        .enabled = entry.useUnicable ? 1 : 0, .satcr = *satcr, .frequency = *frequency};
    record->set_unicable_enabled(settings.enabled);
    if (!entry.frequencyText.empty())
        record->set_unicable_frequency(static_cast<uint32_t>(settings.frequency));
    if (!entry.scrText.empty())
        record->set_unicable_satcr(settings.satcr);

    // The record's own path, held in place for the call: the record cannot be replaced while
    // the core is busy.
    const auto* devicepath = reinterpret_cast<const media_wchar*>(record->devicepath().c_str());
    if (apply_)
        apply_(settings, devicepath);
    else
        media_apply_unicable_settings(settings, devicepath);
}

void MCCFormCore::setBusy(bool busy) {
    busy_ = busy;
    view_.setBusy(busy);
}

} // namespace MorvaneControlCenter
