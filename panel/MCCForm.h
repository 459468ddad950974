// The control panel's main window: the list of attached tuners on the left, the pages of the
// selected tuner on the right, and the Unicable settings page with its Save button.
#pragma once

#include "panel/core/MCCFormCore.h"
#include "panel/core/MCCFormView.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTimer;

namespace MorvaneControlCenter {

// The Qt window: creates the controls and moves data in and out of them. What the window
// does is MCCFormCore's; this class is the view it drives.
class MCCForm : public QWidget, private MCCFormView {
    Q_OBJECT

  public:
    explicit MCCForm(QWidget* parent = nullptr);
    ~MCCForm() override;

    // Asks for a refresh of the device list: (re)starts the 500 ms one-shot timer, so that a
    // burst of requests costs one enumeration, run 500 ms after the last of them. Always 0.
    int32_t updateDevicelistMember();

    // Shows the page(s) for list position id: the page of the tuner's type, "Info" for no
    // tuner, nothing for a position past the listed tuners.
    void UpdateTabMenu(int32_t id);

    // The model, read-only: the count of listed tuners, and the record in one of the 20
    // slots (null for an empty slot or a position outside the table).
    int32_t nDevItems() const { return core_.nDevItems(); }
    const DeviceListData* deviceListData(int slot) const { return core_.deviceListData(slot); }

    // How Save tells the user why it changed nothing: a box holds something that is not a
    // whole number, or the tuner has no device path. The default shows a warning message box
    // owned by this window; a null reporter restores it.
    using BadTextReporter = std::function<void(const QString& message)>;
    void setBadTextReporter(BadTextReporter reporter);

    // Where a refresh takes its tuner records from: media_enum_local_devices unless replaced
    // (tests feed records that no bench can describe); a null enumerator restores it. The
    // window disposes of every record it is given, as media_free_device_list does.
    using Enumerator = MCCFormCore::Enumerator;
    void setEnumerator(Enumerator enumerator);

  protected:
    bool focusNextPrevChild(bool next) override;

  private slots:
    void timer1_Tick();
    void deviceListBox_SelectedIndexChanged();
    void unicable_save_Click();

  private:
    void InitializeComponent();

    void removeAllPages();
    void addPage(QWidget* page);

    // MCCFormView: the controls, the timer and the messages, for the core.
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

    // The window's behaviour; holds the tuner records (devlistdata) and their count
    // (n_devitems).
    MCCFormCore core_{*this};

    // Refresh timer; created by the constructor, not by the layout.
    QTimer* timer1 = nullptr;

    // The control that had the focus when Save made the window busy.
    QPointer<QWidget> focusBeforeBusy_;
    // Set while Save disables its controls: the focus stays on the control that has it.
    bool holdFocus_ = false;
    BadTextReporter badTextReporter_;
    // Counts the window's own refills of deviceListBox.
    int listRefills_ = 0;

    // Every control of the layout, by ControlId, as InitializeComponent builds them.
    std::array<QWidget*, kControlCount> controls_{};
    QWidget* controlWidget(ControlId id) const;
    // The controls the window reads and fills, under their names in the layout.
    QTabWidget* devicetab = nullptr;
    QListWidget* deviceListBox = nullptr;
    QWidget* dvbs_unicable = nullptr;
    QLabel* unicable_info_label = nullptr;
    QComboBox* unicable_scr = nullptr;
    QPushButton* unicable_save = nullptr;
    QComboBox* unicable_frequency = nullptr;
    QCheckBox* unicable_checkbox = nullptr;
};

} // namespace MorvaneControlCenter
