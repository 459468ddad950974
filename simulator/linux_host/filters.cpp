// Filters and pins: the filters bound from bench entries (with the tuner's topology and the
// driver's extension property set), the MPEG-2 demultiplexer and the null renderer.

#include "simulator/linux_host/filter.h"

#include <algorithm>
#include <cstring>

namespace standin::detail {

namespace {

constexpr ULONG topology_capacity = 256;

// The pin on the other side of a connection made outside of any graph (`connected: true`).
class OutsidePin final : public IPin, public Object {
  public:
    explicit OutsidePin(Pin& peer) : peer_(peer) { peer_.AddRef(); }
    ~OutsidePin() override { peer_.Release(); }

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) override {
        if (!pPin)
            return E_POINTER;
        peer_.AddRef();
        *pPin = &peer_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) override {
        if (!pInfo)
            return E_POINTER;
        pInfo->pFilter = nullptr;
        pInfo->dir = direction();
        std::memcpy(pInfo->achName, u"Outside", sizeof(u"Outside"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) override {
        if (!pPinDir)
            return E_POINTER;
        *pPinDir = direction();
        return S_OK;
    }

  private:
    PIN_DIRECTION direction() const {
        return peer_.desc().direction == PINDIR_INPUT ? PINDIR_OUTPUT : PINDIR_INPUT;
    }
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IPin)
            return static_cast<IPin*>(this);
        return nullptr;
    }

    Pin& peer_;
};

class PinEnum final : public IEnumPins, public Object {
  public:
    explicit PinEnum(Filter& filter) : filter_(filter) { filter_.add_ref(); }
    ~PinEnum() override { filter_.release(); }

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override {
        if (pcFetched)
            *pcFetched = 0;
        if (!ppPins || (cPins > 1 && !pcFetched))
            return E_POINTER;
        ULONG fetched = 0;
        while (fetched < cPins && next_ < filter_.pins().size()) {
            Pin* pin = filter_.pins()[next_++].get();
            pin->AddRef();
            ppPins[fetched++] = pin;
        }
        for (ULONG i = fetched; i < cPins; ++i)
            ppPins[i] = nullptr;
        if (pcFetched)
            *pcFetched = fetched;
        return fetched == cPins ? S_OK : S_FALSE;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IEnumPins)
            return static_cast<IEnumPins*>(this);
        return nullptr;
    }

    Filter& filter_;
    size_t next_ = 0;
};

// A filter bound from a bench entry. The driver's values belong to the entry (in the model),
// so every filter bound from the same entry sees the same values.
class EntryFilter final : public Filter, public IBDA_Topology {
  public:
    EntryFilter(std::shared_ptr<Model> model, const Entry& entry)
        : Filter(entry.id, entry.pins), model_(std::move(model)), entry_(entry) {}

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE GetNodeTypes(ULONG* pulcNodeTypes, ULONG ulcNodeTypesMax,
                                           ULONG rgulNodeTypes[]) override {
        const Topology& topology = entry_.topology;
        if (topology.fail == Topology::Fail::node_types)
            return E_FAIL;
        if (!pulcNodeTypes)
            return E_POINTER;
        size_t count = topology.node_types.size();
        if (count > topology_capacity || count > ulcNodeTypesMax)
            return hr_insufficient_buffer;
        if (count > 0 && !rgulNodeTypes)
            return E_POINTER;
        std::copy(topology.node_types.begin(), topology.node_types.end(), rgulNodeTypes);
        *pulcNodeTypes = static_cast<ULONG>(count);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetNodeDescriptors(ULONG* ulcNodeDescriptors,
                                                 ULONG ulcNodeDescriptorsMax,
                                                 BDANODE_DESCRIPTOR rgNodeDescriptors[]) override {
        const Topology& topology = entry_.topology;
        if (topology.fail == Topology::Fail::descriptors)
            return E_FAIL;
        if (!ulcNodeDescriptors)
            return E_POINTER;
        size_t count = topology.functions.size();
        if (count > topology_capacity || count > ulcNodeDescriptorsMax)
            return hr_insufficient_buffer;
        if (count > 0 && !rgNodeDescriptors)
            return E_POINTER;
        for (size_t i = 0; i < count; ++i) {
            rgNodeDescriptors[i].ulBdaNodeType = static_cast<ULONG>(i);
            rgNodeDescriptors[i].guidFunction = topology.functions[i];
            rgNodeDescriptors[i].guidName = GUID{};
        }
        *ulcNodeDescriptors = static_cast<ULONG>(count);
        return S_OK;
    }

    bool has_property_set() const override {
        return entry_.category == Category::tuners && entry_.driver.kind != Driver::Kind::absent;
    }

    HRESULT property_query(REFGUID set, DWORD id, DWORD* support) override {
        HRESULT hr;
        DWORD flags = 0;
        {
            std::lock_guard lock(bench_mutex());
            const Prop* prop = find_prop(set, id, hr);
            if (prop) {
                hr = bench::query_access(*prop).hr;
                if (SUCCEEDED(hr) && !support)
                    hr = E_POINTER;
                if (SUCCEEDED(hr)) {
                    flags = prop->support;
                    *support = flags;
                }
            }
        }
        trace("QuerySupported " + std::to_string(id) + " -> " + hr_text(hr) + " " +
              std::to_string(flags));
        return hr;
    }

    HRESULT property_get(REFGUID set, DWORD id, void* data, DWORD size, DWORD* returned) override {
        HRESULT hr;
        int32_t written = 0;
        {
            std::lock_guard lock(bench_mutex());
            const Prop* prop = find_prop(set, id, hr);
            if (prop) {
                bench::Access access = bench::get_access(*prop);
                hr = access.hr;
                if (access.takes_effect) {
                    if (!data)
                        hr = E_POINTER;
                    else if (size < 4)
                        hr = hr_insufficient_buffer;
                    else {
                        auto bits = static_cast<uint32_t>(prop->value);
                        auto* bytes = static_cast<unsigned char*>(data);
                        for (int i = 0; i < 4; ++i)
                            bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
                        if (returned)
                            *returned = 4;
                        written = prop->value;
                    }
                }
            }
        }
        trace("Get " + std::to_string(id) + " -> " + hr_text(hr) + " " + std::to_string(written));
        return hr;
    }

    HRESULT property_set(REFGUID set, DWORD id, const void* data, DWORD size) override {
        HRESULT hr;
        int32_t value = 0;
        bool readable = data && size >= 4;
        if (readable) {
            auto* bytes = static_cast<const unsigned char*>(data);
            uint32_t bits = 0;
            for (int i = 0; i < 4; ++i)
                bits |= uint32_t(bytes[i]) << (8 * i);
            value = static_cast<int32_t>(bits);
        }
        {
            std::lock_guard lock(bench_mutex());
            Prop* prop = find_prop(set, id, hr);
            if (prop) {
                bench::Access access = bench::set_access(*prop);
                hr = access.hr;
                if (access.takes_effect) {
                    if (!data)
                        hr = E_POINTER;
                    else if (size < 4)
                        hr = hr_insufficient_buffer;
                    else {
                        prop->value = value;
                        store_property(*model_, entry_, id, value);
                    }
                }
            }
        }
        trace("Set " + std::to_string(id) + " " + std::to_string(value) + " -> " + hr_text(hr));
        return hr;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IBDA_Topology) {
            if (entry_.category != Category::tuners || entry_.topology.absent)
                return nullptr;
            return static_cast<IBDA_Topology*>(this);
        }
        return Filter::find_interface(riid);
    }

    // The property the call addresses, or nullptr with the failure in hr. Call with
    // bench_mutex() held.
    Prop* find_prop(REFGUID set, DWORD id, HRESULT& hr) const {
        if (set != bench::tuner_extension_set) {
            hr = E_PROP_SET_UNSUPPORTED;
            return nullptr;
        }
        return const_cast<Prop*>(bench::find_property(entry_.driver, id, hr));
    }

    std::shared_ptr<Model> model_; // keeps entry_ alive
    const Entry& entry_;
};

class Demultiplexer final : public Filter {
  public:
    Demultiplexer() : Filter("MPEG2Demultiplexer", bench::demultiplexer_pins()) {}
};

class NullRenderer final : public Filter {
  public:
    NullRenderer() : Filter("NullRenderer", bench::null_renderer_pins()) {}
};

} // namespace

// ---------------------------------------------------------------------------------------
// Pin.

HRESULT Pin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPin)
        *ppv = static_cast<IPin*>(this);
    else if (riid == IID_IKsPropertySet && owner_.has_property_set())
        *ppv = static_cast<IKsPropertySet*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Pin::AddRef() {
    return owner_.add_ref();
}

ULONG Pin::Release() {
    return owner_.release();
}

HRESULT Pin::ConnectedTo(IPin** pPin) {
    if (!pPin)
        return E_POINTER;
    *pPin = nullptr;
    if (peer_) {
        peer_->AddRef();
        *pPin = peer_;
        return S_OK;
    }
    if (desc_.connected) {
        *pPin = new OutsidePin(*this);
        return S_OK;
    }
    return VFW_E_NOT_CONNECTED;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* pInfo) {
    if (!pInfo)
        return E_POINTER;
    if (desc_.pin_info_fails)
        return E_FAIL;
    owner_.AddRef();
    pInfo->pFilter = &owner_;
    pInfo->dir = desc_.direction;
    std::u16string name = utf16(desc_.name);
    if (name.size() >= MAX_PIN_NAME)
        name.resize(MAX_PIN_NAME - 1);
    std::copy(name.begin(), name.end(), pInfo->achName);
    pInfo->achName[name.size()] = 0;
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (!pPinDir)
        return E_POINTER;
    *pPinDir = desc_.direction;
    return S_OK;
}

HRESULT Pin::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                 DWORD cbPropData) {
    return owner_.property_set(guidPropSet, dwPropID, pPropData, cbPropData);
}

HRESULT Pin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                 DWORD cbPropData, DWORD* pcbReturned) {
    return owner_.property_get(guidPropSet, dwPropID, pPropData, cbPropData, pcbReturned);
}

HRESULT Pin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
    return owner_.property_query(guidPropSet, dwPropID, pTypeSupport);
}

void Pin::disconnect() {
    if (peer_) {
        peer_->peer_ = nullptr;
        peer_ = nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// Filter.

Filter::Filter(std::string trace_name, const std::vector<PinDesc>& pins)
    : trace_name_(std::move(trace_name)) {
    for (const PinDesc& desc : pins)
        pins_.push_back(std::make_unique<Pin>(*this, desc));
}

Filter::~Filter() {
    disconnect_pins();
}

void* Filter::find_interface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter)
        return static_cast<IBaseFilter*>(this);
    return nullptr;
}

HRESULT Filter::Stop() {
    trace("Stop " + trace_name_);
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new PinEnum(*this);
    return S_OK;
}

void Filter::disconnect_pins() {
    for (auto& pin : pins_)
        pin->disconnect();
}

HRESULT Filter::property_query(REFGUID, DWORD, DWORD*) {
    return E_PROP_SET_UNSUPPORTED;
}

HRESULT Filter::property_get(REFGUID, DWORD, void*, DWORD, DWORD*) {
    return E_PROP_SET_UNSUPPORTED;
}

HRESULT Filter::property_set(REFGUID, DWORD, const void*, DWORD) {
    return E_PROP_SET_UNSUPPORTED;
}

Filter* as_filter(IBaseFilter* filter) {
    return filter ? dynamic_cast<Filter*>(filter) : nullptr;
}

Pin* as_pin(IPin* pin) {
    return pin ? dynamic_cast<Pin*>(pin) : nullptr;
}

HRESULT create_entry_filter(std::shared_ptr<Model> model, const Entry& entry, REFIID riid,
                            void** ppv) {
    return hand_out(new EntryFilter(std::move(model), entry), riid, ppv);
}

HRESULT create_demultiplexer(REFIID riid, void** ppv) {
    return hand_out(new Demultiplexer, riid, ppv);
}

HRESULT create_null_renderer(REFIID riid, void** ppv) {
    return hand_out(new NullRenderer, riid, ppv);
}

} // namespace standin::detail
