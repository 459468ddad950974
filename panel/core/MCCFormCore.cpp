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

std::u16string quoted(std::u16string_view text) {
    std::u16string line = u"\"";
    line += text;
    line += u'"';
    return line;
}

} // namespace

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
    view_.clearDeviceList();

    const EnumerationResult result(enumerator_);
    if (result.devices().empty()) {
        view_.insertDeviceListEntry(0, kNoDeviceAttached);
        view_.showPage(Page::Info);
        n_devitems = 0;
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
    return 0;
}

void MCCFormCore::deviceListBox_SelectedIndexChanged() {
    UpdateTabMenu(view_.selectedDeviceListEntry());
}

void MCCFormCore::UpdateTabMenu(int32_t id) {
    if (id < 0 || n_devitems == 0) {
        view_.showPage(Page::Info);
        n_devitems = 0;
        return;
    }
    if (id >= n_devitems) {
        view_.showPage(Page::None);
        return;
    }

    // Entries from position 20 on are listed but have no record.
    const DeviceListData* record = deviceListData(id);
    if (!record) {
        view_.showPage(Page::Info);
        return;
    }

    switch (record->devicetype()) {
    case DEVICETYPE_DVBS: {
        view_.showPage(Page::DvbsUnicable);
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
        view_.showPage(Page::DvbcScan);
        break;
    case DEVICETYPE_DVBT:
        view_.showPage(Page::Dvbt2Scan);
        break;
    default:
        view_.showPage(Page::Info);
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

    // Both texts are read before anything changes: a text that is not a whole number changes
    // neither the record nor the tuner. An empty box sends 0 and keeps the record's value.
    const UnicableEntry entry = view_.unicableEntry();
    std::optional<int32_t> frequency = 0;
    std::optional<int32_t> satcr = 0;
    std::u16string complaints;
    if (!entry.frequencyText.empty()) {
        frequency = parseWholeNumber(entry.frequencyText);
        if (!frequency)
            complaints += u"Frequency " + quoted(entry.frequencyText) + u" is not a whole number";
    }
    if (!entry.scrText.empty()) {
        satcr = parseWholeNumber(entry.scrText);
        if (!satcr) {
            if (!complaints.empty())
                complaints += u'\n';
            complaints += u"SCR " + quoted(entry.scrText) + u" is not a whole number";
        }
    }
    if (!complaints.empty()) {
        view_.reportSaveRefused(complaints);
        return;
    }

    const int32_t enabled = entry.useUnicable ? 1 : 0;
    record->set_unicable_enabled(enabled);
    if (!entry.frequencyText.empty())
        record->set_unicable_frequency(static_cast<uint32_t>(*frequency));
    if (!entry.scrText.empty())
        record->set_unicable_satcr(*satcr);

    // The record's own path, held in place for the call: the record cannot be replaced while
    // the core is busy.
    const auto* devicepath = reinterpret_cast<const media_wchar*>(record->devicepath().c_str());
    if (apply_)
        apply_(*frequency, *satcr, enabled, devicepath);
    else
        media_set_unicable_properties(*frequency, *satcr, enabled, devicepath);
}

void MCCFormCore::setBusy(bool busy) {
    busy_ = busy;
    view_.setBusy(busy);
}

} // namespace MorvaneControlCenter
