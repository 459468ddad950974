#include "panel_fixture.h"

#include "platform/standin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace panel_test {

StdoutCapture::StdoutCapture() : dir_(std::make_unique<QTemporaryDir>()) {
    path_ = dir_->filePath(QStringLiteral("stdout.txt"));
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    if (saved_ >= 0) {
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
}

QByteArray StdoutCapture::text() const {
    std::fflush(stdout);
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int StdoutCapture::localDevicesLines() const {
    return static_cast<int>(text().count("Local Devices:\n"));
}

QStringList pageCaptions(const QTabWidget* tabs) {
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions << tabs->tabText(i);
    return captions;
}

void PanelTest::SetUp() {
    standin::reset();
    dir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dir_->isValid());
    qunsetenv("MORVANE_BENCH");
    qputenv("MORVANE_TRACE", QFile::encodeName(dir_->filePath(QStringLiteral("trace.txt"))));
}

void PanelTest::TearDown() {
    form_.reset();
    standin::reset();
    qunsetenv("MORVANE_BENCH");
    qunsetenv("MORVANE_TRACE");
}

void PanelTest::useBench(const char* name) {
    QFile source(QStringLiteral(PANEL_BENCH_DIR "/") + QString::fromUtf8(name));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << name;
    writeBench(source.readAll());
}

void PanelTest::writeBench(const QByteArray& json) {
    QFile bench(benchPath());
    ASSERT_TRUE(bench.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bench.write(json);
    bench.close();
    qputenv("MORVANE_BENCH", QFile::encodeName(benchPath()));
}

QJsonObject PanelTest::readBench() const {
    QFile bench(benchPath());
    if (!bench.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(bench.readAll()).object();
}

QJsonObject PanelTest::benchTuner(const QString& id) const {
    for (const QJsonValue& tuner : readBench().value(QStringLiteral("tuners")).toArray())
        if (tuner.toObject().value(QStringLiteral("id")).toString() == id)
            return tuner.toObject();
    return {};
}

QByteArray PanelTest::trace() const {
    QFile file(dir_->filePath(QStringLiteral("trace.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

MorvaneControlCenter::MCCForm& PanelTest::makeForm(bool waitForRefresh) {
    form_ = std::make_unique<MorvaneControlCenter::MCCForm>();
    form_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    if (waitForRefresh)
        waitForTick();
    return *form_;
}

void PanelTest::refresh() {
    form_->updateDevicelistMember();
    waitForTick();
}

void PanelTest::waitForTick() {
    QTimer* refreshTimer = timer();
    ASSERT_NE(refreshTimer, nullptr);
    // The tick handler runs inside the timer event, so once the timer has stopped the
    // refresh is complete.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !refreshTimer->isActive(); }, 5000));
}

QListWidget* PanelTest::list() const {
    return form_->findChild<QListWidget*>(QStringLiteral("deviceListBox"));
}
QTabWidget* PanelTest::tabs() const {
    return form_->findChild<QTabWidget*>(QStringLiteral("devicetab"));
}
QLabel* PanelTest::infoLabel() const {
    return form_->findChild<QLabel*>(QStringLiteral("unicable_info_label"));
}
QComboBox* PanelTest::frequencyBox() const {
    return form_->findChild<QComboBox*>(QStringLiteral("unicable_frequency"));
}
QComboBox* PanelTest::scrBox() const {
    return form_->findChild<QComboBox*>(QStringLiteral("unicable_scr"));
}
QCheckBox* PanelTest::checkBox() const {
    return form_->findChild<QCheckBox*>(QStringLiteral("unicable_checkbox"));
}
QPushButton* PanelTest::saveButton() const {
    return form_->findChild<QPushButton*>(QStringLiteral("unicable_save"));
}
QTimer* PanelTest::timer() const {
    return form_->findChild<QTimer*>(QStringLiteral("timer1"));
}

void PanelTest::clickEntry(int row) {
    QListWidget* devices = list();
    QListWidgetItem* item = devices->item(row);
    ASSERT_NE(item, nullptr) << "no list entry " << row;
    const QRect rect = devices->visualItemRect(item);
    QTest::mouseClick(devices->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

} // namespace panel_test
