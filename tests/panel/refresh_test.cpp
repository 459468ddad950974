// The device list model, its debounced refresh and the choice of pages for the selected tuner.
#include "panel_fixture.h"

#include "media/device_list.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace panel_test {
namespace {

using MorvaneControlCenter::DeviceListData;
using MorvaneControlCenter::MCCForm;

const QStringList kInfo = {QStringLiteral("Info")};
const QStringList kUnicable = {QStringLiteral("Unicable Configuration")};

QStringList entries(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

class RefreshTest : public PanelTest {};

TEST_F(RefreshTest, BeforeTheFirstTickTheListIsEmptyAndNoPageIsShown) {
    useBench("types_1_0_3.json");
    StdoutCapture out;
    MCCForm& form = makeForm(false);
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(tabs()->count(), 0);
    EXPECT_EQ(form.nDevItems(), 0);
    EXPECT_TRUE(timer()->isActive());
    EXPECT_EQ(out.localDevicesLines(), 0) << "the constructor does not enumerate";
}

TEST_F(RefreshTest, TwoRequests300MsApartRunOneEnumeration500MsAfterTheSecond) {
    useBench("types_1_0_3.json");
    StdoutCapture out;
    MCCForm& form = makeForm(false); // first request
    QTest::qWait(300);
    ASSERT_EQ(out.localDevicesLines(), 0);

    QElapsedTimer sinceSecond;
    sinceSecond.start();
    form.updateDevicelistMember();
    QTest::qWait(300); // 600 ms after the first request: its refresh was called off
    EXPECT_EQ(out.localDevicesLines(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return out.localDevicesLines() > 0; }, 3000));
    const qint64 elapsed = sinceSecond.elapsed();
    EXPECT_GE(elapsed, 495);
    EXPECT_LT(elapsed, 1200);

    QTest::qWait(700);
    EXPECT_EQ(out.localDevicesLines(), 1) << out.text().toStdString();
    EXPECT_EQ(list()->count(), 2);
}

TEST_F(RefreshTest, NoTunerShowsNoDeviceAttachedWithInfoAndNothingSelected) {
    useBench("no_tuner.json"); // another maker's tuner only
    MCCForm& form = makeForm();
    EXPECT_EQ(entries(list()), QStringList{"No device attached"});
    EXPECT_EQ(selectedRow(list()), -1);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
    EXPECT_EQ(form.nDevItems(), 0);

    // Selecting the entry shows "Info" alone.
    clickEntry(0);
    EXPECT_EQ(selectedRow(list()), 0);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
    EXPECT_EQ(form.nDevItems(), 0);

    // A PC without any broadcast device gives the same, also once the events have run.
    useBench("satellites.json");
    refresh();
    qunsetenv("MORVANE_BENCH");
    refresh();
    QTest::qWait(50);
    EXPECT_EQ(entries(list()), QStringList{"No device attached"});
    EXPECT_EQ(selectedRow(list()), -1);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
}

TEST_F(RefreshTest, TunerWithoutDemodulatorIsLeftOutOfListAndTable) {
    useBench("types_1_0_3.json"); // types 1, 0, 3
    MCCForm& form = makeForm();
    EXPECT_EQ(entries(list()), (QStringList{"Morvane DVB-S2 Tuner", "Morvane DVB-T2 Tuner"}));
    EXPECT_EQ(form.nDevItems(), 2);
    EXPECT_EQ(selectedRow(list()), 0);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);

    const DeviceListData* first = form.deviceListData(0);
    const DeviceListData* second = form.deviceListData(1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(form.deviceListData(2), nullptr);
    EXPECT_EQ(first->devicename(), u"Morvane DVB-S2 Tuner");
    EXPECT_EQ(first->devicepath(), u"\\\\?\\usb#vid_734c&pid_5980#1");
    EXPECT_EQ(first->devicetype(), DEVICETYPE_DVBS);
    EXPECT_EQ(first->unicable_supported(), 1);
    EXPECT_EQ(first->unicable_enabled(), 1);
    EXPECT_EQ(first->unicable_satcr(), 2);
    EXPECT_EQ(first->unicable_frequency(), 1210u);
    EXPECT_EQ(second->devicename(), u"Morvane DVB-T2 Tuner");
    EXPECT_EQ(second->devicetype(), DEVICETYPE_DVBT);

    clickEntry(1);
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-T/T2 Scan"});
}

TEST_F(RefreshTest, OnlyTunersWithoutDemodulatorGiveAnEmptyListAndInfo) {
    useBench("all_none.json");
    MCCForm& form = makeForm();
    EXPECT_EQ(list()->count(), 0) << "no \"No device attached\" entry either";
    EXPECT_EQ(selectedRow(list()), -1);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
    EXPECT_EQ(form.nDevItems(), 0);
    EXPECT_EQ(form.deviceListData(0), nullptr);
}

TEST_F(RefreshTest, TwentyOneTunersAreAllListedButOnlyTwentyStored) {
    useBench("twenty_one.json");
    MCCForm& form = makeForm();
    ASSERT_EQ(list()->count(), 21);
    EXPECT_EQ(form.nDevItems(), 21);
    for (int i = 0; i < 20; ++i) {
        const DeviceListData* record = form.deviceListData(i);
        ASSERT_NE(record, nullptr) << i;
        EXPECT_EQ(QString::fromStdU16String(record->devicename()), list()->item(i)->text());
    }
    EXPECT_EQ(form.deviceListData(20), nullptr);
    EXPECT_EQ(list()->item(20)->text(), QStringLiteral("Morvane DVB-S2 Tuner 21"));

    // Entry 21 has no record behind it: no page, as past the tuners, and the count stays.
    list()->scrollToItem(list()->item(20));
    clickEntry(20);
    EXPECT_EQ(selectedRow(list()), 20);
    EXPECT_EQ(tabs()->count(), 0);
    EXPECT_EQ(form.nDevItems(), 21);

    // Entry 20 still has its record.
    list()->scrollToItem(list()->item(19));
    clickEntry(19);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("1020"));
}

TEST_F(RefreshTest, UnpluggedTunerLeavesTheOtherSelectedAsFirstEntry) {
    useBench("unplug.json");
    MCCForm& form = makeForm();
    ASSERT_EQ(entries(list()), (QStringList{"Morvane DVB-C Tuner", "Morvane DVB-S2 Tuner"}));
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-C Scan"});
    clickEntry(1);
    ASSERT_EQ(pageCaptions(tabs()), kUnicable);

    // Unplug the cable tuner: the bench entry goes absent.
    QJsonObject bench = readBench();
    QJsonArray tuners = bench.value(QStringLiteral("tuners")).toArray();
    QJsonObject leaving = tuners.at(0).toObject();
    leaving.insert(QStringLiteral("present"), false);
    tuners.replace(0, leaving);
    bench.insert(QStringLiteral("tuners"), tuners);
    writeBench(QJsonDocument(bench).toJson());

    refresh();
    EXPECT_EQ(entries(list()), QStringList{"Morvane DVB-S2 Tuner"});
    EXPECT_EQ(selectedRow(list()), 0);
    EXPECT_EQ(form.nDevItems(), 1);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    ASSERT_NE(form.deviceListData(0), nullptr);
    EXPECT_EQ(form.deviceListData(0)->devicename(), u"Morvane DVB-S2 Tuner");
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("1420"));
    EXPECT_EQ(scrBox()->currentText(), QStringLiteral("1"));
    EXPECT_FALSE(checkBox()->isChecked());
}

TEST_F(RefreshTest, RefreshSelectsTheFirstEntryAgain) {
    useBench("satellites.json");
    makeForm();
    clickEntry(3);
    ASSERT_EQ(pageCaptions(tabs()), QStringList{"DVB-T/T2 Scan"});
    refresh();
    EXPECT_EQ(selectedRow(list()), 0);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
}

// A single-selection list keeps one entry selected: a user cannot take the selection away
// with Ctrl and a click or Ctrl and Space, which would leave the window showing "Info" for
// every tuner until the next refresh.
TEST_F(RefreshTest, UserCannotDeselectTheSelectedEntry) {
    useBench("satellites.json");
    MCCForm& form = makeForm();
    ASSERT_EQ(selectedRow(list()), 0);

    QListWidgetItem* first = list()->item(0);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list()->visualItemRect(first).center());
    EXPECT_EQ(selectedRow(list()), 0);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(form.nDevItems(), 6);

    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(selectedRow(list()), 0);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);

    // Nor with a click below the last entry.
    const QRect last = list()->visualItemRect(list()->item(list()->count() - 1));
    ASSERT_LT(last.bottom() + 10, list()->viewport()->height());
    for (Qt::KeyboardModifier modifier : {Qt::NoModifier, Qt::ControlModifier}) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, modifier,
                          QPoint(last.center().x(), last.bottom() + 10));
        EXPECT_EQ(selectedRow(list()), 0);
        EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    }

    // Ctrl and a click on another entry selects that entry as a plain click does.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list()->visualItemRect(list()->item(2)).center());
    EXPECT_EQ(selectedRow(list()), 2);
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-C Scan"});
    clickEntry(0);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(form.nDevItems(), 6);
}

class PagesTest : public PanelTest {};

TEST_F(PagesTest, EachTunerTypeShowsExactlyItsPageFilledFromItsRecord) {
    useBench("satellites.json");
    makeForm();
    ASSERT_EQ(list()->count(), 6);

    // Supported and switched on: SCR 2 at 1210 MHz.
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(infoLabel()->text(), QStringLiteral("This device supports Unicable"));
    EXPECT_TRUE(checkBox()->isChecked());
    EXPECT_EQ(scrBox()->currentText(), QStringLiteral("2"));
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("1210"));

    // The switch cannot be set: not supported, not read; SCR and frequency still are.
    clickEntry(1);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(infoLabel()->text(), QStringLiteral("Unicable is not supported by this device"));
    EXPECT_FALSE(checkBox()->isChecked());
    EXPECT_EQ(scrBox()->currentText(), QStringLiteral("3"));
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("1318"));

    clickEntry(2);
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-C Scan"});
    clickEntry(3);
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-T/T2 Scan"});

    // All 32 bits of the frequency, unsigned.
    clickEntry(4);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(infoLabel()->text(), QStringLiteral("This device supports Unicable"));
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("4294967295"));
    EXPECT_EQ(scrBox()->currentText(), QStringLiteral("1"));
    EXPECT_FALSE(checkBox()->isChecked());

    // A driver without the extension: zero defaults.
    clickEntry(5);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
    EXPECT_EQ(infoLabel()->text(), QStringLiteral("Unicable is not supported by this device"));
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("0"));
    EXPECT_EQ(scrBox()->currentText(), QStringLiteral("0"));
    EXPECT_FALSE(checkBox()->isChecked());
}

TEST_F(PagesTest, NegativePositionShowsInfoAndKeepsItUntilTheNextRefresh) {
    useBench("satellites.json");
    MCCForm& form = makeForm();
    form.UpdateTabMenu(-1);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
    EXPECT_EQ(form.nDevItems(), 0);

    clickEntry(2);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
    clickEntry(0);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);

    refresh();
    EXPECT_EQ(form.nDevItems(), 6);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
}

TEST_F(PagesTest, PositionPastTheListShowsNoPageAndKeepsTheCount) {
    useBench("types_1_0_3.json");
    MCCForm& form = makeForm();
    ASSERT_EQ(form.nDevItems(), 2);
    form.UpdateTabMenu(2);
    EXPECT_EQ(tabs()->count(), 0);
    EXPECT_EQ(form.nDevItems(), 2);
    form.UpdateTabMenu(0);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
}

TEST_F(PagesTest, PositionsFromTwentyOnShowNoPageWithoutReadingPastTheTable) {
    useBench("twenty_one.json");
    MCCForm& form = makeForm();
    form.UpdateTabMenu(20);
    EXPECT_EQ(tabs()->count(), 0);
    EXPECT_EQ(form.nDevItems(), 21);
    form.UpdateTabMenu(21);
    EXPECT_EQ(tabs()->count(), 0);
    form.UpdateTabMenu(19);
    EXPECT_EQ(pageCaptions(tabs()), kUnicable);
}

// Records no bench can describe: a type code the window does not know, and missing names.
media_wchar* heapText(const char16_t* text) {
    const size_t length = std::char_traits<char16_t>::length(text);
    auto* copy = static_cast<media_wchar*>(std::calloc(length + 1, sizeof(media_wchar)));
    for (size_t i = 0; i < length; ++i)
        copy[i] = static_cast<media_wchar>(text[i]);
    return copy;
}

media_bda_device_list* heapRecord(const char16_t* name, const char16_t* path, int32_t type) {
    auto* record =
        static_cast<media_bda_device_list*>(std::calloc(1, sizeof(media_bda_device_list)));
    record->devicename = name ? heapText(name) : nullptr;
    record->devicepath = path ? heapText(path) : nullptr;
    record->devicetype = type;
    return record;
}

TEST_F(PagesTest, UnknownTypeShowsInfoAndMissingNamesBecomeEmpty) {
    MCCForm& form = makeForm(false);
    form.setEnumerator([] {
        return std::vector<media_bda_device_list*>{
            heapRecord(u"Morvane Future Tuner", u"\\\\?\\usb#future", 4),
            heapRecord(nullptr, nullptr, DEVICETYPE_DVBC),
            heapRecord(u"Morvane Odd Tuner", u"\\\\?\\usb#odd", -7),
            heapRecord(u"Morvane Bare Tuner", u"\\\\?\\usb#bare", DEVICETYPE_NONE),
        };
    });
    waitForTick();

    EXPECT_EQ(entries(list()),
              (QStringList{"Morvane Future Tuner", QString(), "Morvane Odd Tuner"}));
    EXPECT_EQ(form.nDevItems(), 3);
    EXPECT_EQ(pageCaptions(tabs()), kInfo) << "type 4 has no page of its own";
    ASSERT_NE(form.deviceListData(1), nullptr);
    EXPECT_TRUE(form.deviceListData(1)->devicename().empty());
    EXPECT_TRUE(form.deviceListData(1)->devicepath().empty());
    clickEntry(1);
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-C Scan"});
    clickEntry(2);
    EXPECT_EQ(pageCaptions(tabs()), kInfo);
    EXPECT_EQ(form.nDevItems(), 3);
}

} // namespace
} // namespace panel_test
