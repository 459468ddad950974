// The driver's filters and pins: the filters of the bench's device entries (tuner with
// topology and extension property set, capture, transport information), the network
// provider's filter part and the MPEG-2 demultiplexer.
//
// Pins belong to their filter and count their references in the filter's count. A connected
// pin holds a reference to its peer, as the platform's pins do; the graph disconnects both
// ends before it lets a filter go, which breaks that link again.

#include "simulator/windows_driver/filters.h"

#include <algorithm>
#include <cstring>

namespace simdriver {

namespace {

// The format of the media types the driver's pins offer: the pin's medium, in UTF-8.
// {5B0E7C2A-3D91-4F6B-8E27-6A1D4C9F0B20}
constexpr GUID format_bench_medium = {
    0x5B0E7C2A, 0x3D91, 0x4F6B, {0x8E, 0x27, 0x6A, 0x1D, 0x4C, 0x9F, 0x0B, 0x20}};

constexpr ULONG topology_capacity = 256;
constexpr HRESULT hr_insufficient_buffer = static_cast<HRESULT>(0x8007007A);
constexpr HRESULT hr_file_not_found = static_cast<HRESULT>(0x80070002);
// The device of an entry that is gone or unknown.
constexpr HRESULT hr_device_not_connected = static_cast<HRESULT>(0x8007048F);

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

    SIMDRIVER_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) noexcept override {
        return VFW_E_ALREADY_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) noexcept override {
        return VFW_E_ALREADY_CONNECTED;
    }
    // The connection is not the graph's: it stays.
    HRESULT STDMETHODCALLTYPE Disconnect() noexcept override { return S_OK; }
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
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) noexcept override {
        if (!info)
            return E_POINTER;
        info->pFilter = nullptr;
        info->dir = direction();
        std::memcpy(info->achName, L"Outside", sizeof(L"Outside"));
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
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(L"Outside")));
        if (!*id)
            return E_OUTOFMEMORY;
        std::memcpy(*id, L"Outside", sizeof(L"Outside"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) noexcept override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) noexcept override {
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
    PinEnum(Filter& filter, size_t position) : filter_(filter), next_(position) {
        filter_.add_ref();
    }
    ~PinEnum() override { filter_.release(); }

    SIMDRIVER_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) noexcept override {
        if (fetched)
            *fetched = 0;
        if (!pins || (count > 1 && !fetched))
            return E_POINTER;
        std::vector<Pin*> all = filter_.pin_list();
        std::lock_guard lock(mutex_);
        ULONG n = 0;
        while (n < count && next_ < all.size()) {
            Pin* pin = all[next_++];
            pin->AddRef();
            pins[n++] = pin;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
        size_t size = filter_.pin_list().size();
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
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) noexcept override {
        if (!out)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *out = new (std::nothrow) PinEnum(filter_, next_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IEnumPins)
            return static_cast<IEnumPins*>(this);
        return nullptr;
    }

    Filter& filter_;
    std::mutex mutex_;
    size_t next_;
};

// The pin's one media type: its medium.
class MediaTypeEnum final : public IEnumMediaTypes, public Object {
  public:
    MediaTypeEnum(Filter& filter, std::string medium, size_t position)
        : filter_(filter), medium_(std::move(medium)), next_(position) {
        filter_.add_ref();
    }
    ~MediaTypeEnum() override { filter_.release(); }

    SIMDRIVER_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types,
                                   ULONG* fetched) noexcept override {
        if (fetched)
            *fetched = 0;
        if (!types || (count > 1 && !fetched))
            return E_POINTER;
        std::lock_guard lock(mutex_);
        ULONG n = 0;
        while (n < count && next_ < 1) {
            auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
            if (!type || FAILED(medium_type(medium_, *type))) {
                CoTaskMemFree(type);
                break;
            }
            types[n++] = type;
            ++next_;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
        std::lock_guard lock(mutex_);
        if (1 - std::min<size_t>(next_, 1) < count) {
            next_ = 1;
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
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) noexcept override {
        if (!out)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *out = new (std::nothrow) MediaTypeEnum(filter_, medium_, next_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes)
            return static_cast<IEnumMediaTypes*>(this);
        return nullptr;
    }

    Filter& filter_;
    std::string medium_;
    std::mutex mutex_;
    size_t next_;
};

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

Pin* Pin::from(IPin* pin) {
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
    HRESULT hr = connect(receiver, type);
    std::string peer = !receiver             ? "(null)"
                       : Pin::from(receiver) ? Pin::from(receiver)->label()
                                             : foreign_label(receiver);
    trace("ConnectDirect " + label() + " " + peer + " -> " + bench::hr_text(hr));
    return hr;
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
    IPin* peer = nullptr;
    {
        std::lock_guard lock(owner_.mutex());
        if (!peer_)
            return desc_.connected ? S_OK : S_FALSE;
        peer = peer_;
        peer_ = nullptr;
        free_format(type_);
    }
    peer->Release();
    return S_OK;
}

void Pin::drop_connection() {
    IPin* peer = nullptr;
    {
        std::lock_guard lock(owner_.mutex());
        peer = peer_;
        peer_ = nullptr;
        free_format(type_);
    }
    if (peer)
        peer->Release();
}

HRESULT Pin::ConnectedTo(IPin** pin) noexcept {
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    std::lock_guard lock(owner_.mutex());
    if (peer_) {
        peer_->AddRef();
        *pin = peer_;
        return S_OK;
    }
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
    owner_.AddRef();
    info->pFilter = &owner_;
    info->dir = desc_.direction;
    std::u16string name = bench::utf16(desc_.name);
    if (name.size() >= MAX_PIN_NAME)
        name.resize(MAX_PIN_NAME - 1);
    std::copy(name.begin(), name.end(), info->achName);
    info->achName[name.size()] = 0;
    return S_OK;
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
    std::u16string name = bench::utf16(desc_.name);
    auto* text = static_cast<LPWSTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(WCHAR)));
    if (!text)
        return E_OUTOFMEMORY;
    std::copy(name.begin(), name.end(), text);
    text[name.size()] = 0;
    *id = text;
    return S_OK;
}

HRESULT Pin::QueryAccept(const AM_MEDIA_TYPE* type) noexcept {
    if (!type)
        return E_POINTER;
    return !desc_.refuses && accepts(type) ? S_OK : S_FALSE;
}

HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) MediaTypeEnum(owner_, desc_.medium, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Pin::QueryInternalConnections(IPin**, ULONG*) noexcept {
    return E_NOTIMPL;
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

Filter::Filter(const CLSID& clsid, std::string trace_name) : clsid_(clsid) {
    trace_name_ = std::move(trace_name);
}

Filter::~Filter() {
    for (auto& pin : pins_)
        pin->drop_connection();
    if (clock_)
        clock_->Release();
}

void Filter::set_pins(const std::vector<bench::PinDesc>& pins) {
    std::lock_guard lock(mutex_);
    pins_.clear();
    for (const bench::PinDesc& desc : pins)
        pins_.push_back(std::make_unique<Pin>(*this, desc));
}

std::vector<Pin*> Filter::pin_list() {
    std::lock_guard lock(mutex_);
    std::vector<Pin*> list;
    for (auto& pin : pins_)
        list.push_back(pin.get());
    return list;
}

std::string Filter::trace_name() {
    std::lock_guard lock(mutex_);
    return trace_name_;
}

void Filter::set_trace_name(std::string name) {
    std::lock_guard lock(mutex_);
    trace_name_ = std::move(name);
}

IFilterGraph* Filter::graph() {
    std::lock_guard lock(mutex_);
    return graph_;
}

void* Filter::find_interface(REFIID riid) {
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
    trace("Stop " + trace_name());
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
    if (!clock)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *clock = clock_;
    if (clock_)
        clock_->AddRef();
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) PinEnum(*this, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** pin) noexcept {
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    std::u16string wanted(reinterpret_cast<const char16_t*>(id));
    for (Pin* candidate : pin_list()) {
        if (bench::utf16(candidate->desc().name) == wanted) {
            candidate->AddRef();
            *pin = candidate;
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) noexcept {
    if (!info)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    std::memcpy(info->achName, graph_name_, sizeof info->achName);
    info->pGraph = graph_;
    if (graph_)
        graph_->AddRef();
    return S_OK;
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

HRESULT Filter::QueryVendorInfo(LPWSTR*) noexcept {
    return E_NOTIMPL;
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

// ---------------------------------------------------------------------------------------
// The filters of the bench's device entries.

namespace {

class DeviceFilter final : public Filter, public IBDA_Topology, public IPersistPropertyBag {
  public:
    explicit DeviceFilter(bench::Category category)
        : Filter(filter_class(category), "(unbound)"), category_(category) {}

    SIMDRIVER_IUNKNOWN

    // IPersist: both bases have it; the filter answers.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) noexcept override {
        return Filter::GetClassID(clsid);
    }

    HRESULT STDMETHODCALLTYPE InitNew() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) noexcept override {
        return E_NOTIMPL;
    }

    // Binds the filter to the bench entry its device entry stands for: the entry of this
    // category with the bag's DevicePath (of several, the one at the registered position),
    // or, when the bag has no string DevicePath, the entry at the registered position if its
    // device path reads the same. An entry that is gone or unknown fails the bind.
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog*) noexcept override {
        if (!bag)
            return E_POINTER;
        try {
            {
                std::lock_guard lock(bind_mutex_);
                if (entry_)
                    return E_UNEXPECTED; // bound already
            }
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

            std::shared_ptr<Model> model = current_bench();
            const bench::Entry* found = nullptr;
            {
                std::lock_guard lock(bench_mutex());
                found = find_entry(*model, path_hr, path, position);
            }
            VariantClear(&path);
            if (!found)
                return hr_device_not_connected;
            if (found->bind_to_object_fails)
                return E_FAIL;
            std::lock_guard lock(bind_mutex_);
            if (entry_)
                return E_UNEXPECTED;
            model_ = std::move(model);
            entry_ = found;
            set_trace_name(found->id);
            set_pins(found->pins);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    HRESULT STDMETHODCALLTYPE GetNodeTypes(ULONG* count, ULONG capacity,
                                           ULONG types[]) noexcept override {
        const bench::Entry* entry = bound();
        if (!entry)
            return E_UNEXPECTED;
        const bench::Topology& topology = entry->topology;
        if (topology.fail == bench::Topology::Fail::node_types)
            return E_FAIL;
        if (!count)
            return E_POINTER;
        size_t n = topology.node_types.size();
        if (n > topology_capacity || n > capacity)
            return hr_insufficient_buffer;
        if (n > 0 && !types)
            return E_POINTER;
        std::copy(topology.node_types.begin(), topology.node_types.end(), types);
        *count = static_cast<ULONG>(n);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetNodeDescriptors(
        ULONG* count, ULONG capacity, BDANODE_DESCRIPTOR descriptors[]) noexcept override {
        const bench::Entry* entry = bound();
        if (!entry)
            return E_UNEXPECTED;
        const bench::Topology& topology = entry->topology;
        if (topology.fail == bench::Topology::Fail::descriptors)
            return E_FAIL;
        if (!count)
            return E_POINTER;
        size_t n = topology.functions.size();
        if (n > topology_capacity || n > capacity)
            return hr_insufficient_buffer;
        if (n > 0 && !descriptors)
            return E_POINTER;
        for (size_t i = 0; i < n; ++i) {
            descriptors[i].ulBdaNodeType = static_cast<ULONG>(i);
            descriptors[i].guidFunction = topology.functions[i];
            descriptors[i].guidName = GUID{};
        }
        *count = static_cast<ULONG>(n);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetNodeInterfaces(ULONG, ULONG*, ULONG, GUID[]) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPinTypes(ULONG*, ULONG, ULONG[]) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetTemplateConnections(ULONG*, ULONG,
                                                     BDA_TEMPLATE_CONNECTION[]) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreatePin(ULONG, ULONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeletePin(ULONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMediaType(ULONG, AM_MEDIA_TYPE*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMedium(ULONG, REGPINMEDIUM*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateTopology(ULONG, ULONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetControlNode(ULONG, ULONG, ULONG, IUnknown**) noexcept override {
        return E_NOTIMPL;
    }

    bool has_property_set() override {
        const bench::Entry* entry = bound();
        return entry && entry->category == bench::Category::tuners &&
               entry->driver.kind != bench::Driver::Kind::absent;
    }

    HRESULT property_query(REFGUID set, DWORD id, DWORD* support) override {
        HRESULT hr;
        DWORD flags = 0;
        {
            std::lock_guard lock(bench_mutex());
            const bench::Prop* prop = find_prop(set, id, hr);
            if (prop) {
                bench::Access access = bench::query_access(*prop);
                hr = access.hr;
                if (SUCCEEDED(hr) && !support)
                    hr = E_POINTER;
                if (SUCCEEDED(hr)) {
                    flags = prop->support;
                    *support = flags;
                }
            }
        }
        trace("QuerySupported " + std::to_string(id) + " -> " + bench::hr_text(hr) + " " +
              std::to_string(flags));
        return hr;
    }

    HRESULT property_get(REFGUID set, DWORD id, void* data, DWORD size, DWORD* returned) override {
        HRESULT hr;
        int32_t written = 0;
        {
            std::lock_guard lock(bench_mutex());
            const bench::Prop* prop = find_prop(set, id, hr);
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
        trace("Get " + std::to_string(id) + " -> " + bench::hr_text(hr) + " " +
              std::to_string(written));
        return hr;
    }

    HRESULT property_set(REFGUID set, DWORD id, const void* data, DWORD size) override {
        HRESULT hr;
        int32_t value = 0;
        if (data && size >= 4) {
            auto* bytes = static_cast<const unsigned char*>(data);
            uint32_t bits = 0;
            for (int i = 0; i < 4; ++i)
                bits |= uint32_t(bytes[i]) << (8 * i);
            value = static_cast<int32_t>(bits);
        }
        {
            std::lock_guard lock(bench_mutex());
            bench::Prop* prop = const_cast<bench::Prop*>(find_prop(set, id, hr));
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
                        store_property(*model_, *entry_, id, value);
                    }
                }
            }
        }
        trace("Set " + std::to_string(id) + " " + std::to_string(value) + " -> " +
              bench::hr_text(hr));
        return hr;
    }

  private:
    void* find_interface(REFIID riid) override {
        if (riid == IID_IPersistPropertyBag)
            return static_cast<IPersistPropertyBag*>(this);
        if (riid == IID_IBDA_Topology) {
            const bench::Entry* entry = bound();
            if (!entry || entry->category != bench::Category::tuners || entry->topology.absent)
                return nullptr;
            return static_cast<IBDA_Topology*>(this);
        }
        return Filter::find_interface(riid);
    }

    const bench::Entry* bound() {
        std::lock_guard lock(bind_mutex_);
        return entry_;
    }

    // Call with bench_mutex() held.
    const bench::Entry* find_entry(const Model& model, HRESULT path_hr, const VARIANT& path,
                                   std::optional<size_t> position) const {
        const std::vector<bench::Entry>& entries = model.bench.entries(category_);
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
        if (path.vt == VT_I4)
            return e.device_path.kind == Kind::number && e.device_path.number == path.lVal
                       ? &e
                       : nullptr;
        return nullptr;
    }

    // The property a call addresses, or nullptr with the failure in hr. Call with
    // bench_mutex() held.
    const bench::Prop* find_prop(REFGUID set, DWORD id, HRESULT& hr) {
        const bench::Entry* entry = bound();
        if (!entry || set != bench::tuner_extension_set) {
            hr = E_PROP_SET_UNSUPPORTED;
            return nullptr;
        }
        return bench::find_property(entry->driver, id, hr);
    }

    const bench::Category category_;
    std::mutex bind_mutex_;
    std::shared_ptr<Model> model_;        // keeps entry_ alive
    const bench::Entry* entry_ = nullptr; // set once, by Load
};

class Demultiplexer final : public Filter {
  public:
    Demultiplexer() : Filter(CLSID_MPEG2Demultiplexer, "MPEG2Demultiplexer") {
        set_pins(bench::demultiplexer_pins());
    }
    SIMDRIVER_IUNKNOWN
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

const CLSID& filter_class(bench::Category category) {
    switch (category) {
    case bench::Category::tuners:
        return CLSID_BenchTunerFilter;
    case bench::Category::captures:
        return CLSID_BenchCaptureFilter;
    default:
        return CLSID_BenchTransportInformationFilter;
    }
}

HRESULT create_device_filter(bench::Category category, REFIID riid, void** ppv) {
    return hand_out(new DeviceFilter(category), riid, ppv);
}

HRESULT create_demultiplexer(REFIID riid, void** ppv) {
    return hand_out(new Demultiplexer, riid, ppv);
}

} // namespace simdriver
