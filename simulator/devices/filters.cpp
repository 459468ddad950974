// The simulated devices' filters, written once for both hosts (see filters.h): the filters of
// the bench's entries (the tuner's topology and the driver's extension property set), the
// MPEG-2 demultiplexer and the null renderer.

#include "simulator/devices/filters.h"

#include <algorithm>

namespace sim {

namespace {

constexpr ULONG topology_capacity = 256;
constexpr HRESULT hr_insufficient_buffer = static_cast<HRESULT>(0x8007007A);

// A property value in the buffer's 4 little-endian bytes, and back.
int32_t read_value(const void* data) {
    auto* bytes = static_cast<const unsigned char*>(data);
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= uint32_t(bytes[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

void write_value(void* data, int32_t value) {
    auto bits = static_cast<uint32_t>(value);
    auto* bytes = static_cast<unsigned char*>(data);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Whether the caller's buffer holds a property value; when it does not, hr tells why.
bool fits(const void* data, DWORD size, HRESULT& hr) {
    hr = !data ? E_POINTER : size < 4 ? hr_insufficient_buffer : hr;
    return data && size >= 4;
}

// The filter of an entry, bound when it is made.
class BoundEntryFilter final : public EntryFilter {
  public:
    explicit BoundEntryFilter(bench::Category category)
        : EntryFilter(entry_filter_class(category)) {}
    using EntryFilter::bind;
};

class FixedFilter final : public Filter {
  public:
    FixedFilter(const CLSID& clsid, const char* name, const std::vector<bench::PinDesc>& pins)
        : Filter(clsid, name) {
        set_pins(name, pins);
    }
    SIM_IUNKNOWN
};

// Hands out a filter of fixed pins (making them, and it, may throw).
HRESULT hand_out_fixed(const CLSID& clsid, const char* name, std::vector<bench::PinDesc> (*pins)(),
                       REFIID riid, void** ppv) noexcept {
    if (ppv)
        *ppv = nullptr;
    return guarded([&] { return hand_out(new FixedFilter(clsid, name, pins()), riid, ppv); });
}

} // namespace

const CLSID& entry_filter_class(bench::Category category) {
    switch (category) {
    case bench::Category::tuners:
        return CLSID_BenchTunerFilter;
    case bench::Category::captures:
        return CLSID_BenchCaptureFilter;
    default:
        return CLSID_BenchTransportInformationFilter;
    }
}

HRESULT EntryFilter::bind(std::shared_ptr<Model> model, const bench::Entry& entry) noexcept {
    return guarded([&] {
        std::lock_guard lock(bind_mutex_);
        if (entry_)
            return E_UNEXPECTED;
        set_pins(entry.id, entry.pins);
        model_ = std::move(model);
        entry_ = &entry;
        return S_OK;
    });
}

const bench::Entry* EntryFilter::bound() noexcept {
    std::lock_guard lock(bind_mutex_);
    return entry_;
}

void* EntryFilter::find_interface(REFIID riid) noexcept {
    if (riid == IID_IBDA_Topology) {
        const bench::Entry* entry = bound();
        if (!entry || entry->category != bench::Category::tuners || entry->topology.absent)
            return nullptr;
        return static_cast<IBDA_Topology*>(this);
    }
    return Filter::find_interface(riid);
}

// Copies a list of the topology into the caller's array: the list's failure, or an array too
// small for it, answers as the driver does.
template <class Item, class Copy>
HRESULT copy_topology(const bench::Entry* entry, bench::Topology::Fail fails, size_t n,
                      ULONG* count, ULONG capacity, Item* items, Copy copy) noexcept {
    if (!entry)
        return E_UNEXPECTED;
    if (entry->topology.fail == fails)
        return E_FAIL;
    if (!count)
        return E_POINTER;
    if (n > topology_capacity || n > capacity)
        return hr_insufficient_buffer;
    if (n > 0 && !items)
        return E_POINTER;
    for (size_t i = 0; i < n; ++i)
        copy(i, items[i]);
    *count = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT EntryFilter::GetNodeTypes(ULONG* count, ULONG capacity, ULONG types[]) noexcept {
    const bench::Entry* entry = bound();
    size_t n = entry ? entry->topology.node_types.size() : 0;
    return copy_topology(entry, bench::Topology::Fail::node_types, n, count, capacity, types,
                         [&](size_t i, ULONG& type) { type = entry->topology.node_types[i]; });
}

HRESULT EntryFilter::GetNodeDescriptors(ULONG* count, ULONG capacity,
                                        BDANODE_DESCRIPTOR descriptors[]) noexcept {
    const bench::Entry* entry = bound();
    size_t n = entry ? entry->topology.functions.size() : 0;
    return copy_topology(entry, bench::Topology::Fail::descriptors, n, count, capacity, descriptors,
                         [&](size_t i, BDANODE_DESCRIPTOR& descriptor) {
                             descriptor.ulBdaNodeType = static_cast<ULONG>(i);
                             descriptor.guidFunction = entry->topology.functions[i];
                             descriptor.guidName = GUID{};
                         });
}

bool EntryFilter::has_property_set() noexcept {
    const bench::Entry* entry = bound();
    return entry && entry->category == bench::Category::tuners &&
           entry->driver.kind != bench::Driver::Kind::absent;
}

const bench::Prop* EntryFilter::find_prop(REFGUID set, DWORD id, HRESULT& hr) noexcept {
    const bench::Entry* entry = bound();
    if (!entry || set != bench::tuner_extension_set) {
        hr = E_PROP_SET_UNSUPPORTED;
        return nullptr;
    }
    return bench::find_property(entry->driver, id, hr);
}

HRESULT EntryFilter::property_query(REFGUID set, DWORD id, DWORD* support) noexcept {
    HRESULT hr;
    DWORD flags = 0;
    {
        std::lock_guard lock(bench_mutex());
        if (const bench::Prop* prop = find_prop(set, id, hr)) {
            hr = bench::query_access(*prop).hr;
            if (SUCCEEDED(hr) && !support)
                hr = E_POINTER;
            if (SUCCEEDED(hr)) {
                flags = prop->support;
                *support = flags;
            }
        }
    }
    trace_line([&] {
        return "QuerySupported " + std::to_string(id) + " -> " + bench::hr_text(hr) + " " +
               std::to_string(flags);
    });
    return hr;
}

HRESULT EntryFilter::property_get(REFGUID set, DWORD id, void* data, DWORD size,
                                  DWORD* returned) noexcept {
    HRESULT hr;
    int32_t written = 0;
    {
        std::lock_guard lock(bench_mutex());
        if (const bench::Prop* prop = find_prop(set, id, hr)) {
            bench::Access access = bench::get_access(*prop);
            hr = access.hr;
            if (access.takes_effect && fits(data, size, hr)) {
                write_value(data, prop->value);
                if (returned)
                    *returned = 4;
                written = prop->value;
            }
        }
    }
    trace_line([&] {
        return "Get " + std::to_string(id) + " -> " + bench::hr_text(hr) + " " +
               std::to_string(written);
    });
    return hr;
}

HRESULT EntryFilter::property_set(REFGUID set, DWORD id, const void* data, DWORD size) noexcept {
    HRESULT hr;
    int32_t value = data && size >= 4 ? read_value(data) : 0;
    {
        std::lock_guard lock(bench_mutex());
        if (auto* prop = const_cast<bench::Prop*>(find_prop(set, id, hr))) {
            bench::Access access = bench::set_access(*prop);
            hr = access.hr;
            if (access.takes_effect && fits(data, size, hr)) {
                prop->value = value;
                // Storing may fail: the value then stays in memory, with one warning.
                try {
                    store_property(*model_, *bound(), id, value);
                } catch (...) {
                }
            }
        }
    }
    trace_line([&] {
        return "Set " + std::to_string(id) + " " + std::to_string(value) + " -> " +
               bench::hr_text(hr);
    });
    return hr;
}

HRESULT create_entry_filter(std::shared_ptr<Model> model, const bench::Entry& entry, REFIID riid,
                            void** ppv) noexcept {
    auto* filter = new (std::nothrow) BoundEntryFilter(entry.category);
    if (filter) {
        HRESULT hr = filter->bind(std::move(model), entry);
        if (FAILED(hr)) {
            filter->release();
            return hr;
        }
    }
    return hand_out(filter, riid, ppv);
}

HRESULT create_demultiplexer(REFIID riid, void** ppv) noexcept {
    return hand_out_fixed(CLSID_MPEG2Demultiplexer, "MPEG2Demultiplexer", bench::demultiplexer_pins,
                          riid, ppv);
}

HRESULT create_outside_filter(REFIID riid, void** ppv) noexcept {
    return hand_out_fixed(
        GUID{}, "(outside)", [] { return std::vector<bench::PinDesc>(); }, riid, ppv);
}

HRESULT create_null_renderer(REFIID riid, void** ppv) noexcept {
    return hand_out_fixed(CLSID_NullRenderer, "NullRenderer", bench::null_renderer_pins, riid, ppv);
}

} // namespace sim
