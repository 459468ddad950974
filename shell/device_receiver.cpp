#ifndef _WIN32

#include "shell/device_receiver.h"

#include "platform/standin.h"
#include "shell/device_change.h"

#include <QSocketNotifier>

DeviceChangeReceiver::DeviceChangeReceiver(QObject* parent) : QObject(parent) {}

DeviceChangeReceiver::~DeviceChangeReceiver() {
    delete notifier_;
    if (watching_)
        standin::stop_watching_device_changes();
}

bool DeviceChangeReceiver::start() {
    // cb is read when the event arrives, not now: events before start-up stores the
    // callback find it null and are dropped.
    watching_ =
        standin::watch_device_changes([] { dispatch_device_change(DBT_DEVNODES_CHANGED, cb); });
    if (!watching_)
        return false;

    const int fd = standin::device_change_fd();
    if (fd >= 0) { // -1: no bench file, nothing can change
        notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, this,
                         [] { standin::dispatch_device_changes(); });
    }
    return true;
}

#endif // _WIN32
