// The tuner access layer's public face: the enumerated tuner records and the operations
// the window calls. Free of platform headers, so the window can include it.
#pragma once

#include <cstdint>
#include <vector>

#ifdef _WIN32
typedef wchar_t media_wchar; // WCHAR
#else
typedef char16_t media_wchar; // WCHAR
#endif

// Receiving standard of a tuner, from the demodulator node of its topology.
enum {
    DEVICETYPE_NONE = 0,
    DEVICETYPE_DVBS = 1, // satellite, DVB-S/S2
    DEVICETYPE_DVBC = 2, // cable, DVB-C
    DEVICETYPE_DVBT = 3, // terrestrial, DVB-T/T2
};

// One enumerated tuner. Allocated zero-filled with calloc; both strings are separate
// heap copies (wide-string duplicates) owned by the record.
struct media_bda_device_list {
    media_wchar* devicename;
    media_wchar* devicepath;
    int32_t devicetype;
    uint8_t unicable_supported;
    uint8_t unicable_enabled;
    uint32_t unicable_frequency;
    uint8_t unicable_satcr;
    int32_t id;
};

// Prepares the layer once at start-up. Always 0.
int32_t media_initialize();

// Walks the broadcast network tuners and returns one record per tuner of the maker, in
// enumeration order. The records belong to the caller: dispose of them with
// media_free_device_list (or media_free_device for one record).
std::vector<media_bda_device_list*> media_enum_local_devices();

// Frees both strings of the record, then the record. Null is allowed.
void media_free_device(media_bda_device_list* device);
// Frees every record of an enumeration result and empties it.
void media_free_device_list(std::vector<media_bda_device_list*>& devices);

// A tuner's Unicable settings as they are written to its driver, each value unchanged.
struct media_unicable_settings {
    int32_t enabled;   // 1: use Unicable, 0: do not (property 3)
    int32_t satcr;     // the user band (SCR) index (property 4)
    int32_t frequency; // the user band's frequency in MHz (property 5)
};

// Finds the tuner whose device path equals devicepath and writes its Unicable switch,
// frequency (MHz) and SCR index. -1 when the walk fails before the tuner is found, else 0.
int32_t media_set_unicable_properties(int32_t frequency, int32_t satcr, int32_t enabled,
                                      const media_wchar* devicepath);
// The same, with the three values in one.
int32_t media_apply_unicable_settings(const media_unicable_settings& settings,
                                      const media_wchar* devicepath);
