#ifndef _WIN32

#include "shell/message_box.h"

#include "platform/standin.h"
#include "platform/win32.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QString>

int show_message_box(const char* caption, const char* text, unsigned /*type: always MB_OK*/) {
    // No parent and not modal: like the platform's box without an owner window, it holds no
    // other window, and its own event loop keeps serving the thread until it is dismissed.
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption ? caption : ""),
                    QString::fromUtf8(text ? text : ""), QMessageBox::Ok);
    box.setWindowModality(Qt::NonModal);
    QEventLoop wait;
    QObject::connect(&box, &QDialog::finished, &wait, &QEventLoop::quit);
    box.show();
    // Also ends when the application quits while the box is shown.
    wait.exec(QEventLoop::DialogExec);
    return IDOK;
}

void install_message_box_handler() {
    standin::set_message_box_handler(&show_message_box);
}

#endif // _WIN32
