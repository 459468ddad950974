// Assembly, connection and teardown of the DVB-S reception graph around one tuner.
//
// A creation that fails leaves its field empty; every later step that would call the missing
// object is skipped together with its line. A missing object is still handed to the objects
// that exist (additions to the graph, pin pairings, the tuner control's tuning space and tune
// request): they answer for it.
#include "media/bdasource.h"
#include "media/console.h"
#include "media/text.h"

namespace {

// The class of the network provider, read back from the tuning space's network type.
HRESULT create_network_provider(media_bda_device* mbd) {
    mbd->network_provider = nullptr;
    if (!mbd->tuning_space)
        return E_POINTER;
    media::bstr network_type;
    HRESULT hr = mbd->tuning_space->get_NetworkType(network_type.put());
    if (FAILED(hr))
        return hr;
    if (!network_type.get() || !network_type.get()[0])
        return CO_E_CLASSSTRING;
    CLSID provider = {};
    hr = CLSIDFromString(network_type.get(), &provider);
    if (FAILED(hr))
        return hr;
    return CoCreateInstance(provider, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            mbd->network_provider.put_void());
}

// The DVB-S locator, configured; empty when it cannot be created.
com_ptr<IDVBSLocator> create_locator() {
    com_ptr<IDVBSLocator> locator;
    const HRESULT hr = CoCreateInstance(CLSID_DVBSLocator, nullptr, CLSCTX_ALL, IID_IDVBSLocator,
                                        locator.put_void());
    if (hr == CLASS_E_NOAGGREGATION)
        media_printf("can't be created...\n");
    else if (hr == REGDB_E_CLASSNOTREG)
        media_printf("Locator class isn't registered\n");
    if (FAILED(hr) || !locator)
        return nullptr;
    locator->put_CarrierFrequency(10750000);
    locator->put_InnerFEC(BDA_FEC_METHOD_NOT_SET);
    locator->put_OuterFEC(BDA_FEC_METHOD_NOT_SET);
    locator->put_OuterFECRate(BDA_BCC_RATE_NOT_SET);
    locator->put_SymbolRate(27500);
    locator->put_InnerFECRate(BDA_BCC_RATE_5_6);
    if (FAILED(locator->put_Modulation(BDA_MOD_OQPSK)))
        media_printf("put carrierfrequency failed\n");
    return locator;
}

// Removes a filter from the graph, stops it and releases it; the transport-information
// filter is stopped before it is removed.
enum class stop_order { after_removal, before_removal };
void take_out(media_bda_device* mbd, com_ptr<IBaseFilter>& filter, stop_order order) {
    if (!filter)
        return;
    if (order == stop_order::before_removal)
        filter->Stop();
    if (mbd->graph_builder)
        mbd->graph_builder->RemoveFilter(filter.get());
    if (order == stop_order::after_removal)
        filter->Stop();
    filter = nullptr;
}

} // namespace

int media_bda_create_graph(media_bda_device* mbd) {
    media::bstr space_name(MEDIA_W("Local DVB-S Digital Antenna"));
    media::bstr network_type(MEDIA_W("{FA4B375A-45B4-4D45-8440-263957B11623}"));

    CoCreateInstance(CLSID_FilterGraphNoThread, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                     mbd->graph_builder.put_void());
    IGraphBuilder* graph = mbd->graph_builder.get();
    mbd->graph_builder.query(IID_IMediaControl, mbd->media_control);

    CoCreateInstance(CLSID_DVBSTuningSpace, nullptr, CLSCTX_ALL, IID_IDVBSTuningSpace,
                     mbd->tuning_space.put_void());
    if (IDVBSTuningSpace* space = mbd->tuning_space.get()) {
        space->put_SystemType(DVB_Satellite);
        space->put_UniqueName(space_name.get());
        space->put_FriendlyName(space_name.get());
        space->put_LowOscillator(9750000);
        space->put_HighOscillator(10600000);
        space->put_LNBSwitch(11700000);
        space->put_InputRange(nullptr);
        space->put_SpectralInversion(BDA_SPECTRAL_INVERSION_AUTOMATIC);
        media_printf("PUT NETWORKTYPE: %x\n",
                     media_hex(space->put_NetworkType(network_type.get())));
    }

    if (SUCCEEDED(create_network_provider(mbd)) && mbd->network_provider)
        media_printf("Creating network provider succeeded!!\n");
    else
        media_printf("Creating network provider failed\n");
    if (graph)
        media_printf(
            "ADD FILTER NETWORKPROVIDER: %x\n",
            media_hex(graph->AddFilter(mbd->network_provider.get(), MEDIA_W("Network Provider"))));

    com_ptr<ITuneRequest> request;
    if (mbd->tuning_space)
        media_printf("Create Tune Request :%x\n",
                     media_hex(mbd->tuning_space->CreateTuneRequest(request.put())));

    com_ptr<IDVBSLocator> locator = create_locator();
    media_printf("PUT LOCATOR\n");
    if (request)
        request->put_Locator(locator.get());
    locator = nullptr;

    media_printf("QueryInterface\n");
    mbd->network_provider.query(IID_IScanningTuner, mbd->tuner_control);
    if (IScanningTuner* tuner = mbd->tuner_control.get()) {
        media_printf("PUT TUNINGSPACE: %x\n",
                     media_hex(tuner->put_TuningSpace(mbd->tuning_space.get())));
        media_printf("Put Tune request 1: %x\n", media_hex(tuner->put_TuneRequest(request.get())));
    }

    if (graph)
        graph->AddFilter(mbd->source_filter.get(), MEDIA_W("Source Filter"));

    if (SUCCEEDED(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, mbd->demux_filter.put_void())) &&
        mbd->demux_filter)
        media_printf("Creating mpeg2 demux succeeded!!\n");
    else
        media_printf("Creating mpeg2 demux failed\n");
    if (graph)
        graph->AddFilter(mbd->demux_filter.get(), MEDIA_W("MPEG2 Demux"));

    addfilter_byname(mbd, mbd->tif_filter, KSCATEGORY_BDA_TRANSPORT_INFORMATION,
                     MEDIA_W("BDA MPEG2 Transport Information Filter"));
    addfilter_byname(mbd, mbd->sections_filter, KSCATEGORY_BDA_TRANSPORT_INFORMATION,
                     MEDIA_W("MPEG-2 Sections and Tables"));
    return 0;
}

int media_bda_connect_graph(media_bda_device* mbd) {
    IGraphBuilder* graph = mbd->graph_builder.get();
    if (graph) {
        media_printf(
            "add morvane driver %d\n",
            media_dec(graph->AddFilter(mbd->tuner_filter.get(), MEDIA_W("Morvane TVTuner"))));
        media_printf(
            "adding capture: %d\n",
            media_dec(graph->AddFilter(mbd->capture_filter.get(), MEDIA_W("Morvane Capture"))));
    }
    media_printf(
        "CONNECTFILTER NETWORK TUNER: %d\n",
        media_dec(media_connect_filter(mbd, mbd->network_provider.get(), mbd->tuner_filter.get())));
    media_printf("CONNECTING TUNER WITH CAPTURE: %p %p\n",
                 static_cast<void*>(mbd->tuner_filter.get()),
                 static_cast<void*>(mbd->capture_filter.get()));
    media_printf("CONNECTING NETWORK WITH BDA TUNER\n");
    HRESULT hr = media_connect_filter(mbd, mbd->tuner_filter.get(), mbd->capture_filter.get());
    media_printf("CONNECTFILTER CAPTURE: %d, %x\n", media_dec(hr), media_hex(hr));
    media_printf("now connect with TIF filter\n");
    if (SUCCEEDED(hr)) {
        media_printf("SET MEDIATYPE SUCCCEEDED\n");
        hr = media_connect_filter(mbd, mbd->capture_filter.get(), mbd->demux_filter.get());
        media_printf("connect capture to filter returned: %d . %x\n", media_dec(hr), media_hex(hr));
    } else {
        media_printf("SET MEDIA TYPE FAILED\n");
    }
    media_printf("CONNECTING DEMUX: %d\n", media_dec(hr));

    const HRESULT tif = media_connect_filter(mbd, mbd->demux_filter.get(), mbd->tif_filter.get());
    media_printf("CONNECTFILTER TIF: %d\n", media_dec(tif));
    media_printf("Connectfilter mpsat: %d\n", media_dec(tif));

    // Only the graph keeps the null renderer.
    com_ptr<IBaseFilter> renderer;
    CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     renderer.put_void());
    if (graph)
        graph->AddFilter(renderer.get(), MEDIA_W("Null Filter"));
    media_printf("CONNECT NULL RENDERER: %d\n",
                 media_dec(media_connect_filter(mbd, mbd->demux_filter.get(), renderer.get())));

    media_printf("%s %s %d\n", "bdasource", "media_bda_connect_graph", __LINE__);
    media_printf("connecting graph\n");
    return 0;
}

void media_bda_teardown_graph(media_bda_device* mbd) {
    take_out(mbd, mbd->network_provider, stop_order::after_removal);
    take_out(mbd, mbd->tuner_filter, stop_order::after_removal);
    take_out(mbd, mbd->capture_filter, stop_order::after_removal);
    take_out(mbd, mbd->demux_filter, stop_order::after_removal);
    take_out(mbd, mbd->tif_filter, stop_order::before_removal);
    take_out(mbd, mbd->sections_filter, stop_order::after_removal);
    mbd->graph_builder = nullptr;
    mbd->media_control = nullptr;
    mbd->source_filter = nullptr;
}
