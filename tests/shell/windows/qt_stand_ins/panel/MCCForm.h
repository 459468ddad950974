// Compile-only stand-in for the main window, so that the Windows build can compile the
// Windows branch of shell/main.cpp without a Windows build of Qt. Only what main.cpp uses.
#pragma once

#include <QWidget>

#include <cstdint>

namespace MorvaneControlCenter {

class MCCForm : public QWidget {
  public:
    explicit MCCForm(void* parent = nullptr);
    int32_t updateDevicelistMember();
};

} // namespace MorvaneControlCenter
