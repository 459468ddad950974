// The Linux receiver of device-change events. The stand-in platform reports every change of
// the bench file made by someone else as "device nodes changed"; the receiver turns each into
// DBT_DEVNODES_CHANGED through the same dispatch as the Windows notification window, on the
// user-interface thread, for the refresh callback held in cb.
#pragma once

#ifndef _WIN32

#include <QObject>

class QSocketNotifier;

class DeviceChangeReceiver : public QObject {
  public:
    explicit DeviceChangeReceiver(QObject* parent = nullptr);
    ~DeviceChangeReceiver() override;

    DeviceChangeReceiver(const DeviceChangeReceiver&) = delete;
    DeviceChangeReceiver& operator=(const DeviceChangeReceiver&) = delete;

    // Sets up the watch. False when it cannot be set up. Events are taken from the running
    // event loop; each one calls the callback held in cb at that moment, and is dropped while
    // cb is null.
    bool start();

  private:
    QSocketNotifier* notifier_ = nullptr;
    bool watching_ = false;
};

#endif // _WIN32
