#include "shell/main_window.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

// Ends the loop once the watched window has been closed. Qt itself quits only when the last
// window is gone, which an open message box postpones.
class QuitWhenClosed : public QObject {
  public:
    explicit QuitWhenClosed(QWidget* window) : window_(window) {
        window_->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Close) {
            // The window may still refuse to close: look again once the close has run.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!window_ || !window_->isVisible())
                        QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QPointer<QWidget> window_;
};

} // namespace

int run_main_window(QWidget& window) {
    QuitWhenClosed quit_when_closed(&window);
    window.show();
    return QApplication::exec();
}
