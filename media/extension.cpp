#include "media/extension.h"
#include "media/console.h"
#include "platform/win32.h"

namespace media {

namespace {

const char supported_banner[] =
    "************************* MORVANE EXTENSION SUPPORTED ******************\n";
const char not_supported_banner[] =
    "************************** MORVANE EXTENSION NOT SUPPORTED ************\n";

// One 4-byte buffer serves as instance data and property data alike.
uint32_t read_property(IKsPropertySet* properties, DWORD id) {
    DWORD value = 0;
    DWORD returned = 0;
    properties->Get(PROPSETID_TUNER_EXTENSION, id, &value, sizeof value, &value, sizeof value,
                    &returned);
    return value;
}

void write_property(IKsPropertySet* properties, DWORD id, int32_t value) {
    DWORD buffer = static_cast<DWORD>(value);
    properties->Set(PROPSETID_TUNER_EXTENSION, id, &buffer, sizeof buffer, &buffer, sizeof buffer);
}

} // namespace

output_pin first_output_pin(IBaseFilter* filter) {
    output_pin found;
    if (!filter || FAILED(filter->EnumPins(found.pins.put())) || !found.pins)
        return found;
    while (found.pins->Next(1, found.pin.put(), nullptr) == S_OK && found.pin) {
        PIN_DIRECTION dir = PINDIR_INPUT;
        if (SUCCEEDED(found.pin->QueryDirection(&dir)) && dir == PINDIR_OUTPUT)
            return found;
    }
    found.pin = nullptr;
    return found;
}

bool extension_settable(IKsPropertySet* properties, DWORD id) {
    if (!properties)
        return false;
    DWORD support = 0;
    return SUCCEEDED(properties->QuerySupported(PROPSETID_TUNER_EXTENSION, id, &support)) &&
           (support & KSPROPERTY_SUPPORT_SET) != 0;
}

void read_unicable(IKsPropertySet* properties, media_bda_device_list* record) {
    media_printf("%s", extension_settable(properties, TUNER_EXT_UNICABLE_ENABLE)
                           ? supported_banner
                           : not_supported_banner);
    if (extension_settable(properties, TUNER_EXT_UNICABLE_ENABLE)) {
        record->unicable_supported = 1;
        media_printf("%s", supported_banner);
        record->unicable_enabled =
            static_cast<uint8_t>(read_property(properties, TUNER_EXT_UNICABLE_ENABLE));
    }
    if (extension_settable(properties, TUNER_EXT_UNICABLE_FREQUENCY))
        record->unicable_frequency = read_property(properties, TUNER_EXT_UNICABLE_FREQUENCY);
    if (extension_settable(properties, TUNER_EXT_UNICABLE_SCR))
        record->unicable_satcr =
            static_cast<uint8_t>(read_property(properties, TUNER_EXT_UNICABLE_SCR));
}

void write_unicable(IKsPropertySet* properties, const media_unicable_settings& settings) {
    if (extension_settable(properties, TUNER_EXT_UNICABLE_ENABLE)) {
        media_printf("%s", supported_banner);
        write_property(properties, TUNER_EXT_UNICABLE_ENABLE, settings.enabled);
    } else {
        MessageBoxA(nullptr, "UNICABLE not SUPPORTED!", "Unicable not Supported!", MB_OK);
        media_printf("%s", not_supported_banner);
    }
    if (extension_settable(properties, TUNER_EXT_UNICABLE_FREQUENCY))
        write_property(properties, TUNER_EXT_UNICABLE_FREQUENCY, settings.frequency);
    if (extension_settable(properties, TUNER_EXT_UNICABLE_SCR))
        write_property(properties, TUNER_EXT_UNICABLE_SCR, settings.satcr);
}

} // namespace media
