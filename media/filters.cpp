// Filter lookup by friendly name, pin pairing, and the search for the tuner's capture filter.
#include "media/bdasource.h"
#include "media/console.h"
#include "media/text.h"

namespace {

// Reads a pin's direction from its pin information, giving back the filter reference the
// information carries. False when the information cannot be read (anything but S_OK).
bool pin_direction(IPin* pin, PIN_DIRECTION* dir) {
    PIN_INFO info = {};
    info.pFilter = nullptr;
    const HRESULT hr = pin->QueryPinInfo(&info);
    com_ptr<IBaseFilter> owner;
    owner.attach(info.pFilter);
    if (hr != S_OK)
        return false;
    *dir = info.dir;
    return true;
}

// A pin is free only when it answers exactly VFW_E_NOT_CONNECTED.
bool pin_is_free(IPin* pin) {
    com_ptr<IPin> other;
    return pin->ConnectedTo(other.put()) == VFW_E_NOT_CONNECTED;
}

bool pin_usable(IPin* pin, PIN_DIRECTION wanted) {
    PIN_DIRECTION dir;
    return pin_direction(pin, &dir) && dir == wanted && pin_is_free(pin);
}

// Tries the free input pins of downstream, in order, against out. True once the graph has
// connected a pair.
bool connect_to_first_input(IGraphBuilder* graph, IPin* out, IBaseFilter* downstream) {
    com_ptr<IEnumPins> pins;
    if (FAILED(downstream->EnumPins(pins.put())) || !pins)
        return false;
    com_ptr<IPin> in;
    while (pins->Next(1, in.put(), nullptr) == S_OK && in) {
        if (!pin_usable(in.get(), PINDIR_INPUT))
            continue;
        if (graph && graph->ConnectDirect(out, in.get(), nullptr) == S_OK)
            return true;
    }
    return false;
}

} // namespace

int addfilter_byname(media_bda_device* mbd, com_ptr<IBaseFilter>& ppFilter, CLSID clsid,
                     const WCHAR* filtername) {
    com_ptr<ICreateDevEnum> devenum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_ICreateDevEnum,
                                devenum.put_void())) ||
        !devenum)
        return -1;
    com_ptr<IEnumMoniker> entries;
    const HRESULT hr = devenum->CreateClassEnumerator(clsid, entries.put(), 0);
    if (FAILED(hr))
        return -1;
    if (hr != S_OK || !entries)
        return 0; // no members

    media::variant wanted;
    wanted.get()->vt = VT_BSTR;
    wanted.get()->bstrVal = SysAllocString(filtername);

    com_ptr<IMoniker> entry;
    ULONG fetched = 0;
    while (entries->Next(1, entry.put(), &fetched) == S_OK && entry) {
        com_ptr<IPropertyBag> bag;
        if (FAILED(entry->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())) ||
            !bag)
            continue;
        media::variant name;
        bag->Read(MEDIA_W("FriendlyName"), name.get(), nullptr);
        if (!name.is_string() ||
            VarCmp(name.get(), wanted.get(), LOCALE_USER_DEFAULT, 0) != VARCMP_EQ)
            continue;
        // Every entry of that name is bound into the destination and added; the destination
        // keeps the last one. Neither result is examined: an entry that cannot be bound leaves
        // the destination empty, and the graph answers the addition of nothing.
        entry->BindToObject(nullptr, nullptr, IID_IBaseFilter, ppFilter.put_void());
        if (mbd->graph_builder)
            mbd->graph_builder->AddFilter(ppFilter.get(), name.string());
    }
    return 0;
}

HRESULT media_connect_filter(media_bda_device* mbd, IBaseFilter* pFilterUpstream,
                             IBaseFilter* pFilterDownstream) {
    if (!pFilterUpstream || !pFilterDownstream)
        return E_FAIL;
    com_ptr<IEnumPins> pins;
    if (FAILED(pFilterUpstream->EnumPins(pins.put())) || !pins)
        return E_FAIL;
    com_ptr<IPin> out;
    while (pins->Next(1, out.put(), nullptr) == S_OK && out) {
        if (!pin_usable(out.get(), PINDIR_OUTPUT))
            continue;
        if (connect_to_first_input(mbd->graph_builder.get(), out.get(), pFilterDownstream))
            return S_OK;
    }
    return E_FAIL;
}

int media_bda_scan_capture_device(media_bda_device* mbd, int /*i*/) {
    com_ptr<ICreateDevEnum> devenum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devenum.put_void())) ||
        !devenum) {
        media_printf("CoCreateInstance Failed\n");
        return -1;
    }
    com_ptr<IEnumMoniker> candidates;
    const HRESULT hr =
        devenum->CreateClassEnumerator(KSCATEGORY_BDA_RECEIVER_COMPONENT, candidates.put(), 0);
    if (FAILED(hr)) {
        media_printf("Enumeration failed\n");
        return -1;
    }
    if (hr != S_OK || !candidates) {
        media_printf("No devices available\n");
        return 0;
    }

    IGraphBuilder* graph = mbd->graph_builder.get();
    if (graph)
        media_printf(
            "add morvane driver %d\n",
            media_dec(graph->AddFilter(mbd->tuner_filter.get(), MEDIA_W("Morvane TVTuner"))));

    int examined = 0;
    for (;;) {
        com_ptr<IMoniker> entry;
        ULONG fetched = 0;
        const HRESULT next = candidates->Next(1, entry.put(), &fetched);
        if (FAILED(next)) {
            media_printf("enumeration failed\n");
            return -1;
        }
        if (fetched == 0 || !entry)
            return 0;
        if (examined > 10)
            return 0;
        ++examined;

        com_ptr<IPropertyBag> bag;
        if (FAILED(entry->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())) ||
            !bag)
            return -1;
        media::variant name;
        bag->Read(MEDIA_W("FriendlyName"), name.get(), nullptr);
        media_printf("Found device: %s\n", media::to_utf8(name.string()).c_str());
        media::variant path;
        bag->Read(MEDIA_W("DevicePath"), path.get(), nullptr);
        media_printf("DevicePath: %s\n", media::to_utf8(path.string()).c_str());

        entry->BindToObject(nullptr, nullptr, IID_IBaseFilter, mbd->capture_filter.put_void());
        if (graph)
            graph->AddFilter(mbd->capture_filter.get(), MEDIA_W("Morvane Capture"));
        if (media_connect_filter(mbd, mbd->tuner_filter.get(), mbd->capture_filter.get()) != E_FAIL)
            return 0;
        if (graph)
            graph->RemoveFilter(mbd->capture_filter.get());
    }
}
