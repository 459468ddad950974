// The Unicable page's Save, driven as a user would: clicks and key presses on the real
// controls, the values read back from the bench file the simulated driver writes.
#include "panel_fixture.h"

#include "platform/standin.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace panel_test {
namespace {

using MorvaneControlCenter::DeviceListData;
using MorvaneControlCenter::MCCForm;

struct Unicable {
    qint64 enabled, scr, frequency;
    bool operator==(const Unicable&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Unicable& u) {
    return os << "{enabled " << u.enabled << ", scr " << u.scr << ", frequency " << u.frequency
              << "}";
}

struct MessageBoxCall {
    std::string caption, text;
};

class SaveTest : public PanelTest {
  protected:
    void SetUp() override {
        PanelTest::SetUp();
        standin::set_message_box_handler([this](const char* caption, const char* text, unsigned) {
            boxes_.push_back({caption, text});
            if (insideBox_)
                insideBox_();
            return 1; // OK
        });
        useBench("satellites.json");
        MCCForm& form = makeForm();
        form.setBadTextReporter([this](const QString& message) { complaints_ << message; });
        ASSERT_EQ(list()->count(), 6);
    }

    // The driver's values of a tuner given by the "unicable" shorthand, as the file holds them.
    Unicable driver(const char* id) const {
        const QJsonObject unicable =
            benchTuner(QString::fromLatin1(id)).value(QStringLiteral("unicable")).toObject();
        return {unicable.value(QStringLiteral("enabled")).toInteger(-99),
                unicable.value(QStringLiteral("scr")).toInteger(-99),
                unicable.value(QStringLiteral("frequency")).toInteger(-99)};
    }

    Unicable record(int slot) const {
        const DeviceListData* data = form_->deviceListData(slot);
        if (!data)
            return {-99, -99, -99};
        return {data->unicable_enabled(), data->unicable_satcr(), data->unicable_frequency()};
    }

    // Replaces what a box holds by typing: select all, delete, type.
    static void typeInto(QComboBox* box, const QString& text) {
        QLineEdit* edit = box->lineEdit();
        ASSERT_NE(edit, nullptr);
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        ASSERT_EQ(box->currentText(), text);
    }

    void pressSave() { QTest::mouseClick(saveButton(), Qt::LeftButton); }

    // Property writes that reached the driver, from the trace.
    int setCalls() const {
        int calls = 0;
        for (const QByteArray& line : trace().split('\n'))
            calls += line.startsWith("Set ") ? 1 : 0;
        return calls;
    }

    std::vector<MessageBoxCall> boxes_;
    std::function<void()> insideBox_;
    QStringList complaints_;
};

TEST_F(SaveTest, PageValuesReachTheRecordAndTheDriver) {
    ASSERT_EQ(driver("sat"), (Unicable{1, 2, 1210}));
    QTest::mouseClick(checkBox(), Qt::LeftButton); // switch Unicable off
    ASSERT_FALSE(checkBox()->isChecked());
    typeInto(frequencyBox(), QStringLiteral("1420"));
    typeInto(scrBox(), QStringLiteral("3"));
    pressSave();

    EXPECT_EQ(driver("sat"), (Unicable{0, 3, 1420}));
    EXPECT_EQ(record(0), (Unicable{0, 3, 1420}));
    EXPECT_TRUE(trace().contains("Set 3 0 -> 0x00000000")) << trace().toStdString();
    EXPECT_TRUE(trace().contains("Set 5 1420 -> 0x00000000"));
    EXPECT_TRUE(trace().contains("Set 4 3 -> 0x00000000"));
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(complaints_.isEmpty());
    EXPECT_EQ(standin::live_objects(), 0);

    // The other tuners' drivers are untouched, and the page is still usable.
    EXPECT_EQ(driver("wide"), (Unicable{-99, -99, -99})) << "its values live in \"extension\"";
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_TRUE(list()->isEnabled());

    // Switched on again, the unchanged boxes are sent as they are.
    QTest::mouseClick(checkBox(), Qt::LeftButton);
    pressSave();
    EXPECT_EQ(driver("sat"), (Unicable{1, 3, 1420}));
    EXPECT_EQ(standin::live_objects(), 0);
}

// A refresh while the user types refills the box; the focus stays in it with the new text
// selected, so the next keys replace the number instead of joining it.
TEST_F(SaveTest, KeysTypedAfterARefreshReplaceTheRefilledNumber) {
    typeInto(frequencyBox(), QStringLiteral("14"));
    refresh();
    ASSERT_EQ(frequencyBox()->currentText(), QStringLiteral("1210"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("20"));
    EXPECT_EQ(QApplication::focusWidget(), frequencyBox());
    pressSave();
    EXPECT_EQ(driver("sat"), (Unicable{1, 2, 20}));
}

TEST_F(SaveTest, EmptyBoxesSendZeroAndKeepTheRecordsValues) {
    typeInto(frequencyBox(), QString());
    typeInto(scrBox(), QString());
    pressSave();
    EXPECT_EQ(driver("sat"), (Unicable{1, 0, 0}));
    EXPECT_EQ(record(0), (Unicable{1, 2, 1210}));
    EXPECT_TRUE(complaints_.isEmpty());

    // Shown again, the page holds the record's values.
    clickEntry(2);
    clickEntry(0);
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("1210"));
    EXPECT_EQ(scrBox()->currentText(), QStringLiteral("2"));
    EXPECT_EQ(standin::live_objects(), 0);
}

// Saved from the keyboard: Tab from the frequency box to Save, then Space.
TEST_F(SaveTest, AnyScrAndASpacedSignedFrequencyAreSentAsNumbers) {
    QApplication::setActiveWindow(form_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    typeInto(scrBox(), QStringLiteral("7"));
    typeInto(frequencyBox(), QStringLiteral(" +1210 "));
    ASSERT_TRUE(frequencyBox()->lineEdit()->hasFocus());
    QTest::keyClick(frequencyBox()->lineEdit(), Qt::Key_Tab);
    ASSERT_TRUE(saveButton()->hasFocus());
    // Save keeps the focus while it runs: a screen reader announces every control the focus
    // passes through.
    QStringList focusTakenBy;
    const QMetaObject::Connection watch =
        QObject::connect(qApp, &QApplication::focusChanged, [&](QWidget*, QWidget* now) {
            focusTakenBy << (now ? now->objectName() : QStringLiteral("nothing"));
        });
    QTest::keyClick(saveButton(), Qt::Key_Space);
    QObject::disconnect(watch);

    EXPECT_EQ(driver("sat"), (Unicable{1, 7, 1210}));
    EXPECT_EQ(record(0), (Unicable{1, 7, 1210}));
    EXPECT_TRUE(complaints_.isEmpty());
    EXPECT_TRUE(saveButton()->hasFocus()) << "the focus is back on Save";
    EXPECT_EQ(focusTakenBy, QStringList()) << "the focus left Save during Save";
}

// A focused Save button is pressed by Enter and by the keypad's Enter as by Space: one Save
// per key press, and the focus stays on the button.
TEST_F(SaveTest, EnterOnTheFocusedSaveButtonSaves) {
    QApplication::setActiveWindow(form_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    const struct {
        Qt::KeyboardModifiers modifiers;
        const char* frequency;
        qint64 expected;
    } presses[] = {{Qt::NoModifier, "1420", 1420}, {Qt::KeypadModifier, "1318", 1318}};
    int sets = 0;
    for (const auto& press : presses) {
        SCOPED_TRACE(press.frequency);
        typeInto(frequencyBox(), QString::fromLatin1(press.frequency));
        QTest::keyClick(frequencyBox()->lineEdit(), Qt::Key_Tab);
        ASSERT_TRUE(saveButton()->hasFocus());
        QTest::keyClick(saveButton(),
                        press.modifiers == Qt::KeypadModifier ? Qt::Key_Enter : Qt::Key_Return,
                        press.modifiers);
        EXPECT_EQ(driver("sat"), (Unicable{1, 2, press.expected}));
        EXPECT_EQ(record(0), (Unicable{1, 2, press.expected}));
        EXPECT_EQ(setCalls(), sets + 3) << "one Save writes the three properties once";
        sets = setCalls();
        EXPECT_TRUE(saveButton()->hasFocus());
    }
    EXPECT_TRUE(complaints_.isEmpty());
    EXPECT_EQ(standin::live_objects(), 0);
}

TEST_F(SaveTest, TextThatIsNotAWholeNumberIsReportedAndChangesNothing) {
    const QByteArray benchBefore = [&] {
        QFile bench(benchPath());
        return bench.open(QIODevice::ReadOnly) ? bench.readAll() : QByteArray();
    }();
    QTest::mouseClick(checkBox(), Qt::LeftButton); // would switch Unicable off
    typeInto(scrBox(), QStringLiteral("1"));

    const QStringList rejected = {"1210 MHz", "1.210", "1,210", "0x4BA", "12a0", "2147483648"};
    for (const QString& text : rejected) {
        SCOPED_TRACE(text.toStdString());
        complaints_.clear();
        typeInto(frequencyBox(), text);
        pressSave();
        EXPECT_EQ(
            complaints_,
            QStringList{QStringLiteral(
                            "Frequency \"%1\" is not a whole number from -2147483648 to 2147483647")
                            .arg(text)});
    }

    // A good frequency does not let a bad SCR through, and is not stored either.
    complaints_.clear();
    typeInto(frequencyBox(), QStringLiteral("1420"));
    typeInto(scrBox(), QStringLiteral("x"));
    pressSave();
    EXPECT_EQ(complaints_,
              QStringList{"SCR \"x\" is not a whole number from -2147483648 to 2147483647"});

    // Both bad: both named.
    complaints_.clear();
    typeInto(frequencyBox(), QStringLiteral("12a0"));
    pressSave();
    EXPECT_EQ(
        complaints_,
        QStringList{"Frequency \"12a0\" is not a whole number from -2147483648 to 2147483647\n"
                    "SCR \"x\" is not a whole number from -2147483648 to 2147483647"});

    EXPECT_EQ(record(0), (Unicable{1, 2, 1210}));
    EXPECT_EQ(setCalls(), 0) << trace().toStdString();
    QFile bench(benchPath());
    ASSERT_TRUE(bench.open(QIODevice::ReadOnly));
    EXPECT_EQ(bench.readAll(), benchBefore);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(SaveTest, MinusOneIsStoredAsTheUnsignedFrequencyAndShownAsTenDigits) {
    typeInto(frequencyBox(), QStringLiteral("-1"));
    pressSave();
    EXPECT_TRUE(trace().contains("Set 5 -1 -> 0x00000000")) << trace().toStdString();
    EXPECT_EQ(driver("sat").frequency & 0xffffffff, 0xffffffff);
    ASSERT_NE(form_->deviceListData(0), nullptr);
    EXPECT_EQ(form_->deviceListData(0)->unicable_frequency(), 4294967295u);

    // The next fill, from the record and then from the driver.
    clickEntry(1);
    clickEntry(0);
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("4294967295"));
    refresh();
    EXPECT_EQ(frequencyBox()->currentText(), QStringLiteral("4294967295"));
}

TEST_F(SaveTest, DriverWithoutTheExtensionShowsThePlatformsMessageAndWritesNothing) {
    clickEntry(5);
    ASSERT_EQ(pageCaptions(tabs()), QStringList{"Unicable Configuration"});
    QTest::mouseClick(checkBox(), Qt::LeftButton);
    typeInto(frequencyBox(), QStringLiteral("1210"));
    pressSave();

    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Unicable not Supported!");
    EXPECT_EQ(boxes_[0].text, "UNICABLE not SUPPORTED!");
    EXPECT_EQ(setCalls(), 0);
    EXPECT_FALSE(benchTuner(QStringLiteral("sat_plain")).contains(QStringLiteral("unicable")));
    EXPECT_FALSE(benchTuner(QStringLiteral("sat_plain")).contains(QStringLiteral("extension")));
    // The window's copy holds what was saved.
    EXPECT_EQ(record(5), (Unicable{1, 0, 1210}));
    EXPECT_EQ(standin::live_objects(), 0);
}

// The apply's message box runs a nested event loop: the window stays busy until Save returns.
TEST_F(SaveTest, WhileTheApplyRunsRefreshIsHeldAndSaveAndSelectionWait) {
    clickEntry(5);
    StdoutCapture out;
    int enumerationsInsideBox = -1;
    bool listEnabledInsideBox = true, saveEnabledInsideBox = true;
    int selectedInsideBox = -2;
    insideBox_ = [&] {
        listEnabledInsideBox = list()->isEnabled();
        saveEnabledInsideBox = saveButton()->isEnabled();
        const int before = out.localDevicesLines(); // the apply's own line
        form_->updateDevicelistMember();            // a device change during the box
        QTest::qWait(800);                          // the refresh falls due here
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        saveButton()->click();
        clickEntry(0);
        const QList<QListWidgetItem*> selected = list()->selectedItems();
        selectedInsideBox = selected.isEmpty() ? -1 : list()->row(selected.first());
        enumerationsInsideBox = out.localDevicesLines() - before;
    };
    pressSave();

    EXPECT_FALSE(listEnabledInsideBox);
    EXPECT_FALSE(saveEnabledInsideBox);
    EXPECT_EQ(enumerationsInsideBox, 0) << "the refresh waits for the apply";
    EXPECT_EQ(selectedInsideBox, 5);
    EXPECT_EQ(boxes_.size(), 1u) << "no second Save";

    // After Save: the held refresh has run, once, and the window takes input again.
    EXPECT_EQ(out.localDevicesLines(), 2) << out.text().toStdString();
    EXPECT_FALSE(timer()->isActive());
    const QList<QListWidgetItem*> selected = list()->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(list()->row(selected.first()), 0);
    EXPECT_TRUE(list()->isEnabled());
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_EQ(standin::live_objects(), 0);
}

// The user closes the window while the apply operation's box is still open: the refresh that
// fell due meanwhile does not run for a window that is gone.
TEST_F(SaveTest, HeldRefreshDoesNotRunOnceTheWindowIsClosed) {
    clickEntry(5);
    StdoutCapture out;
    insideBox_ = [&] {
        form_->updateDevicelistMember();
        QTest::qWait(800); // the refresh falls due and is held
        form_->close();
    };
    pressSave();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(out.localDevicesLines(), 1) << "the apply's own line only";
    EXPECT_EQ(standin::live_objects(), 0);
}

// Two tuners that report no device path cannot be told apart by the apply: Save on either
// says so and calls nothing, whatever the page holds.
TEST_F(SaveTest, TunerWithoutADevicePathIsRefusedWithAMessageAndNothingIsCalled) {
    writeBench(R"({"tuners": [
        {"id": "a", "friendly_name": "Morvane DVB-S2 Tuner A", "standard": "dvb-s", "link": "usb-1",
         "unicable": {"enabled": 1, "scr": 2, "frequency": 1210}},
        {"id": "b", "friendly_name": "Morvane DVB-S2 Tuner B", "standard": "dvb-s", "link": "usb-2",
         "unicable": {"enabled": 0, "scr": 1, "frequency": 1318}}],
      "captures": [
        {"id": "cap1", "friendly_name": "Morvane DVB-S2 Capture", "device_path": "cap-1", "link": "usb-1"},
        {"id": "cap2", "friendly_name": "Morvane DVB-S2 Capture", "device_path": "cap-2", "link": "usb-2"}]})");
    refresh();
    ASSERT_EQ(list()->count(), 2);
    ASSERT_NE(form_->deviceListData(1), nullptr);
    ASSERT_TRUE(form_->deviceListData(1)->devicepath().empty());
    const QByteArray benchBefore = [&] {
        QFile bench(benchPath());
        return bench.open(QIODevice::ReadOnly) ? bench.readAll() : QByteArray();
    }();

    clickEntry(1);
    ASSERT_EQ(pageCaptions(tabs()), QStringList{"Unicable Configuration"});
    QTest::mouseClick(checkBox(), Qt::LeftButton);
    typeInto(frequencyBox(), QStringLiteral("1420"));
    StdoutCapture out;
    pressSave();

    EXPECT_EQ(complaints_,
              QStringList{"This tuner has no device path; its settings cannot be saved."});
    EXPECT_EQ(out.localDevicesLines(), 0) << "no apply";
    EXPECT_EQ(setCalls(), 0);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(record(0), (Unicable{1, 2, 1210}));
    EXPECT_EQ(record(1), (Unicable{0, 1, 1318}));
    QFile bench(benchPath());
    ASSERT_TRUE(bench.open(QIODevice::ReadOnly));
    EXPECT_EQ(bench.readAll(), benchBefore);
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_TRUE(list()->isEnabled());
}

TEST_F(SaveTest, SaveWithoutARecordBehindTheSelectionDoesNothing) {
    // Nothing selected.
    list()->clearSelection();
    ASSERT_TRUE(list()->selectedItems().isEmpty());
    saveButton()->click();
    EXPECT_EQ(setCalls(), 0);

    // Entry 21 of 21: listed, but no record.
    useBench("twenty_one.json");
    refresh();
    ASSERT_EQ(list()->count(), 21);
    list()->scrollToItem(list()->item(20));
    clickEntry(20);
    StdoutCapture out;
    saveButton()->click();
    EXPECT_EQ(out.localDevicesLines(), 0) << "no apply";
    EXPECT_EQ(setCalls(), 0);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(complaints_.isEmpty());
}

} // namespace
} // namespace panel_test
