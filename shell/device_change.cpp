#include "shell/device_change.h"

#include <utility>

updateDeviceListDelegate cb = nullptr;

namespace {

// The bound callable. Allocated once and never freed: the pointer handed out by
// bind_update_delegate must stay callable until the process ends.
std::function<int32_t()>& bound_target() {
    static auto* target = new std::function<int32_t()>();
    return *target;
}

int32_t call_bound_target() {
    const std::function<int32_t()>& target = bound_target();
    return target ? target() : 0;
}

} // namespace

updateDeviceListDelegate bind_update_delegate(std::function<int32_t()> target) {
    bound_target() = std::move(target);
    return &call_bound_target;
}

LRESULT dispatch_device_change(WPARAM event, updateDeviceListDelegate callback) {
    switch (event) {
    case DBT_DEVNODES_CHANGED:
    case DBT_DEVICEARRIVAL:
    case DBT_DEVICEREMOVECOMPLETE:
        if (callback)
            callback();
        break;
    default:
        break;
    }
    return 1;
}
