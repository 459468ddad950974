// The Qt window as the view of MCCFormCore: the control events go to the core, and the core's
// requests become calls on the controls.
#include "panel/MCCForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace MorvaneControlCenter {

MCCForm::MCCForm(QWidget* parent) : QWidget(parent) {
    timer1 = new QTimer(this);
    timer1->setObjectName(QStringLiteral("timer1"));
    timer1->setSingleShot(true);
    timer1->setTimerType(Qt::PreciseTimer);
    connect(timer1, &QTimer::timeout, this, &MCCForm::timer1_Tick);

    // The core starts with no tuner counted and all 20 slots empty.

    InitializeComponent();

    // Until the first refresh the tab control shows no page and the list is empty.
    removeAllPages();

    // The list is first in the focus order, so it has the focus when the window opens.
    deviceListBox->setFocus(Qt::OtherFocusReason);

    updateDevicelistMember();
}

// The controls go with the window; the records with the core.
MCCForm::~MCCForm() = default;

void MCCForm::setBadTextReporter(BadTextReporter reporter) {
    badTextReporter_ = std::move(reporter);
}

void MCCForm::setEnumerator(Enumerator enumerator) {
    core_.setEnumerator(std::move(enumerator));
}

int32_t MCCForm::updateDevicelistMember() {
    return core_.updateDevicelistMember();
}

void MCCForm::UpdateTabMenu(int32_t id) {
    core_.UpdateTabMenu(id);
}

void MCCForm::timer1_Tick() {
    core_.timer1_Tick();
}

void MCCForm::deviceListBox_SelectedIndexChanged() {
    // A user cannot take the selection away, but an assistive client that chooses another
    // entry clears the selection first, and one may unselect the entry chosen. A list without
    // a selection would count as no tuner: an empty selection of a filled list is passed over,
    // and if nothing is chosen meanwhile, the current entry is selected again.
    // The window's own refill is not such a change: a list it has just refilled, or emptied
    // to "No device attached", keeps the selection the refresh gave it.
    if (deviceListBox->count() > 0 && deviceListBox->selectedItems().isEmpty()) {
        QTimer::singleShot(0, this, [this, refills = listRefills_] {
            const int current = deviceListBox->currentRow();
            if (refills == listRefills_ && deviceListBox->selectedItems().isEmpty() && current >= 0)
                deviceListBox->setCurrentRow(current, QItemSelectionModel::ClearAndSelect);
        });
        return;
    }
    core_.deviceListBox_SelectedIndexChanged();
}

void MCCForm::unicable_save_Click() {
    core_.unicable_save_Click();
}

// ---- MCCFormView --------------------------------------------------------------------------

void MCCForm::clearDeviceList() {
    ++listRefills_;
    deviceListBox->clear();
}

void MCCForm::insertDeviceListEntry(int32_t position, const std::u16string& text) {
    deviceListBox->insertItem(position, QString::fromStdU16String(text));
}

void MCCForm::selectDeviceListEntry(int32_t position) {
    deviceListBox->setCurrentRow(position); // runs the selection handler
}

int32_t MCCForm::selectedDeviceListEntry() const {
    const QList<QListWidgetItem*> selected = deviceListBox->selectedItems();
    return selected.isEmpty() ? -1 : deviceListBox->row(selected.first());
}

void MCCForm::showPage(Page page) {
    removeAllPages();
    if (QWidget* shown = controlWidget(pageControl(page)))
        addPage(shown);
}

void MCCForm::setUnicableDisplay(const UnicableDisplay& display) {
    unicable_info_label->setText(QString::fromStdU16String(display.infoText));
    unicable_info_label->adjustSize();
    // Whether the tuner supports Unicable is read out with the check box and the page, which
    // the keyboard reaches; the label itself takes no focus.
    unicable_checkbox->setAccessibleDescription(unicable_info_label->text());
    dvbs_unicable->setAccessibleDescription(unicable_info_label->text());
    unicable_frequency->setEditText(QString::fromStdU16String(display.frequencyText));
    unicable_checkbox->setChecked(display.useUnicable);
    unicable_scr->setEditText(QString::fromStdU16String(display.scrText));
}

UnicableEntry MCCForm::unicableEntry() const {
    UnicableEntry entry;
    entry.useUnicable = unicable_checkbox->isChecked();
    entry.frequencyText = unicable_frequency->currentText().toStdU16String();
    entry.scrText = unicable_scr->currentText().toStdU16String();
    return entry;
}

void MCCForm::reportSaveRefused(const std::u16string& message) {
    const QString text = QString::fromStdU16String(message);
    if (badTextReporter_) {
        badTextReporter_(text);
        return;
    }
    QMessageBox::warning(this, QString::fromStdU16String(kSaveRefusedCaption), text);
}

void MCCForm::startRefreshTimer(int32_t milliseconds) {
    timer1->stop();
    timer1->setInterval(milliseconds);
    timer1->start();
}

void MCCForm::stopRefreshTimer() {
    timer1->stop();
}

// Qt moves the focus on from a control that is being disabled; while the window goes busy
// it stays where it is instead (a screen reader would announce the control it passed to).
bool MCCForm::focusNextPrevChild(bool next) {
    if (holdFocus_)
        return true;
    return QWidget::focusNextPrevChild(next);
}

void MCCForm::setBusy(bool busy) {
    // The control that has the focus keeps it, disabled, and takes it up again afterwards.
    if (busy)
        focusBeforeBusy_ = focusWidget();
    holdFocus_ = true;
    deviceListBox->setEnabled(!busy);
    unicable_save->setEnabled(!busy);
    holdFocus_ = false;
    if (!busy && focusBeforeBusy_ && focusBeforeBusy_->isVisible() && focusBeforeBusy_->isEnabled())
        focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
    if (!busy)
        focusBeforeBusy_ = nullptr;
}

bool MCCForm::isWindowOpen() const {
    return isVisible();
}

ControlId MCCForm::focusedControl() const {
    // An editable box may have the focus in its text field.
    for (QWidget* widget = focusWidget(); widget && widget != this;
         widget = widget->parentWidget()) {
        const auto it = std::find(controls_.begin(), controls_.end(), widget);
        if (it != controls_.end())
            return static_cast<ControlId>(kFirstControlId + (it - controls_.begin()));
    }
    return ControlId::end_;
}

void MCCForm::setFocusTo(ControlId id, bool selectWholeText) {
    QWidget* target = controlWidget(id);
    if (!target)
        return;
    target->setFocus(Qt::OtherFocusReason);
    if (!selectWholeText)
        return;
    if (auto* box = qobject_cast<QComboBox*>(target); box && box->lineEdit())
        box->lineEdit()->selectAll();
    else if (auto* line = qobject_cast<QLineEdit*>(target))
        line->selectAll();
}

// ---- pages --------------------------------------------------------------------------------

void MCCForm::removeAllPages() {
    while (devicetab->count() > 0)
        devicetab->removeTab(0);
}

void MCCForm::addPage(QWidget* page) {
    devicetab->addTab(page, page->windowTitle());
}

} // namespace MorvaneControlCenter
