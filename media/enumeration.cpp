// Start-up of the layer, the enumeration of the maker's tuners with their classification and
// Unicable probe, and the disposal of its records.
#include "media/bdasource.h"
#include "media/console.h"
#include "media/extension.h"
#include "media/walk.h"

#include <cstdlib>
#include <memory>

namespace {

// The layer's mutex, one per process. Nothing acquires it: every operation runs on the
// window thread.
HANDLE mediaMutex = nullptr;

// The receiving standard of a tuner from the demodulator nodes of its topology; the last
// matching node in the reported order decides. A node type that does not index a returned
// descriptor is ignored. topology keeps the filter's IBDA_Topology until the caller is done
// with the tuner.
int32_t classify(IBaseFilter* tuner, com_ptr<IBDA_Topology>& topology) {
    if (!tuner || FAILED(tuner->QueryInterface(IID_IBDA_Topology, topology.put_void())) ||
        !topology)
        return DEVICETYPE_NONE;

    constexpr ULONG capacity = 256;
    ULONG node_types[capacity] = {};
    BDANODE_DESCRIPTOR descriptors[capacity] = {};
    ULONG type_count = 0;
    ULONG descriptor_count = 0;
    if (FAILED(topology->GetNodeTypes(&type_count, capacity, node_types)))
        return DEVICETYPE_NONE;
    if (FAILED(topology->GetNodeDescriptors(&descriptor_count, capacity, descriptors)))
        return DEVICETYPE_NONE;
    if (type_count > capacity)
        type_count = capacity;
    if (descriptor_count > capacity)
        descriptor_count = capacity;

    int32_t type = DEVICETYPE_NONE;
    for (ULONG i = 0; i < type_count; ++i) {
        if (node_types[i] >= descriptor_count)
            continue;
        const GUID& function = descriptors[node_types[i]].guidFunction;
        if (IsEqualGUID(function, KSNODE_BDA_QPSK_DEMODULATOR))
            type = DEVICETYPE_DVBS;
        else if (IsEqualGUID(function, KSNODE_BDA_QAM_DEMODULATOR))
            type = DEVICETYPE_DVBC;
        else if (IsEqualGUID(function, KSNODE_BDA_OFDM_DEMODULATOR))
            type = DEVICETYPE_DVBT;
    }
    return type;
}

struct record_deleter {
    void operator()(media_bda_device_list* record) const { media_free_device(record); }
};
using record_ptr = std::unique_ptr<media_bda_device_list, record_deleter>;

} // namespace

int32_t media_initialize() {
    mediaMutex = CreateMutexW(nullptr, FALSE, nullptr);
    return 0;
}

std::vector<media_bda_device_list*> media_enum_local_devices() {
    media_bda_device context; // every field empty; given back when the call ends
    std::vector<media_bda_device_list*> result;
    int32_t id = 0;

    media_printf("Local Devices:\n");
    media::tuner_category category;
    if (!category.open())
        return result;

    for (;;) {
        media::tuner_entry entry;
        const media::fetch_result fetched = media::fetch_entry(category.monikers.get(), entry);
        if (fetched != media::fetch_result::entry)
            return result;
        if (FAILED(entry.friendly_name_read)) {
            media_printf("Enumeration failed 5\n");
            return result;
        }
        if (!entry.friendly_name.is_string()) {
            media_printf("Enumeration failed 6\n");
            return result;
        }
        if (!entry.of_the_maker())
            continue;

        record_ptr record(
            static_cast<media_bda_device_list*>(std::calloc(1, sizeof(media_bda_device_list))));
        if (!record)
            continue;

        // Bind, classify, build the graph around the tuner and probe its property set. A tuner
        // that cannot be bound, has no output pin or no property set keeps zeros in its record.
        entry.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                    context.tuner_filter.put_void());
        com_ptr<IBDA_Topology> topology;
        record->devicetype = classify(context.tuner_filter.get(), topology);

        media_bda_create_graph(&context);
        media_bda_scan_capture_device(&context, 0);
        media_bda_connect_graph(&context);

        media::output_pin probe = media::first_output_pin(context.tuner_filter.get());
        com_ptr<IKsPropertySet> properties;
        probe.pin.query(IID_IKsPropertySet, properties);
        media::read_unicable(properties.get(), record.get());

        record->devicename = media::wide_duplicate(entry.friendly_name.string());
        record->devicepath = media::wide_duplicate(entry.path());
        record->id = id;
        const std::string name = media::to_utf8(entry.friendly_name.string());
        media_printf("---> devlist %s", name.c_str());
        media_printf(" %-2d   |  %s\n", record->id, name.c_str());

        entry.friendly_name.clear();
        ++id;
        result.push_back(record.release());

        // Given back in this order: the probe pin and its enumerator, the graph (with the tuner
        // filter), the tuner's device entry, and last the property set and the topology.
        probe.release();
        media_bda_teardown_graph(&context);
        entry.moniker = nullptr;
        properties = nullptr;
        topology = nullptr;
    }
}

void media_free_device(media_bda_device_list* device) {
    if (!device)
        return;
    std::free(device->devicename);
    std::free(device->devicepath);
    std::free(device);
}

void media_free_device_list(std::vector<media_bda_device_list*>& devices) {
    for (media_bda_device_list* device : devices)
        media_free_device(device);
    devices.clear();
}
