// The filter graph: membership under unique names, removal, and direct pin connection. The
// filters and pins are the shared simulated ones; the graph asks them to connect and to
// disconnect as the platform's own graph does.

#include "simulator/devices/filters.h"
#include "simulator/linux_host/internal.h"

#include <algorithm>
#include <cstdio>

namespace standin::detail {

namespace {

class Graph final : public IGraphBuilder, public IMediaControl, public Object {
  public:
    ~Graph() override {
        // The graph gives its filters back disconnected and no longer knowing it.
        for (Member& member : members_)
            let_go(member.filter);
    }

    SIM_IUNKNOWN
    SIM_NO_DISPATCH

    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) noexcept override {
        HRESULT hr =
            with_result_fault("IFilterGraph::AddFilter", [&] { return add(pFilter, pName); });
        trace_line([&] {
            return "AddFilter " + label(pFilter) + " \"" + utf8(pName) + "\" -> " + hr_text(hr);
        });
        return hr;
    }

    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) noexcept override {
        HRESULT hr = remove(pFilter);
        trace_line([&] { return "RemoveFilter " + label(pFilter) + " -> " + hr_text(hr); });
        return hr;
    }

    // The output pin connects itself (and traces the call) when both pins' filters are in
    // this graph.
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn,
                                            const AM_MEDIA_TYPE* pmt) noexcept override {
        Pin* out = Pin::from(ppinOut);
        Pin* in = Pin::from(ppinIn);
        if (out && in && out->owner().graph() == this && in->owner().graph() == this)
            return ppinOut->Connect(ppinIn, pmt);
        HRESULT hr = !ppinOut || !ppinIn ? E_POINTER : VFW_E_NOT_IN_GRAPH;
        trace_line([&] {
            return "ConnectDirect " + label(ppinOut) + " " + label(ppinIn) + " -> " + hr_text(hr);
        });
        return hr;
    }

  private:
    struct Member {
        Filter* filter; // one reference held by the graph
        std::u16string name;
    };

    void* find_interface(REFIID riid) noexcept override {
        if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
            return static_cast<IGraphBuilder*>(this);
        if (riid == IID_IMediaControl || riid == IID_IDispatch)
            return static_cast<IMediaControl*>(this);
        return nullptr;
    }

    static Filter* as_filter(IBaseFilter* filter) noexcept {
        return filter ? dynamic_cast<Filter*>(filter) : nullptr;
    }

    static std::string label(IBaseFilter* filter) {
        if (!filter)
            return "(null)";
        Filter* f = as_filter(filter);
        return f ? f->trace_name() : "(unknown)";
    }

    static std::string label(IPin* pin) {
        if (!pin)
            return "(null)";
        Pin* p = Pin::from(pin);
        return p ? p->label() : "(outside):Outside";
    }

    std::vector<Member>::iterator member_of(const Filter* filter) {
        return std::find_if(members_.begin(), members_.end(),
                            [&](const Member& member) { return member.filter == filter; });
    }

    bool name_used(const std::u16string& name) const {
        return std::any_of(members_.begin(), members_.end(),
                           [&](const Member& member) { return member.name == name; });
    }

    // Disconnects the filter's pins on both sides, and the filter leaves the graph.
    void let_go(Filter* filter) noexcept {
        for (size_t i = 0; Pin* pin = filter->pin_at(i); ++i) {
            IPin* peer = nullptr;
            if (pin->ConnectedTo(&peer) == S_OK && peer) {
                peer->Disconnect();
                pin->Disconnect();
                peer->Release();
            }
        }
        if (filter->graph() == this)
            filter->JoinFilterGraph(nullptr, nullptr);
        filter->release();
    }

    HRESULT add(IBaseFilter* pFilter, LPCWSTR pName) {
        if (!pFilter)
            return E_POINTER;
        Filter* filter = as_filter(pFilter);
        if (!filter)
            return E_INVALIDARG;
        std::u16string name = pName ? pName : u"";
        HRESULT hr = S_OK;
        if (name_used(name)) {
            hr = VFW_S_DUPLICATE_NAME;
            std::u16string base = name;
            for (unsigned n = 1; name_used(name); ++n) {
                char suffix[16];
                std::snprintf(suffix, sizeof suffix, " %04u", n);
                name = base + utf16(suffix);
            }
        }
        if (member_of(filter) == members_.end()) {
            members_.push_back({filter, name});
            filter->add_ref();
            filter->JoinFilterGraph(this, name.c_str());
        }
        return hr;
    }

    HRESULT remove(IBaseFilter* pFilter) noexcept {
        auto it = member_of(as_filter(pFilter));
        if (it == members_.end()) // no filter of this graph (or none at all)
            return E_FAIL;
        Filter* filter = it->filter;
        members_.erase(it);
        let_go(filter);
        return S_OK;
    }

    std::vector<Member> members_;
};

} // namespace

HRESULT create_filter_graph(REFIID riid, void** ppv) noexcept {
    return hand_out(new (std::nothrow) Graph, riid, ppv);
}

} // namespace standin::detail
