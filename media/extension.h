// The driver's extension property set on the tuner filter's first output pin: finding that
// pin, and the read and write sequences over properties 3, 5 and 4.
#pragma once

#include "media/bdasource.h"

namespace media {

// The probe pin, the first pin of a filter whose direction is PINDIR_OUTPUT, with the pin
// enumerator that found it. Both are empty when there is no such pin or no filter; every other
// pin taken on the way is given back. release() gives back the pin, then the enumerator.
struct output_pin {
    com_ptr<IEnumPins> pins;
    com_ptr<IPin> pin;

    void release() {
        pin = nullptr;
        pins = nullptr;
    }
};
output_pin first_output_pin(IBaseFilter* filter);

// Whether QuerySupported succeeds for the property and reports it settable.
bool extension_settable(IKsPropertySet* properties, DWORD id);

// Reads the Unicable state into the record and prints the banners; without a property set
// (properties null) nothing is settable.
void read_unicable(IKsPropertySet* properties, media_bda_device_list* record);

// Writes the switch (3), the frequency (5) and the SCR (4), each only when settable; an unsettable
// switch shows the "not supported" message box, then the banner.
void write_unicable(IKsPropertySet* properties, const media_unicable_settings& settings);

} // namespace media
