// morvane-enum: runs one enumeration of the tuners and prints its log to standard output,
// without the window. Shows what the tuner access layer finds on this PC.
#include "media/device_list.h"

#ifndef _WIN32
#include "platform/standin.h"
#endif

int main() {
#ifndef _WIN32
    standin::startup();
#endif
    media_initialize();
    std::vector<media_bda_device_list*> devices = media_enum_local_devices();
    media_free_device_list(devices);
    return 0;
}
