// SIGINT and SIGTERM close the main window as the user would, so the message loop ends
// normally and the process exits with code 0.
#pragma once

#ifndef _WIN32

#include <QObject>

class QSocketNotifier;
class QWidget;

class CloseOnSignal : public QObject {
  public:
    // window is the main window to close; it must outlive this object.
    explicit CloseOnSignal(QWidget* window, QObject* parent = nullptr);
    ~CloseOnSignal() override;

    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

    // Catches SIGINT and SIGTERM from now on. A signal only writes a byte into a pipe; the
    // running event loop reads it and closes the window. False when the pipe cannot be made.
    // One instance per process.
    bool install();

  private:
    void closeWindow();

    QWidget* window_;
    QSocketNotifier* notifier_ = nullptr;
};

#endif // _WIN32
