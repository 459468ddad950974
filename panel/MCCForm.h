// The control panel's main window: the list of attached tuners on the left, the pages of the
// selected tuner on the right, and the Unicable settings page with its Save button.
#pragma once

#include "panel/DeviceListData.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;

struct media_bda_device_list;

namespace MorvaneControlCenter {

class MCCForm : public QWidget {
    Q_OBJECT

  public:
    // Number of tuner records the window keeps; list entries from this position on are
    // listed and counted but have no record behind them.
    static constexpr int kRecordSlots = 20;

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
    int32_t nDevItems() const { return n_devitems; }
    const DeviceListData* deviceListData(int slot) const;

    // How Save tells the user that a box holds something that is not a whole number. The
    // default shows a warning message box owned by this window; a null reporter restores it.
    using BadTextReporter = std::function<void(const QString& message)>;
    void setBadTextReporter(BadTextReporter reporter);

    // Where a refresh takes its tuner records from: media_enum_local_devices unless replaced
    // (tests feed records that no bench can describe); a null enumerator restores it. The
    // window disposes of every record it is given, as media_free_device_list does.
    using Enumerator = std::function<std::vector<media_bda_device_list*>()>;
    void setEnumerator(Enumerator enumerator);

  private slots:
    void timer1_Tick();
    void deviceListBox_SelectedIndexChanged();
    void unicable_save_Click();

  private:
    void InitializeComponent();

    int32_t doUpdateDeviceListMember();
    int32_t selectedIndex() const;
    void removeAllPages();
    void addPage(QWidget* page);
    void insertListEntry(int position, const QString& text);
    void saveSelectedRecord();
    void reportBadText(const QString& message);
    void setBusy(bool busy);

    // Refresh timer; created by the constructor, not by the layout.
    QTimer* timer1 = nullptr;
    // Slot i holds the record of list entry i. A refresh overwrites slots from 0 upwards and
    // leaves the others as they were.
    std::array<std::unique_ptr<DeviceListData>, kRecordSlots> devlistdata;
    // Number of list entries that stand for tuners after the last refresh.
    int32_t n_devitems = 0;

    // While Save runs (the apply operation's message box included) the window is busy: a
    // refresh that falls due is held until Save has returned.
    bool busy_ = false;
    bool refreshHeld_ = false;
    QPointer<QWidget> focusBeforeBusy_;
    BadTextReporter badTextReporter_;
    Enumerator enumerator_;

    // Controls, as InitializeComponent builds them.
    QLabel* label7 = nullptr;
    QTabWidget* devicetab = nullptr;
    QListWidget* deviceListBox = nullptr;

    QWidget* dvbs_unicable = nullptr;
    QLabel* unicable_info_label = nullptr;
    QComboBox* unicable_scr = nullptr;
    QLabel* label8 = nullptr;
    QPushButton* unicable_save = nullptr;
    QLabel* label1 = nullptr;
    QComboBox* unicable_frequency = nullptr;
    QCheckBox* unicable_checkbox = nullptr;

    QWidget* dvbs_testastra = nullptr;
    QProgressBar* progressBar4 = nullptr;
    QProgressBar* progressBar3 = nullptr;
    QProgressBar* progressBar2 = nullptr;
    QProgressBar* progressBar1 = nullptr;

    QWidget* dvbs_scan = nullptr;
    QListWidget* listView1 = nullptr;
    QLabel* label6 = nullptr;
    QProgressBar* progressBar5 = nullptr;
    QPushButton* button3 = nullptr;
    QLabel* label5 = nullptr;
    QComboBox* comboBox4 = nullptr;
    QComboBox* comboBox3 = nullptr;
    QLabel* label4 = nullptr;
    QLabel* label3 = nullptr;
    QComboBox* comboBox2 = nullptr;
    QLineEdit* textBox1 = nullptr;
    QLabel* label2 = nullptr;

    QWidget* dvbc_scan = nullptr;

    QWidget* infotab = nullptr;
    QLabel* label9 = nullptr;

    QWidget* dvbt2_scan = nullptr;
};

} // namespace MorvaneControlCenter
