// The simulated devices' filters and pins, written once for both hosts: the filters bound
// from bench entries (tuner with topology and the driver's extension property set, capture,
// transport information), the DVB-S network provider, the MPEG-2 demultiplexer and the null
// renderer.
//
// Pins belong to their filter and count their references in the filter's count. A connected
// pin holds a reference to its peer; the graph disconnects both ends before it lets a filter
// go, which breaks that link again. Filter and pin state is kept under the filter's mutex:
// the objects are free-threaded.
#pragma once

#include "simulator/bench/in_force.h"
#include "simulator/devices/object.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class Filter;

// A call whose result the bench's `faults.results` may decide for method (none: no method).
template <class Call> HRESULT with_result_fault(const char* method, Call&& call) noexcept {
    return guarded([&] { return with_fault(method ? result_fault(method) : std::nullopt, call); });
}

// Answered by the simulator's own pins only (QueryInterface gives the Pin itself, AddRef'd):
// tells them from the pins of other filters.
MCC_GUID(IID_BenchPin, 0x5B0E7C2A, 0x3D91, 0x4F6B, 0x8E276A1D4C9F0B21)

// A pin's media type carries its medium; a connection needs equal media, or "*" on either
// side.
class Pin final : public IPin, public IKsPropertySet {
  public:
    Pin(Filter& owner, bench::PinDesc desc) : owner_(owner), desc_(std::move(desc)) {}

    // The simulator's pin behind an interface, or nullptr for anybody else's pin.
    static Pin* from(IPin* pin) noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) noexcept override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                const AM_MEDIA_TYPE* type) noexcept override;
    HRESULT STDMETHODCALLTYPE Disconnect() noexcept override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) noexcept override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) noexcept override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) noexcept override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) noexcept override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) noexcept override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) noexcept override;
    SIM_ANSWER(QueryInternalConnections, (IPin**, ULONG*), E_NOTIMPL)
    SIM_ANSWER(EndOfStream, (), S_OK)
    SIM_ANSWER(BeginFlush, (), S_OK)
    SIM_ANSWER(EndFlush, (), S_OK)
    SIM_ANSWER(NewSegment, (REFERENCE_TIME, REFERENCE_TIME, double), S_OK)

    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID instance, DWORD instance_size,
                                  LPVOID data, DWORD size) noexcept override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID instance, DWORD instance_size,
                                  LPVOID data, DWORD size, DWORD* returned) noexcept override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id,
                                             DWORD* support) noexcept override;

    Filter& owner() const { return owner_; }
    const bench::PinDesc& desc() const { return desc_; }
    // FILTER:PIN, as trace lines name a pin.
    std::string label() const;
    // Connected in a graph, or outside of any (the bench's `connected`).
    bool connected() const;
    // Gives back the peer without asking it to disconnect (the filter is going); false when
    // there was none.
    bool drop_connection() noexcept;

  private:
    HRESULT connect(IPin* receiver, const AM_MEDIA_TYPE* type);
    bool accepts(const AM_MEDIA_TYPE* type) const;
    // connected(), with the owner's mutex held.
    bool connected_locked() const { return peer_ != nullptr || desc_.connected; }

    Filter& owner_;
    const bench::PinDesc desc_;
    IPin* peer_ = nullptr;    // one reference, while connected in a graph
    AM_MEDIA_TYPE type_ = {}; // the connection's type, while connected
};

// Base of every filter: its pins, the graph it is in (known, not owned), its name there,
// its state and clock.
class Filter : public IBaseFilter, public Object {
  public:
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) noexcept override;
    HRESULT STDMETHODCALLTYPE Stop() noexcept override;
    HRESULT STDMETHODCALLTYPE Pause() noexcept override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) noexcept override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) noexcept override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) noexcept override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) noexcept override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) noexcept override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) noexcept override;
    SIM_ANSWER(QueryVendorInfo, (LPWSTR*), E_NOTIMPL)

    std::string trace_name();
    size_t pin_count();
    Pin* pin_at(size_t index); // nullptr past the last pin
    IFilterGraph* graph();
    std::mutex& mutex() { return mutex_; }
    FILTER_STATE state_locked() const { return state_; }

    // The driver's extension property set, offered on the pins of a tuner filter.
    virtual bool has_property_set() noexcept { return false; }
    virtual HRESULT property_query(REFGUID set, DWORD id, DWORD* support) noexcept;
    virtual HRESULT property_get(REFGUID set, DWORD id, void* data, DWORD size,
                                 DWORD* returned) noexcept;
    virtual HRESULT property_set(REFGUID set, DWORD id, const void* data, DWORD size) noexcept;

  protected:
    Filter(const CLSID& clsid, std::string trace_name);
    ~Filter() override;
    void* find_interface(REFIID riid) noexcept override;
    // Gives the filter its name in trace lines and its pins (throws on allocation failure).
    void set_pins(std::string trace_name, const std::vector<bench::PinDesc>& pins);

  private:
    const CLSID clsid_;
    std::mutex mutex_;
    std::string trace_name_;
    std::vector<std::unique_ptr<Pin>> pins_;
    IFilterGraph* graph_ = nullptr;
    WCHAR graph_name_[MAX_FILTER_NAME] = {};
    FILTER_STATE state_ = State_Stopped;
    IReferenceClock* clock_ = nullptr; // one reference
};

// A filter of a bench entry: its pins, and for a tuner the topology and the driver's
// extension property set. The driver's values belong to the entry (in the model), so every
// filter bound from the same entry sees the same values. The hosts bind it differently (the
// Linux host's moniker at once, the Windows driver when its device entry is loaded), and a
// host may answer further interfaces.
class EntryFilter : public Filter, public IBDA_Topology {
  public:
    SIM_IUNKNOWN

    HRESULT STDMETHODCALLTYPE GetNodeTypes(ULONG* count, ULONG capacity,
                                           ULONG types[]) noexcept override;
    HRESULT STDMETHODCALLTYPE GetNodeDescriptors(
        ULONG* count, ULONG capacity, BDANODE_DESCRIPTOR descriptors[]) noexcept override;
    SIM_ANSWER(GetNodeInterfaces, (ULONG, ULONG*, ULONG, GUID[]), E_NOTIMPL)
    SIM_ANSWER(GetPinTypes, (ULONG*, ULONG, ULONG[]), E_NOTIMPL)
    SIM_ANSWER(GetTemplateConnections, (ULONG*, ULONG, BDA_TEMPLATE_CONNECTION[]), E_NOTIMPL)
    SIM_ANSWER(CreatePin, (ULONG, ULONG*), E_NOTIMPL)
    SIM_ANSWER(DeletePin, (ULONG), E_NOTIMPL)
    SIM_ANSWER(SetMediaType, (ULONG, AM_MEDIA_TYPE*), E_NOTIMPL)
    SIM_ANSWER(SetMedium, (ULONG, REGPINMEDIUM*), E_NOTIMPL)
    SIM_ANSWER(CreateTopology, (ULONG, ULONG), E_NOTIMPL)
    SIM_ANSWER(GetControlNode, (ULONG, ULONG, ULONG, IUnknown**), E_NOTIMPL)

    bool has_property_set() noexcept override;
    HRESULT property_query(REFGUID set, DWORD id, DWORD* support) noexcept override;
    HRESULT property_get(REFGUID set, DWORD id, void* data, DWORD size,
                         DWORD* returned) noexcept override;
    HRESULT property_set(REFGUID set, DWORD id, const void* data, DWORD size) noexcept override;

  protected:
    explicit EntryFilter(const CLSID& clsid) : Filter(clsid, "(unbound)") {}
    void* find_interface(REFIID riid) noexcept override;
    // Binds the filter to an entry of model: once. E_UNEXPECTED when it is bound already.
    HRESULT bind(std::shared_ptr<Model> model, const bench::Entry& entry) noexcept;
    // The entry it is bound to, or nullptr.
    const bench::Entry* bound() noexcept;

  private:
    const bench::Prop* find_prop(REFGUID set, DWORD id, HRESULT& hr) noexcept;

    std::mutex bind_mutex_;
    std::shared_ptr<Model> model_;        // keeps entry_ alive
    const bench::Entry* entry_ = nullptr; // set once, by bind()
};

// The filter classes of the bench's entries, one per category. Several entries share one
// class; the Windows driver tells them apart when it loads the device entry.
MCC_GUID(CLSID_BenchTunerFilter, 0x5B0E7C2A, 0x3D91, 0x4F6B, 0x8E276A1D4C9F0B11)
MCC_GUID(CLSID_BenchCaptureFilter, 0x5B0E7C2A, 0x3D91, 0x4F6B, 0x8E276A1D4C9F0B12)
MCC_GUID(CLSID_BenchTransportInformationFilter, 0x5B0E7C2A, 0x3D91, 0x4F6B, 0x8E276A1D4C9F0B13)

// The class id a filter of an entry of a category reports.
const CLSID& entry_filter_class(bench::Category category);

// Factories.
// The filter of an entry of model (a new object every time).
HRESULT create_entry_filter(std::shared_ptr<Model> model, const bench::Entry& entry, REFIID riid,
                            void** ppv) noexcept;
HRESULT create_network_provider(REFIID riid, void** ppv) noexcept;
HRESULT create_demultiplexer(REFIID riid, void** ppv) noexcept;
HRESULT create_null_renderer(REFIID riid, void** ppv) noexcept;
// The filter of the pin on the other side of a connection made outside of any graph.
HRESULT create_outside_filter(REFIID riid, void** ppv) noexcept;
HRESULT create_tuning_space(REFIID riid, void** ppv) noexcept;
HRESULT create_locator(REFIID riid, void** ppv) noexcept;

} // namespace sim
