// Shared set-up of the window tests: a fresh bench in a temporary directory for every test,
// the stand-in reset around it, the window's controls found by their object names, and a
// capture of the enumeration's log on standard output.
#pragma once

#include "panel/MCCForm.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '{';
    for (qsizetype i = 0; i < texts.size(); ++i)
        *os << (i ? ", \"" : "\"") << texts[i].toStdString() << '"';
    *os << '}';
}

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTimer;

namespace panel_test {

// Redirects the process's standard output (file descriptor 1) into a file while it lives,
// so the enumeration's log can be read back.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written so far.
    QByteArray text() const;
    // Number of enumerations (and applies) run so far: their "Local Devices:" lines.
    int localDevicesLines() const;

  private:
    int saved_ = -1;
    QString path_;
    std::unique_ptr<QTemporaryDir> dir_;
};

// The captions of the pages the tab control holds, in order.
QStringList pageCaptions(const QTabWidget* tabs);

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Copies tests/panel/benches/NAME into the test's directory and puts the copy in force.
    void useBench(const char* name);
    // Puts a bench with this content in force.
    void writeBench(const QByteArray& json);
    QString benchPath() const { return dir_->filePath(QStringLiteral("bench.json")); }
    QJsonObject readBench() const;
    // The bench entry of the tuner with this id, as the file holds it now.
    QJsonObject benchTuner(const QString& id) const;
    QByteArray trace() const;

    // Builds and shows the window (its constructor asks for the first refresh) and, with
    // waitForRefresh, waits until that refresh has run.
    MorvaneControlCenter::MCCForm& makeForm(bool waitForRefresh = true);
    // Asks for a refresh as a device change would and waits until it has run.
    void refresh();
    // Waits until the refresh timer has fired.
    void waitForTick();

    QListWidget* list() const;
    QTabWidget* tabs() const;
    QLabel* infoLabel() const;
    QComboBox* frequencyBox() const;
    QComboBox* scrBox() const;
    QCheckBox* checkBox() const;
    QPushButton* saveButton() const;
    QTimer* timer() const;

    // Selects list entry row as a user would, with a mouse click.
    void clickEntry(int row);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<MorvaneControlCenter::MCCForm> form_;
};

} // namespace panel_test
