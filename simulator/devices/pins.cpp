// The simulated devices' pins and filters, written once for both hosts (see filters.h): pins
// with their connection rules, the pin and media type enumerators, the pin on the other side
// of a connection made outside of any graph, and the base of every filter.

#include "simulator/devices/filters.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace sim {

namespace {

// The format of the media types the driver's pins offer: the pin's medium, in UTF-8.
constexpr GUID format_bench_medium = mcc_guid(0x5B0E7C2A, 0x3D91, 0x4F6B, 0x8E276A1D4C9F0B20);

// The name the pin on the other side of an outside connection reports.
constexpr char16_t outside_name[] = u"Outside";

void free_format(AM_MEDIA_TYPE& type) {
    if (type.cbFormat && type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

HRESULT copy_type(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from) {
    to = from;
    to.pbFormat = nullptr;
    to.cbFormat = 0;
    if (from.cbFormat && from.pbFormat) {
        to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        if (!to.pbFormat)
            return E_OUTOFMEMORY;
        std::memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
        to.cbFormat = from.cbFormat;
    }
    if (to.pUnk)
        to.pUnk->AddRef();
    return S_OK;
}

HRESULT medium_type(const std::string& medium, AM_MEDIA_TYPE& type) {
    type = AM_MEDIA_TYPE{};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_MPEG2_TRANSPORT;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = 188;
    type.formattype = format_bench_medium;
    type.cbFormat = static_cast<ULONG>(medium.size());
    if (!medium.empty()) {
        type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(medium.size()));
        if (!type.pbFormat) {
            type.cbFormat = 0;
            return E_OUTOFMEMORY;
        }
        std::memcpy(type.pbFormat, medium.data(), medium.size());
    }
    return S_OK;
}

// The medium a media type carries; nothing for a type that is not one of the driver's.
std::optional<std::string> medium_of(const AM_MEDIA_TYPE* type) {
    if (!type || type->formattype != format_bench_medium)
        return std::nullopt;
    if (!type->pbFormat || type->cbFormat == 0)
        return std::string();
    return std::string(reinterpret_cast<const char*>(type->pbFormat), type->cbFormat);
}

// The pin on the other side of a connection made outside of any graph (`connected: true`).
class OutsidePin final : public IPin, public Object {
  public:
    explicit OutsidePin(Pin& peer) : peer_(peer) { peer_.AddRef(); }
    ~OutsidePin() override { peer_.Release(); }

    SIM_IUNKNOWN

    SIM_ANSWER(Connect, (IPin*, const AM_MEDIA_TYPE*), VFW_E_ALREADY_CONNECTED)
    SIM_ANSWER(ReceiveConnection, (IPin*, const AM_MEDIA_TYPE*), VFW_E_ALREADY_CONNECTED)
    // The connection is not the graph's: it stays.
    SIM_ANSWER(Disconnect, (), S_OK)
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) noexcept override {
        if (!pin)
            return E_POINTER;
        peer_.AddRef();
        *pin = &peer_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) noexcept override {
        if (!type)
            return E_POINTER;
        return medium_type(peer_.desc().medium, *type);
    }
    // A pin belongs to a filter: this one to a filter without pins of its own, so that a graph
    // that walks upstream from it finds nothing more.
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) noexcept override {
        if (!info)
            return E_POINTER;
        HRESULT hr =
            create_outside_filter(IID_IBaseFilter, reinterpret_cast<void**>(&info->pFilter));
        if (FAILED(hr))
            return hr;
        info->dir = direction();
        std::memcpy(info->achName, outside_name, sizeof outside_name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) noexcept override {
        if (!dir)
            return E_POINTER;
        *dir = direction();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) noexcept override {
        if (!id)
            return E_POINTER;
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof outside_name));
        if (!*id)
            return E_OUTOFMEMORY;
        std::memcpy(*id, outside_name, sizeof outside_name);
        return S_OK;
    }
    SIM_ANSWER(QueryAccept, (const AM_MEDIA_TYPE*), S_FALSE)
    SIM_ANSWER(EnumMediaTypes, (IEnumMediaTypes**), E_NOTIMPL)
    SIM_ANSWER(QueryInternalConnections, (IPin**, ULONG*), E_NOTIMPL)
    SIM_ANSWER(EndOfStream, (), S_OK)
    SIM_ANSWER(BeginFlush, (), S_OK)
    SIM_ANSWER(EndFlush, (), S_OK)
    SIM_ANSWER(NewSegment, (REFERENCE_TIME, REFERENCE_TIME, double), S_OK)

  private:
    PIN_DIRECTION direction() const {
        return peer_.desc().direction == PINDIR_INPUT ? PINDIR_OUTPUT : PINDIR_INPUT;
    }
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IPin)
            return static_cast<IPin*>(this);
        return nullptr;
    }

    Pin& peer_;
};

// An enumerator over items of a filter (its pins, or a pin's one media type), keeping the
// filter alive. Source tells the number of items and hands out the n-th (nullptr: it could not).
template <class Interface, class Item, const IID& iid, class Source>
class Enumerator final : public Interface, public Object {
  public:
    Enumerator(Filter& filter, Source source, size_t position)
        : filter_(filter), source_(source), next_(position) {
        filter_.add_ref();
    }
    ~Enumerator() override { filter_.release(); }

    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item** items, ULONG* fetched) noexcept override {
        if (fetched)
            *fetched = 0;
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        std::lock_guard lock(mutex_);
        ULONG n = 0;
        while (n < count && next_ < source_.size()) {
            Item* item = source_.make(next_);
            if (!item)
                break;
            items[n++] = item;
            ++next_;
        }
        for (ULONG i = n; i < count; ++i)
            items[i] = nullptr;
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
        size_t size = source_.size();
        std::lock_guard lock(mutex_);
        if (size - std::min(next_, size) < count) {
            next_ = size;
            return S_FALSE;
        }
        next_ += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() noexcept override {
        std::lock_guard lock(mutex_);
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** out) noexcept override {
        if (!out)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *out = new (std::nothrow) Enumerator(filter_, source_, next_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

  private:
    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == iid)
            return static_cast<Interface*>(this);
        return nullptr;
    }

    Filter& filter_;
    const Source source_;
    std::mutex mutex_;
    size_t next_;
};

struct PinSource {
    Filter* filter;
    size_t size() const { return filter->pin_count(); }
    IPin* make(size_t index) const {
        Pin* pin = filter->pin_at(index);
        if (pin)
            pin->AddRef();
        return pin;
    }
};
using PinEnum = Enumerator<IEnumPins, IPin, IID_IEnumPins, PinSource>;

// A pin's one media type: its medium (the pin's, which lives as long as its filter).
struct MediumSource {
    const std::string* medium;
    size_t size() const { return 1; }
    AM_MEDIA_TYPE* make(size_t) const {
        auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (type && FAILED(medium_type(*medium, *type))) {
            CoTaskMemFree(type);
            type = nullptr;
        }
        return type;
    }
};
using MediaTypeEnum = Enumerator<IEnumMediaTypes, AM_MEDIA_TYPE, IID_IEnumMediaTypes, MediumSource>;

// The pin of another filter, as a trace line names it: FILTER:PIN.
std::string foreign_label(IPin* pin) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info)))
        return "(unknown):(unknown)";
    std::string filter = "(outside)";
    if (info.pFilter) {
        CLSID clsid = {};
        filter = "(unknown)";
        if (SUCCEEDED(info.pFilter->GetClassID(&clsid)) && clsid == CLSID_NullRenderer)
            filter = "NullRenderer";
        info.pFilter->Release();
    }
    info.achName[MAX_PIN_NAME - 1] = 0;
    return filter + ":" + bench::utf8(reinterpret_cast<const char16_t*>(info.achName));
}

} // namespace

// ---------------------------------------------------------------------------------------
// Pin.

Pin* Pin::from(IPin* pin) noexcept {
    if (!pin)
        return nullptr;
    Pin* ours = nullptr;
    if (FAILED(pin->QueryInterface(IID_BenchPin, reinterpret_cast<void**>(&ours))) || !ours)
        return nullptr;
    ours->Release(); // the caller holds pin, which keeps ours alive
    return ours;
}

std::string Pin::label() const {
    return owner_.trace_name() + ":" + desc_.name;
}

HRESULT Pin::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPin)
        *ppv = static_cast<IPin*>(this);
    else if (riid == IID_IKsPropertySet && owner_.has_property_set())
        *ppv = static_cast<IKsPropertySet*>(this);
    else if (riid == IID_BenchPin)
        *ppv = this;
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Pin::AddRef() noexcept {
    return owner_.add_ref();
}

ULONG Pin::Release() noexcept {
    return owner_.release();
}

HRESULT Pin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) noexcept {
    HRESULT hr = guarded([&] { return connect(receiver, type); });
    trace_line([&] {
        Pin* in = Pin::from(receiver);
        std::string peer = !receiver ? "(null)" : in ? in->label() : foreign_label(receiver);
        return "ConnectDirect " + label() + " " + peer + " -> " + bench::hr_text(hr);
    });
    return hr;
}

bool Pin::connected() const {
    std::lock_guard lock(owner_.mutex());
    return connected_locked();
}

HRESULT Pin::connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (!receiver)
        return E_POINTER;
    Pin* in = Pin::from(receiver);
    // A filter outside of every graph, or pins of two graphs, are not connected.
    IFilterGraph* graph = owner_.graph();
    if (!graph || (in && in->owner_.graph() != graph))
        return VFW_E_NOT_IN_GRAPH;
    if (desc_.direction != PINDIR_OUTPUT || (in && in->desc_.direction != PINDIR_INPUT))
        return VFW_E_INVALID_DIRECTION;
    // A connected pin on either side comes before a refusal.
    if (in && in->connected())
        return VFW_E_ALREADY_CONNECTED;
    AM_MEDIA_TYPE offer;
    {
        std::lock_guard lock(owner_.mutex());
        if (connected_locked())
            return VFW_E_ALREADY_CONNECTED;
        if (owner_.state_locked() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        if (desc_.refuses)
            return VFW_E_NO_ACCEPTABLE_TYPES;
        // A complete type of this driver that names another medium is not this pin's.
        auto asked = medium_of(type);
        if (asked && !bench::media_match(desc_.medium, *asked))
            return VFW_E_NO_ACCEPTABLE_TYPES;
        if (FAILED(medium_type(desc_.medium, offer)))
            return E_OUTOFMEMORY;
    }
    HRESULT hr = receiver->ReceiveConnection(static_cast<IPin*>(this), &offer);
    if (SUCCEEDED(hr)) {
        std::lock_guard lock(owner_.mutex());
        receiver->AddRef();
        peer_ = receiver;
        free_format(type_);
        type_ = offer;
        return S_OK;
    }
    free_format(offer);
    if (hr == VFW_E_ALREADY_CONNECTED || hr == VFW_E_NOT_STOPPED || hr == VFW_E_INVALID_DIRECTION ||
        hr == E_POINTER)
        return hr;
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT Pin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) noexcept {
    if (!connector || !type)
        return E_POINTER;
    {
        std::lock_guard lock(owner_.mutex());
        if (connected_locked())
            return VFW_E_ALREADY_CONNECTED;
        if (owner_.state_locked() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        if (desc_.direction != PINDIR_INPUT)
            return VFW_E_INVALID_DIRECTION;
    }
    PIN_DIRECTION other = PINDIR_INPUT;
    if (FAILED(connector->QueryDirection(&other)) || other != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    std::lock_guard lock(owner_.mutex());
    if (connected_locked())
        return VFW_E_ALREADY_CONNECTED;
    if (desc_.refuses || !accepts(type))
        return VFW_E_TYPE_NOT_ACCEPTED;
    AM_MEDIA_TYPE copy;
    if (FAILED(copy_type(copy, *type)))
        return E_OUTOFMEMORY;
    connector->AddRef();
    peer_ = connector;
    free_format(type_);
    type_ = copy;
    return S_OK;
}

bool Pin::accepts(const AM_MEDIA_TYPE* type) const {
    auto medium = medium_of(type);
    // A type from elsewhere carries no medium: only a pin that takes anything takes it.
    return bench::media_match(medium.value_or(std::string("\x01")), desc_.medium) ||
           desc_.medium == "*";
}

HRESULT Pin::Disconnect() noexcept {
    if (drop_connection())
        return S_OK;
    return desc_.connected ? S_OK : S_FALSE;
}

bool Pin::drop_connection() noexcept {
    IPin* peer = nullptr;
    {
        std::lock_guard lock(owner_.mutex());
        peer = peer_;
        peer_ = nullptr;
        free_format(type_);
    }
    if (peer)
        peer->Release();
    return peer != nullptr;
}

HRESULT Pin::ConnectedTo(IPin** pin) noexcept {
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    std::lock_guard lock(owner_.mutex());
    if (peer_)
        return read_object(peer_, pin);
    if (desc_.connected) {
        *pin = new (std::nothrow) OutsidePin(*this);
        return *pin ? S_OK : E_OUTOFMEMORY;
    }
    return VFW_E_NOT_CONNECTED;
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* type) noexcept {
    if (!type)
        return E_POINTER;
    std::lock_guard lock(owner_.mutex());
    if (!peer_) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return copy_type(*type, type_);
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) noexcept {
    if (!info)
        return E_POINTER;
    if (desc_.pin_info_fails)
        return E_FAIL;
    return guarded([&] {
        std::u16string name = bench::utf16(desc_.name);
        if (name.size() >= MAX_PIN_NAME)
            name.resize(MAX_PIN_NAME - 1);
        std::copy(name.begin(), name.end(), info->achName);
        info->achName[name.size()] = 0;
        owner_.AddRef();
        info->pFilter = &owner_;
        info->dir = desc_.direction;
        return S_OK;
    });
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* dir) noexcept {
    if (!dir)
        return E_POINTER;
    *dir = desc_.direction;
    return S_OK;
}

HRESULT Pin::QueryId(LPWSTR* id) noexcept {
    if (!id)
        return E_POINTER;
    *id = nullptr;
    return guarded([&] {
        std::u16string name = bench::utf16(desc_.name);
        auto* text = static_cast<LPWSTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(WCHAR)));
        if (!text)
            return E_OUTOFMEMORY;
        std::copy(name.begin(), name.end(), text);
        text[name.size()] = 0;
        *id = text;
        return S_OK;
    });
}

HRESULT Pin::QueryAccept(const AM_MEDIA_TYPE* type) noexcept {
    if (!type)
        return E_POINTER;
    return guarded([&] { return !desc_.refuses && accepts(type) ? S_OK : S_FALSE; });
}

HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) MediaTypeEnum(owner_, MediumSource{&desc_.medium}, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Pin::Set(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size) noexcept {
    return owner_.property_set(set, id, data, size);
}

HRESULT Pin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                 DWORD* returned) noexcept {
    return owner_.property_get(set, id, data, size, returned);
}

HRESULT Pin::QuerySupported(REFGUID set, DWORD id, DWORD* support) noexcept {
    return owner_.property_query(set, id, support);
}

// ---------------------------------------------------------------------------------------
// Filter.

Filter::Filter(const CLSID& clsid, std::string trace_name)
    : clsid_(clsid), trace_name_(std::move(trace_name)) {}

Filter::~Filter() {
    for (auto& pin : pins_)
        pin->drop_connection();
    if (clock_)
        clock_->Release();
}

void Filter::set_pins(std::string trace_name, const std::vector<bench::PinDesc>& pins) {
    std::vector<std::unique_ptr<Pin>> made;
    for (const bench::PinDesc& desc : pins)
        made.push_back(std::make_unique<Pin>(*this, desc));
    std::lock_guard lock(mutex_);
    trace_name_ = std::move(trace_name);
    pins_ = std::move(made);
}

size_t Filter::pin_count() {
    std::lock_guard lock(mutex_);
    return pins_.size();
}

Pin* Filter::pin_at(size_t index) {
    std::lock_guard lock(mutex_);
    return index < pins_.size() ? pins_[index].get() : nullptr;
}

std::string Filter::trace_name() {
    std::lock_guard lock(mutex_);
    return trace_name_;
}

IFilterGraph* Filter::graph() {
    std::lock_guard lock(mutex_);
    return graph_;
}

void* Filter::find_interface(REFIID riid) noexcept {
    if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter ||
        riid == IID_IPersist)
        return static_cast<IBaseFilter*>(this);
    return nullptr;
}

HRESULT Filter::GetClassID(CLSID* clsid) noexcept {
    if (!clsid)
        return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

HRESULT Filter::Stop() noexcept {
    {
        std::lock_guard lock(mutex_);
        state_ = State_Stopped;
    }
    trace_line([&] { return "Stop " + trace_name(); });
    return S_OK;
}

HRESULT Filter::Pause() noexcept {
    std::lock_guard lock(mutex_);
    state_ = State_Paused;
    return S_OK;
}

HRESULT Filter::Run(REFERENCE_TIME) noexcept {
    std::lock_guard lock(mutex_);
    state_ = State_Running;
    return S_OK;
}

HRESULT Filter::GetState(DWORD, FILTER_STATE* state) noexcept {
    if (!state)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *state = state_;
    return S_OK;
}

HRESULT Filter::SetSyncSource(IReferenceClock* clock) noexcept {
    if (clock)
        clock->AddRef();
    IReferenceClock* old = nullptr;
    {
        std::lock_guard lock(mutex_);
        old = clock_;
        clock_ = clock;
    }
    if (old)
        old->Release();
    return S_OK;
}

HRESULT Filter::GetSyncSource(IReferenceClock** clock) noexcept {
    std::lock_guard lock(mutex_);
    return read_object(clock_, clock);
}

HRESULT Filter::EnumPins(IEnumPins** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) PinEnum(*this, PinSource{this}, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** pin) noexcept {
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    return guarded([&] {
        std::u16string wanted(reinterpret_cast<const char16_t*>(id));
        for (size_t i = 0; Pin* candidate = pin_at(i); ++i) {
            if (bench::utf16(candidate->desc().name) == wanted) {
                candidate->AddRef();
                *pin = candidate;
                return S_OK;
            }
        }
        return VFW_E_NOT_FOUND;
    });
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) noexcept {
    if (!info)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    std::memcpy(info->achName, graph_name_, sizeof info->achName);
    return read_object(graph_, &info->pGraph);
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) noexcept {
    std::lock_guard lock(mutex_);
    // The graph owns the filter: the filter only knows it.
    graph_ = graph;
    std::memset(graph_name_, 0, sizeof graph_name_);
    if (name) {
        size_t n = 0;
        while (name[n] && n < MAX_FILTER_NAME - 1)
            ++n;
        std::memcpy(graph_name_, name, n * sizeof(WCHAR));
    }
    return S_OK;
}

HRESULT Filter::property_query(REFGUID, DWORD, DWORD*) noexcept {
    return E_PROP_SET_UNSUPPORTED;
}

HRESULT Filter::property_get(REFGUID, DWORD, void*, DWORD, DWORD*) noexcept {
    return E_PROP_SET_UNSUPPORTED;
}

HRESULT Filter::property_set(REFGUID, DWORD, const void*, DWORD) noexcept {
    return E_PROP_SET_UNSUPPORTED;
}
} // namespace sim
