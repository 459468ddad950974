// The Linux pieces of start-up in one process, on Qt's offscreen platform: the receiver of the
// stand-in's device-change events, the message box, and SIGINT/SIGTERM closing the window.
#include "platform/standin.h"
#include "platform/win32.h"
#include "shell/device_change.h"
#include "shell/device_receiver.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/signal_close.h"
#include "temp_bench.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

int refreshes = 0;
int32_t count_refresh() {
    ++refreshes;
    return 0;
}

// Lets the event loop run for a while, so that whatever is due gets delivered.
void run_events_for(int milliseconds) {
    QTest::qWait(milliseconds);
}

class Receiver : public ::testing::Test {
  protected:
    void SetUp() override {
        refreshes = 0;
        cb = nullptr;
        unsetenv("MORVANE_FAULT_DEVICE_WATCH");
        unsetenv("MORVANE_TRACE");
        bench_.write_bench(satellite_bench());
        setenv("MORVANE_BENCH", bench_.bench().c_str(), 1);
        standin::reset();
    }
    void TearDown() override {
        cb = nullptr;
        unsetenv("MORVANE_BENCH");
        unsetenv("MORVANE_FAULT_DEVICE_WATCH");
        standin::reset();
    }

    TempBench bench_;
};

TEST_F(Receiver, EachBenchChangeRefreshesOnceOnTheEventLoop) {
    DeviceChangeReceiver receiver;
    ASSERT_TRUE(receiver.start());
    cb = count_refresh;

    bench_.write_bench(satellite_bench(" A"));
    EXPECT_EQ(refreshes, 0) << "delivered by the event loop, not from inside the edit";
    EXPECT_TRUE(QTest::qWaitFor([] { return refreshes == 1; }, 5000));
    run_events_for(200);
    EXPECT_EQ(refreshes, 1);

    bench_.write_bench(satellite_bench(" B"));
    EXPECT_TRUE(QTest::qWaitFor([] { return refreshes == 2; }, 5000));
    run_events_for(200);
    EXPECT_EQ(refreshes, 2);

    // Rewriting the same content is no device change.
    bench_.write_bench(satellite_bench(" B"));
    run_events_for(300);
    EXPECT_EQ(refreshes, 2);
}

TEST_F(Receiver, EventsBeforeTheCallbackIsStoredAreDropped) {
    DeviceChangeReceiver receiver;
    ASSERT_TRUE(receiver.start());

    bench_.write_bench(satellite_bench(" early"));
    run_events_for(400);
    cb = count_refresh;
    run_events_for(400);
    EXPECT_EQ(refreshes, 0) << "a dropped event is not delivered later";

    bench_.write_bench(satellite_bench(" late"));
    EXPECT_TRUE(QTest::qWaitFor([] { return refreshes == 1; }, 5000));
}

TEST_F(Receiver, OtherFilesInTheBenchDirectoryAreNoDeviceChange) {
    DeviceChangeReceiver receiver;
    ASSERT_TRUE(receiver.start());
    cb = count_refresh;
    bench_.write(bench_.path("notes.txt"), "unrelated");
    run_events_for(400);
    EXPECT_EQ(refreshes, 0);
}

TEST_F(Receiver, StoppingTheReceiverStopsTheEvents) {
    {
        DeviceChangeReceiver receiver;
        ASSERT_TRUE(receiver.start());
        cb = count_refresh;
    }
    bench_.write_bench(satellite_bench(" after"));
    run_events_for(400);
    EXPECT_EQ(refreshes, 0);
}

TEST_F(Receiver, WatchThatCannotBeSetUpIsReported) {
    setenv("MORVANE_FAULT_DEVICE_WATCH", "1", 1);
    DeviceChangeReceiver receiver;
    EXPECT_FALSE(receiver.start());
}

TEST_F(Receiver, WithoutABenchThereIsNothingToWatch) {
    unsetenv("MORVANE_BENCH");
    standin::reset();
    DeviceChangeReceiver receiver;
    EXPECT_TRUE(receiver.start());
    cb = count_refresh;
    run_events_for(200);
    EXPECT_EQ(refreshes, 0);
}

// Finds the open message box once the nested loop shows it, records what it shows and
// presses its button as a user would.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    int buttons = 0;
    bool ownerless = false;
    bool modal = false;
};

// The message box on screen, if any.
QMessageBox* shown_message_box() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

void press_ok_when_shown(SeenBox& seen) {
    QTimer::singleShot(50, [&seen] {
        QMessageBox* box = shown_message_box();
        if (box == nullptr)
            return;
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.buttons = static_cast<int>(box->buttons().size());
        seen.ownerless = box->parentWidget() == nullptr;
        seen.modal = box->isModal();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            QTest::mouseClick(ok, Qt::LeftButton);
    });
}

TEST(MessageBox, ShowsAnOwnerlessBoxWithCaptionTextAndOneOkButton) {
    SeenBox seen;
    press_ok_when_shown(seen);
    EXPECT_EQ(show_message_box("Unicable not Supported!", "UNICABLE not SUPPORTED!", MB_OK), IDOK);
    ASSERT_TRUE(seen.seen) << "no message box was shown";
    EXPECT_EQ(seen.title, "Unicable not Supported!");
    EXPECT_EQ(seen.text, "UNICABLE not SUPPORTED!");
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.ownerless);
    EXPECT_FALSE(seen.modal) << "it holds no other window";
    EXPECT_EQ(shown_message_box(), nullptr);
}

// The box has no owner: while it waits for OK, the other windows of the program still take
// the user's clicks, as they do behind the platform's message box without an owner window.
TEST(MessageBox, TheOtherWindowsStayUsableBehindIt) {
    QWidget window;
    window.resize(200, 100);
    QPushButton button(QStringLiteral("Press"), &window);
    button.setGeometry(10, 10, 100, 30);
    int presses = 0;
    QObject::connect(&button, &QPushButton::clicked, [&presses] { ++presses; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    SeenBox seen;
    bool blocked = true;
    QTimer::singleShot(50, [&] {
        blocked = QApplication::activeModalWidget() != nullptr;
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          button.geometry().center());
        press_ok_when_shown(seen);
    });
    EXPECT_EQ(show_message_box("Unicable not Supported!", "UNICABLE not SUPPORTED!", MB_OK), IDOK);
    EXPECT_TRUE(seen.seen);
    EXPECT_FALSE(blocked) << "the box holds no other window";
    EXPECT_EQ(presses, 1) << "a click on the other window reaches it while the box is shown";
}

TEST(MessageBox, ThePlatformsMessageBoxGoesToIt) {
    TempBench dir;
    setenv("MORVANE_TRACE", dir.trace().c_str(), 1);
    standin::reset();
    install_message_box_handler();

    SeenBox seen;
    press_ok_when_shown(seen);
    EXPECT_EQ(MessageBoxA(nullptr, "UNICABLE not SUPPORTED!", "Unicable not Supported!", MB_OK),
              IDOK);
    EXPECT_TRUE(seen.seen);
    EXPECT_EQ(seen.title, "Unicable not Supported!");
    EXPECT_EQ(TempBench::read(dir.trace()),
              "MessageBox \"Unicable not Supported!\" \"UNICABLE not SUPPORTED!\"\n");
    unsetenv("MORVANE_TRACE");
    standin::reset();
}

// Closing the main window ends the message loop, as the user expects, even while the apply
// operation's ownerless message box is still waiting for OK: the box goes with it.
TEST(MainWindow, ClosingItEndsTheLoopAndAnOpenMessageBoxWithIt) {
    QWidget window;
    bool box_returned = false;
    QTimer::singleShot(50, [&] {
        QTimer::singleShot(50, [&] { window.close(); }); // the user closes the main window
        show_message_box("Unicable not Supported!", "UNICABLE not SUPPORTED!", MB_OK);
        box_returned = true;
    });
    QTimer stuck; // ends the loop with another code if closing does not
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    stuck.start(5000);

    EXPECT_EQ(run_main_window(window), 0);
    EXPECT_TRUE(box_returned);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(shown_message_box(), nullptr) << "the box did not outlive the main window";
}

TEST(MainWindow, ClosingItWithoutAnyOtherWindowEndsTheLoop) {
    QWidget window;
    QTimer::singleShot(50, [&] {
        EXPECT_TRUE(window.isVisible()) << "shown by the loop's start";
        window.close();
    });
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    stuck.start(5000);
    EXPECT_EQ(run_main_window(window), 0);
}

TEST(CloseOnSignal, SigtermAndSigintCloseTheWindowFromTheEventLoop) {
    for (int signal_number : {SIGTERM, SIGINT}) {
        QWidget window;
        window.show();
        CloseOnSignal closer(&window);
        ASSERT_TRUE(closer.install());

        raise(signal_number); // the process lives on: the handler only notes the signal
        EXPECT_TRUE(window.isVisible()) << "closed from the event loop, not the handler";
        EXPECT_TRUE(QTest::qWaitFor([&window] { return !window.isVisible(); }, 5000))
            << "signal " << signal_number;
    }
}

TEST(CloseOnSignal, AnOpenMessageBoxIsDismissedFirst) {
    QWidget window;
    window.show();
    CloseOnSignal closer(&window);
    ASSERT_TRUE(closer.install());

    bool box_was_open = false;
    QTimer::singleShot(50, [&box_was_open] {
        box_was_open = shown_message_box() != nullptr;
        raise(SIGTERM);
    });
    EXPECT_EQ(show_message_box("Caption", "Text", MB_OK), IDOK);
    EXPECT_TRUE(box_was_open);
    EXPECT_TRUE(QTest::qWaitFor([&window] { return !window.isVisible(); }, 5000));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Closing the last window of a test must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
