#include "panel/core/DeviceListData.h"

#include "media/device_list.h"

namespace MorvaneControlCenter {

namespace {

// A NUL-terminated UTF-16 text of the enumeration, copied up to its terminator; a missing
// text becomes empty.
std::u16string copyText(const media_wchar* text) {
    std::u16string copy;
    if (text)
        for (const media_wchar* p = text; *p; ++p)
            copy.push_back(static_cast<char16_t>(*p));
    return copy;
}

} // namespace

std::unique_ptr<DeviceListData> copyDeviceRecord(const media_bda_device_list& record) {
    auto data = std::make_unique<DeviceListData>();
    data->set_devicename(copyText(record.devicename));
    data->set_devicepath(copyText(record.devicepath));
    data->set_devicetype(record.devicetype);
    data->set_unicable_enabled(record.unicable_enabled);
    data->set_unicable_frequency(record.unicable_frequency);
    data->set_unicable_satcr(record.unicable_satcr);
    data->set_unicable_supported(record.unicable_supported);
    return data;
}

} // namespace MorvaneControlCenter
