// The filters of the bench's device entries as the platform's runtime makes them: created by
// class (one class per category), then bound to their entry when the runtime loads the
// device entry's property bag (IPersistPropertyBag::Load). The filter itself is the shared
// one (simulator/devices/); only this binding belongs to the driver.

#include "simulator/devices/filters.h"
#include "simulator/windows_driver/simdriver.h"

#include <optional>

namespace simdriver {

namespace {

// The device of an entry that is gone or unknown.
constexpr HRESULT hr_device_not_connected = static_cast<HRESULT>(0x8007048F);

class DeviceFilter final : public sim::EntryFilter, public IPersistPropertyBag {
  public:
    explicit DeviceFilter(bench::Category category)
        : EntryFilter(sim::entry_filter_class(category)), category_(category) {}

    SIM_IUNKNOWN

    // IPersist: both bases have it; the filter answers.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) noexcept override {
        return Filter::GetClassID(clsid);
    }

    SIM_ANSWER(InitNew, (), S_OK)
    SIM_ANSWER(Save, (IPropertyBag*, BOOL, BOOL), E_NOTIMPL)

    // Binds the filter to the bench entry its device entry stands for: the entry of this
    // category with the bag's DevicePath (of several, the one at the registered position),
    // or, when the bag has no string DevicePath, the entry at the registered position if its
    // device path reads the same. An entry that is gone or unknown fails the bind. The bench
    // is read afresh here (a settled file whose stamp is unchanged is not read again).
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog*) noexcept override {
        if (!bag)
            return E_POINTER;
        if (bound())
            return E_UNEXPECTED;
        VARIANT path;
        VariantInit(&path);
        HRESULT path_hr = bag->Read(L"DevicePath", &path, nullptr);
        VARIANT index;
        VariantInit(&index);
        std::optional<size_t> position;
        if (SUCCEEDED(bag->Read(bench_index_value, &index, nullptr)) && index.vt == VT_I4 &&
            index.lVal >= 0)
            position = static_cast<size_t>(index.lVal);
        VariantClear(&index);
        HRESULT hr = sim::guarded([&] {
            std::shared_ptr<sim::Model> model = sim::reread_bench();
            const bench::Entry* found = nullptr;
            {
                std::lock_guard lock(sim::bench_mutex());
                found = find_entry(*model, path_hr, path, position);
            }
            if (!found)
                return hr_device_not_connected;
            if (found->bind_to_object_fails)
                return E_FAIL;
            return bind(std::move(model), *found);
        });
        VariantClear(&path);
        return hr;
    }

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IPersistPropertyBag)
            return static_cast<IPersistPropertyBag*>(this);
        return EntryFilter::find_interface(riid);
    }

    // Call with bench_mutex() held.
    const bench::Entry* find_entry(const sim::Model& model, HRESULT path_hr, const VARIANT& path,
                                   std::optional<size_t> position) const {
        const std::vector<bench::Entry>& entries = model.entries(category_);
        auto usable = [](const bench::Entry& e) { return !e.is_marker && e.present; };
        if (SUCCEEDED(path_hr) && path.vt == VT_BSTR && path.bstrVal) {
            std::u16string wanted(reinterpret_cast<const char16_t*>(path.bstrVal));
            auto same_path = [&](const bench::Entry& e) {
                return usable(e) && e.device_path.kind == bench::BagValue::Kind::text &&
                       e.device_path.text == wanted;
            };
            if (position && *position < entries.size() && same_path(entries[*position]))
                return &entries[*position];
            for (const bench::Entry& e : entries)
                if (same_path(e))
                    return &e;
            return nullptr;
        }
        if (!position || *position >= entries.size() || !usable(entries[*position]))
            return nullptr;
        const bench::Entry& e = entries[*position];
        using Kind = bench::BagValue::Kind;
        if (FAILED(path_hr))
            return e.device_path.kind == Kind::absent ? &e : nullptr;
        const bool same_number = e.device_path.kind == Kind::number && path.vt == VT_I4 &&
                                 e.device_path.number == path.lVal;
        return same_number ? &e : nullptr;
    }

    const bench::Category category_;
};

} // namespace

const GUID& category_guid(bench::Category category) {
    switch (category) {
    case bench::Category::tuners:
        return KSCATEGORY_BDA_NETWORK_TUNER;
    case bench::Category::captures:
        return KSCATEGORY_BDA_RECEIVER_COMPONENT;
    default:
        return KSCATEGORY_BDA_TRANSPORT_INFORMATION;
    }
}

HRESULT create_device_filter(bench::Category category, REFIID riid, void** ppv) noexcept {
    return sim::hand_out(new (std::nothrow) DeviceFilter(category), riid, ppv);
}

} // namespace simdriver
