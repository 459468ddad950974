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
// descriptor is ignored.
int32_t classify(IBaseFilter* tuner) {
    com_ptr<IBDA_Topology> topology;
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

// Binds the selected tuner, classifies it, builds the graph around it, probes its extension
// property set and tears the graph down again. Fills type and Unicable fields of the record.
// A tuner that cannot be bound, has no output pin or no property set keeps zeros there.
void probe_tuner(media_bda_device* mbd, IMoniker* moniker, media_bda_device_list* record) {
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, mbd->tuner_filter.put_void());
    record->devicetype = classify(mbd->tuner_filter.get());

    media_bda_create_graph(mbd);
    media_bda_scan_capture_device(mbd, 0);
    media_bda_connect_graph(mbd);

    com_ptr<IPin> probe_pin = media::first_output_pin(mbd->tuner_filter.get());
    com_ptr<IKsPropertySet> properties;
    probe_pin.query(IID_IKsPropertySet, properties);
    media::read_unicable(properties.get(), record);

    // The pin goes back before the teardown, the property set after it.
    probe_pin = nullptr;
    media_bda_teardown_graph(mbd);
}

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
        probe_tuner(&context, entry.moniker.get(), record.get());

        record->devicename = media::wide_duplicate(entry.friendly_name.string());
        record->devicepath = media::wide_duplicate(entry.path());
        record->id = id;
        const std::string name = media::to_utf8(entry.friendly_name.string());
        media_printf("---> devlist %s", name.c_str());
        media_printf(" %-2d   |  %s\n", record->id, name.c_str());
        ++id;
        result.push_back(record.release());
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
