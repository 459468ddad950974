// The tuner access layer: enumeration and classification of the maker's tuners, the DVB-S
// reception graph built around each, and the driver's extension property set.
#pragma once

#include "media/com_ptr.h"
#include "media/device_list.h"
#include "platform/dshow.h"

#include <cstdint>

static_assert(sizeof(WCHAR) == sizeof(media_wchar), "WCHAR is a 16-bit code unit everywhere");

// The driver's private property set and the properties the panel uses.
// {2D6A46DF-A5BA-4F76-808B-86734B59E935}
inline constexpr GUID PROPSETID_TUNER_EXTENSION = {
    0x2D6A46DF, 0xA5BA, 0x4F76, {0x80, 0x8B, 0x86, 0x73, 0x4B, 0x59, 0xE9, 0x35}};
enum {
    TUNER_EXT_UNICABLE_ENABLE = 3,
    TUNER_EXT_UNICABLE_SCR = 4,
    TUNER_EXT_UNICABLE_FREQUENCY = 5,
};

// The graph context of one tuner. Every field holds one counted reference or nothing;
// discarding the context gives back whatever it still holds.
struct media_bda_device {
    com_ptr<IBaseFilter> tuner_filter;
    com_ptr<IBaseFilter> capture_filter;
    com_ptr<IGraphBuilder> graph_builder;
    com_ptr<IMediaControl> media_control;
    com_ptr<IBaseFilter> source_filter;
    com_ptr<IScanningTuner> tuner_control;
    com_ptr<IBaseFilter> tif_filter;
    com_ptr<IBaseFilter> sections_filter;
    com_ptr<IBaseFilter> network_provider;
    com_ptr<IBaseFilter> demux_filter;
    com_ptr<IDVBSTuningSpace> tuning_space;
};

// Graph assembly, connection and teardown around mbd->tuner_filter. The first two always
// return 0.
int media_bda_create_graph(media_bda_device* mbd);
int media_bda_connect_graph(media_bda_device* mbd);
void media_bda_teardown_graph(media_bda_device* mbd);

// Adds every filter of category clsid whose friendly name is filtername to the graph;
// ppFilter ends up holding the last one bound. 0 when the search ran, -1 when the
// category cannot be enumerated.
int addfilter_byname(media_bda_device* mbd, com_ptr<IBaseFilter>& ppFilter, CLSID clsid,
                     const WCHAR* filtername);

// Connects the first free output pin of the upstream filter to the first free input pin of
// the downstream filter that the graph accepts. S_OK or E_FAIL.
HRESULT media_connect_filter(media_bda_device* mbd, IBaseFilter* pFilterUpstream,
                             IBaseFilter* pFilterDownstream);

// Finds the tuner's capture filter among the receiver components by trial connection and
// stores it in mbd->capture_filter. 0 or -1; i has no effect.
int media_bda_scan_capture_device(media_bda_device* mbd, int i);
