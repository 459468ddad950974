#ifndef _WIN32

#include "shell/signal_close.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The self-pipe: [0] is read by the event loop, [1] written by the signal handler.
int signal_pipe[2] = {-1, -1};

void on_signal(int signal_number) {
    const int saved_errno = errno;
    const char byte = static_cast<char>(signal_number);
    // write() is async-signal-safe; a full pipe already holds a pending close.
    [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
    errno = saved_errno;
}

} // namespace

CloseOnSignal::CloseOnSignal(QWidget* window, QObject* parent) : QObject(parent), window_(window) {}

CloseOnSignal::~CloseOnSignal() {
    if (notifier_ == nullptr)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    delete notifier_;
    close(signal_pipe[0]);
    close(signal_pipe[1]);
    signal_pipe[0] = signal_pipe[1] = -1;
}

bool CloseOnSignal::install() {
    if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { closeWindow(); });

    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

void CloseOnSignal::closeWindow() {
    char bytes[64];
    while (read(signal_pipe[0], bytes, sizeof(bytes)) > 0) {
    }
    // A user ends an open message box before closing the window; its nested loop has to
    // return before the main loop can. Such a box may hold the other windows (modal) or not
    // (ownerless): every other window on screen is closed first.
    // (Closing one may delete another, hence the guarded pointers.)
    QList<QPointer<QWidget>> others;
    for (QWidget* other : QApplication::topLevelWidgets())
        if (other != window_ && other->isVisible())
            others.append(other);
    for (const QPointer<QWidget>& other : others)
        if (other && other->isVisible())
            other->close();
    window_->close();
}

#endif // _WIN32
