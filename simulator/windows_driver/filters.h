// The simulated driver's filters and pins, shared by the filter and tuning units.
#pragma once

#include "simulator/windows_driver/simdriver.h"

#include <memory>
#include <string>
#include <vector>

namespace simdriver {

class Filter;

// Answered by the driver's own pins only (QueryInterface gives the Pin itself, AddRef'd):
// tells the driver's pins from those of other filters.
// {5B0E7C2A-3D91-4F6B-8E27-6A1D4C9F0B21}
inline constexpr IID IID_BenchPin = {
    0x5B0E7C2A, 0x3D91, 0x4F6B, {0x8E, 0x27, 0x6A, 0x1D, 0x4C, 0x9F, 0x0B, 0x21}};

// A pin belongs to its filter and counts its references in the filter's count. Its media type
// carries its medium; a connection needs equal media, or "*" on either side.
class Pin final : public IPin, public IKsPropertySet {
  public:
    Pin(Filter& owner, bench::PinDesc desc) : owner_(owner), desc_(std::move(desc)) {}

    // The driver's pin behind an interface, or nullptr for anybody else's pin.
    static Pin* from(IPin* pin);

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
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* n) noexcept override;
    HRESULT STDMETHODCALLTYPE EndOfStream() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) noexcept override {
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID instance, DWORD instance_size,
                                  LPVOID data, DWORD size) noexcept override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID instance, DWORD instance_size,
                                  LPVOID data, DWORD size, DWORD* returned) noexcept override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id,
                                             DWORD* support) noexcept override;

    const bench::PinDesc& desc() const { return desc_; }
    // FILTER:PIN, as trace lines name a pin.
    std::string label() const;
    // Gives back the peer without asking it to disconnect (the filter is going).
    void drop_connection();

  private:
    HRESULT connect(IPin* receiver, const AM_MEDIA_TYPE* type);
    bool accepts(const AM_MEDIA_TYPE* type) const;
    // Connected in a graph, or outside of any (the bench's `connected`). Owner's mutex held.
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
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) noexcept override;

    std::string trace_name();
    std::vector<Pin*> pin_list();
    IFilterGraph* graph();
    std::mutex& mutex() { return mutex_; }
    FILTER_STATE state_locked() const { return state_; }

    // The driver's extension property set, offered on the pins of a tuner filter.
    virtual bool has_property_set() { return false; }
    virtual HRESULT property_query(REFGUID set, DWORD id, DWORD* support);
    virtual HRESULT property_get(REFGUID set, DWORD id, void* data, DWORD size, DWORD* returned);
    virtual HRESULT property_set(REFGUID set, DWORD id, const void* data, DWORD size);

  protected:
    Filter(const CLSID& clsid, std::string trace_name);
    ~Filter() override;
    void* find_interface(REFIID riid) override;
    void set_pins(const std::vector<bench::PinDesc>& pins);
    void set_trace_name(std::string name);

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

} // namespace simdriver
