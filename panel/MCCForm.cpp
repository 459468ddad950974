// The window's behaviour: the device list model and its debounced refresh, the choice of the
// pages shown for the selected tuner, and the Unicable page's Save.
#include "panel/MCCForm.h"

#include "media/device_list.h"
#include "panel/WholeNumber.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include <optional>
#include <vector>

namespace MorvaneControlCenter {

namespace {

constexpr int kRefreshDelayMs = 500;

static_assert(sizeof(media_wchar) == sizeof(char16_t), "device paths are UTF-16 code units");

// Gives the enumeration's records back however the refresh leaves.
class EnumerationResult {
  public:
    explicit EnumerationResult(const MCCForm::Enumerator& enumerator)
        : devices_(enumerator ? enumerator() : media_enum_local_devices()) {}
    ~EnumerationResult() { media_free_device_list(devices_); }
    EnumerationResult(const EnumerationResult&) = delete;
    EnumerationResult& operator=(const EnumerationResult&) = delete;

    const std::vector<media_bda_device_list*>& devices() const { return devices_; }

  private:
    std::vector<media_bda_device_list*> devices_;
};

} // namespace

MCCForm::MCCForm(QWidget* parent) : QWidget(parent) {
    timer1 = new QTimer(this);
    timer1->setObjectName(QStringLiteral("timer1"));
    timer1->setSingleShot(true);
    timer1->setTimerType(Qt::PreciseTimer);
    connect(timer1, &QTimer::timeout, this, &MCCForm::timer1_Tick);

    n_devitems = 0;
    // devlistdata starts with all 20 slots empty.

    InitializeComponent();

    // Until the first refresh the tab control shows no page and the list is empty.
    removeAllPages();

    updateDevicelistMember();
}

// The controls go with the window; the records with their slots.
MCCForm::~MCCForm() = default;

const DeviceListData* MCCForm::deviceListData(int slot) const {
    if (slot < 0 || slot >= kRecordSlots)
        return nullptr;
    return devlistdata[static_cast<size_t>(slot)].get();
}

void MCCForm::setBadTextReporter(BadTextReporter reporter) {
    badTextReporter_ = std::move(reporter);
}

void MCCForm::setEnumerator(Enumerator enumerator) {
    enumerator_ = std::move(enumerator);
}

int32_t MCCForm::updateDevicelistMember() {
    timer1->stop();
    timer1->setInterval(kRefreshDelayMs);
    timer1->start();
    return 0;
}

void MCCForm::timer1_Tick() {
    timer1->stop();
    if (busy_) {
        // The apply call is still running (inside its message box): the records it reads
        // must stay as they are. The refresh runs as soon as Save returns.
        refreshHeld_ = true;
        return;
    }
    doUpdateDeviceListMember();
}

int32_t MCCForm::doUpdateDeviceListMember() {
    deviceListBox->clear();

    const EnumerationResult result(enumerator_);
    if (result.devices().empty()) {
        removeAllPages();
        insertListEntry(0, QStringLiteral("No device attached"));
        addPage(infotab);
        n_devitems = 0;
        return 0;
    }

    int32_t i = 0;
    for (const media_bda_device_list* record : result.devices()) {
        if (!record || record->devicetype == DEVICETYPE_NONE)
            continue;
        std::unique_ptr<DeviceListData> data = copyDeviceRecord(*record);
        const QString name = QString::fromStdU16String(data->devicename());
        if (i < kRecordSlots)
            devlistdata[static_cast<size_t>(i)] = std::move(data);
        insertListEntry(i, name);
        ++i;
    }

    n_devitems = i;
    if (deviceListBox->count() > 0)
        deviceListBox->setCurrentRow(0); // runs the selection handler for entry 0
    UpdateTabMenu(0);
    return 0;
}

void MCCForm::deviceListBox_SelectedIndexChanged() {
    UpdateTabMenu(selectedIndex());
}

void MCCForm::UpdateTabMenu(int32_t id) {
    removeAllPages();

    if (id < 0 || n_devitems == 0) {
        addPage(infotab);
        n_devitems = 0;
        return;
    }
    if (id >= n_devitems)
        return;

    // Entries from position 20 on are listed but have no record.
    const DeviceListData* record = deviceListData(id);
    if (!record) {
        addPage(infotab);
        return;
    }

    switch (record->devicetype()) {
    case DEVICETYPE_DVBS:
        addPage(dvbs_unicable);
        unicable_info_label->setText(
            record->unicable_supported()
                ? QStringLiteral("This device supports Unicable")
                : QStringLiteral("Unicable is not supported by this device"));
        unicable_info_label->adjustSize();
        unicable_frequency->setEditText(QString::number(record->unicable_frequency()));
        unicable_checkbox->setChecked(record->unicable_enabled() != 0);
        unicable_scr->setEditText(QString::number(record->unicable_satcr()));
        break;
    case DEVICETYPE_DVBC:
        addPage(dvbc_scan);
        break;
    case DEVICETYPE_DVBT:
        addPage(dvbt2_scan);
        break;
    default:
        addPage(infotab);
        break;
    }
}

void MCCForm::unicable_save_Click() {
    if (busy_)
        return;
    {
        // Busy until Save has returned, however it leaves.
        struct BusyScope {
            MCCForm* form;
            explicit BusyScope(MCCForm* f) : form(f) { form->setBusy(true); }
            ~BusyScope() { form->setBusy(false); }
            BusyScope(const BusyScope&) = delete;
            BusyScope& operator=(const BusyScope&) = delete;
        } busy(this);
        saveSelectedRecord();
    }

    // A window closed meanwhile (behind the apply operation's box) gets no refresh.
    if (refreshHeld_) {
        refreshHeld_ = false;
        if (isVisible())
            doUpdateDeviceListMember();
    }
}

void MCCForm::saveSelectedRecord() {
    // Only a listed tuner with a record behind its entry can be saved.
    const int32_t index = selectedIndex();
    if (index < 0 || index >= n_devitems || index >= kRecordSlots)
        return;
    DeviceListData* record = devlistdata[static_cast<size_t>(index)].get();
    if (!record)
        return;

    // Both texts are read before anything changes: a text that is not a whole number changes
    // neither the record nor the tuner. An empty box sends 0 and keeps the record's value.
    const QString frequencyText = unicable_frequency->currentText();
    const QString scrText = unicable_scr->currentText();
    std::optional<int32_t> frequency = 0;
    std::optional<int32_t> satcr = 0;
    QStringList complaints;
    if (!frequencyText.isEmpty()) {
        frequency = parseWholeNumber(frequencyText);
        if (!frequency)
            complaints
                << QStringLiteral("Frequency \"%1\" is not a whole number").arg(frequencyText);
    }
    if (!scrText.isEmpty()) {
        satcr = parseWholeNumber(scrText);
        if (!satcr)
            complaints << QStringLiteral("SCR \"%1\" is not a whole number").arg(scrText);
    }
    if (!complaints.isEmpty()) {
        reportBadText(complaints.join(u'\n'));
        return;
    }

    const int32_t enabled = unicable_checkbox->isChecked() ? 1 : 0;
    record->set_unicable_enabled(enabled);
    if (!frequencyText.isEmpty())
        record->set_unicable_frequency(static_cast<uint32_t>(*frequency));
    if (!scrText.isEmpty())
        record->set_unicable_satcr(*satcr);

    // The record's own path, held in place for the call: the record cannot be replaced while
    // the window is busy.
    const auto* devicepath = reinterpret_cast<const media_wchar*>(record->devicepath().c_str());
    media_set_unicable_properties(*frequency, *satcr, enabled, devicepath);
}

void MCCForm::reportBadText(const QString& message) {
    if (badTextReporter_) {
        badTextReporter_(message);
        return;
    }
    QMessageBox::warning(this, QStringLiteral("Unicable Configuration"), message);
}

void MCCForm::setBusy(bool busy) {
    busy_ = busy;
    // Disabling the control that has the focus moves the focus on; it comes back afterwards.
    if (busy)
        focusBeforeBusy_ = focusWidget();
    deviceListBox->setEnabled(!busy);
    unicable_save->setEnabled(!busy);
    if (!busy && focusBeforeBusy_ && focusBeforeBusy_->isVisible() && focusBeforeBusy_->isEnabled())
        focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
    if (!busy)
        focusBeforeBusy_ = nullptr;
}

int32_t MCCForm::selectedIndex() const {
    const QList<QListWidgetItem*> selected = deviceListBox->selectedItems();
    return selected.isEmpty() ? -1 : deviceListBox->row(selected.first());
}

void MCCForm::removeAllPages() {
    while (devicetab->count() > 0)
        devicetab->removeTab(0);
}

void MCCForm::addPage(QWidget* page) {
    devicetab->addTab(page, page->windowTitle());
}

void MCCForm::insertListEntry(int position, const QString& text) {
    deviceListBox->insertItem(position, text);
}

} // namespace MorvaneControlCenter
