// Internal: the stand-in's filters and pins, shared by the filter, graph and tuning units.
#pragma once

#ifndef _WIN32

#include "simulator/linux_host/internal.h"

#include <memory>
#include <string>
#include <vector>

namespace standin::detail {

class Filter;

// A pin belongs to its filter: it has no reference count of its own but delegates to the
// filter's, so a pin that is still held keeps its filter alive.
class Pin final : public IPin, public IKsPropertySet {
  public:
    Pin(Filter& owner, PinDesc desc) : owner_(owner), desc_(std::move(desc)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) override;

    HRESULT STDMETHODCALLTYPE Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                                  DWORD cbInstanceData, LPVOID pPropData,
                                  DWORD cbPropData) override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                                  DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData,
                                  DWORD* pcbReturned) override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID guidPropSet, DWORD dwPropID,
                                             DWORD* pTypeSupport) override;

    Filter& owner() const { return owner_; }
    const PinDesc& desc() const { return desc_; }
    // Connected inside a graph (peer) or outside of any graph (the bench's `connected`).
    bool connected() const { return peer_ != nullptr || desc_.connected; }
    Pin* peer() const { return peer_; }
    void set_peer(Pin* peer) { peer_ = peer; }
    // Breaks a connection made in a graph, on both sides.
    void disconnect();

  private:
    Filter& owner_;
    PinDesc desc_;
    Pin* peer_ = nullptr; // not owned: a graph disconnects its filters before letting go
};

// Base of every filter: pins, the graph it is in (known, not owned), Stop and EnumPins.
class Filter : public IBaseFilter, public Object {
  public:
    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** ppEnum) override;

    // The filter's name in trace lines.
    const std::string& trace_name() const { return trace_name_; }
    const std::vector<std::unique_ptr<Pin>>& pins() const { return pins_; }
    const void* graph() const { return graph_; }
    void set_graph(const void* graph) { graph_ = graph; }
    void disconnect_pins();

    // The driver's extension property set, offered on the pins of a tuner filter.
    virtual bool has_property_set() const { return false; }
    virtual HRESULT property_query(REFGUID set, DWORD id, DWORD* support);
    virtual HRESULT property_get(REFGUID set, DWORD id, void* data, DWORD size, DWORD* returned);
    virtual HRESULT property_set(REFGUID set, DWORD id, const void* data, DWORD size);

  protected:
    Filter(std::string trace_name, const std::vector<PinDesc>& pins);
    ~Filter() override;
    void* find_interface(REFIID riid) override;

  private:
    std::string trace_name_;
    std::vector<std::unique_ptr<Pin>> pins_;
    const void* graph_ = nullptr;
};

// The stand-in filter behind an IBaseFilter handed out by the stand-in, or nullptr.
Filter* as_filter(IBaseFilter* filter);
// The stand-in filter pin behind an IPin, or nullptr (a pin outside every graph).
Pin* as_pin(IPin* pin);

} // namespace standin::detail

#endif
