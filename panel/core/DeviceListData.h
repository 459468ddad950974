// The window's own copy of one enumerated tuner: what the device list shows for it and what
// the Unicable page reads and writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct media_bda_device_list;

namespace MorvaneControlCenter {

class DeviceListData {
  public:
    DeviceListData() = default;

    // The tuner's friendly name; also the text of its list entry.
    const std::u16string& devicename() const { return devicename_; }
    void set_devicename(std::u16string value) { devicename_ = std::move(value); }

    // The tuner's device path: the key by which the apply operation finds the tuner again.
    // Stored NUL-terminated (std::u16string), so c_str() can be handed to it as it is.
    const std::u16string& devicepath() const { return devicepath_; }
    void set_devicepath(std::u16string value) { devicepath_ = std::move(value); }

    // DEVICETYPE_DVBS 1, DEVICETYPE_DVBC 2, DEVICETYPE_DVBT 3; any other value has no pages.
    int32_t devicetype() const { return devicetype_; }
    void set_devicetype(int32_t value) { devicetype_ = value; }

    // Nonzero: the tuner supports Unicable.
    int32_t unicable_supported() const { return unicable_supported_; }
    void set_unicable_supported(int32_t value) { unicable_supported_ = value; }

    // Nonzero: Unicable is switched on.
    int32_t unicable_enabled() const { return unicable_enabled_; }
    void set_unicable_enabled(int32_t value) { unicable_enabled_ = value; }

    // The user band (SCR) number.
    int32_t unicable_satcr() const { return unicable_satcr_; }
    void set_unicable_satcr(int32_t value) { unicable_satcr_ = value; }

    // The user band's frequency in MHz.
    uint32_t unicable_frequency() const { return unicable_frequency_; }
    void set_unicable_frequency(uint32_t value) { unicable_frequency_ = value; }

  private:
    std::u16string devicename_;
    std::u16string devicepath_;
    int32_t devicetype_ = 0;
    int32_t unicable_supported_ = 0;
    int32_t unicable_enabled_ = 0;
    int32_t unicable_satcr_ = 0;
    uint32_t unicable_frequency_ = 0;
};

// A new record holding the enumeration record's names, type and Unicable state (its `id` is
// not copied). The enumeration record is left as it is; the caller still disposes of it.
std::unique_ptr<DeviceListData> copyDeviceRecord(const media_bda_device_list& record);

} // namespace MorvaneControlCenter
