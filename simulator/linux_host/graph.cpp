// The filter graph: membership under unique names, removal, and direct pin connection.

#include "simulator/linux_host/filter.h"

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

    STANDIN_IUNKNOWN

    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override {
        HRESULT hr = add(pFilter, pName);
        trace("AddFilter " + label(pFilter) + " \"" + utf8(pName) + "\" -> " + hr_text(hr));
        return hr;
    }

    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) override {
        HRESULT hr = remove(pFilter);
        trace("RemoveFilter " + label(pFilter) + " -> " + hr_text(hr));
        return hr;
    }

    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn,
                                            const AM_MEDIA_TYPE*) override {
        HRESULT hr = connect(ppinOut, ppinIn);
        trace("ConnectDirect " + label(ppinOut) + " " + label(ppinIn) + " -> " + hr_text(hr));
        return hr;
    }

  private:
    struct Member {
        Filter* filter; // one reference held by the graph
        std::u16string name;
    };

    void* find_interface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
            return static_cast<IGraphBuilder*>(this);
        if (riid == IID_IMediaControl || riid == IID_IDispatch)
            return static_cast<IMediaControl*>(this);
        return nullptr;
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
        Pin* p = as_pin(pin);
        return p ? p->owner().trace_name() + ":" + p->desc().name : "(outside):Outside";
    }

    Member* find(const Filter* filter) {
        for (Member& member : members_)
            if (member.filter == filter)
                return &member;
        return nullptr;
    }

    bool name_used(const std::u16string& name) const {
        for (const Member& member : members_)
            if (member.name == name)
                return true;
        return false;
    }

    void let_go(Filter* filter) {
        filter->disconnect_pins();
        if (filter->graph() == this)
            filter->set_graph(nullptr);
        filter->release();
    }

    HRESULT add(IBaseFilter* pFilter, LPCWSTR pName) {
        auto fault = current_bench()->result_fault("IFilterGraph::AddFilter");
        if (fault && FAILED(*fault))
            return *fault;
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
        if (!find(filter)) {
            filter->add_ref();
            filter->set_graph(this);
            members_.push_back({filter, name});
        }
        return fault ? *fault : hr;
    }

    HRESULT remove(IBaseFilter* pFilter) {
        Filter* filter = as_filter(pFilter);
        if (!filter)
            return E_FAIL;
        for (auto it = members_.begin(); it != members_.end(); ++it) {
            if (it->filter == filter) {
                members_.erase(it);
                let_go(filter);
                return S_OK;
            }
        }
        return E_FAIL;
    }

    HRESULT connect(IPin* ppinOut, IPin* ppinIn) {
        if (!ppinOut || !ppinIn)
            return E_POINTER;
        Pin* out = as_pin(ppinOut);
        Pin* in = as_pin(ppinIn);
        if (!out || !in || out->owner().graph() != this || in->owner().graph() != this)
            return VFW_E_NOT_IN_GRAPH;
        if (out->desc().direction != PINDIR_OUTPUT || in->desc().direction != PINDIR_INPUT)
            return VFW_E_INVALID_DIRECTION;
        if (out->connected() || in->connected())
            return VFW_E_ALREADY_CONNECTED;
        if (out->desc().refuses || in->desc().refuses ||
            !bench::media_match(out->desc().medium, in->desc().medium))
            return VFW_E_NO_ACCEPTABLE_TYPES;
        out->set_peer(in);
        in->set_peer(out);
        return S_OK;
    }

    std::vector<Member> members_;
};

} // namespace

HRESULT create_filter_graph(REFIID riid, void** ppv) {
    return hand_out(new Graph, riid, ppv);
}

} // namespace standin::detail
