// Pins, the filter graph (AddFilter, RemoveFilter, ConnectDirect), the tuning objects and
// reference counting.

#include "standin_fixture.h"

namespace {

using Graph = StandinTest;

struct PinLook {
    std::string name;
    PIN_DIRECTION direction;
};

std::vector<PinLook> look(IBaseFilter* filter) {
    std::vector<PinLook> out;
    for (auto& pin : StandinTest::pins(filter)) {
        PIN_INFO info;
        EXPECT_EQ(pin->QueryPinInfo(&info), S_OK);
        EXPECT_EQ(info.pFilter, filter);
        com_ptr<IBaseFilter> owner;
        owner.attach(info.pFilter);
        std::string name;
        for (const char16_t* p = info.achName; *p; ++p)
            name.push_back(static_cast<char>(*p));
        out.push_back({name, info.dir});
    }
    return out;
}

bool operator==(const PinLook& a, const PinLook& b) {
    return a.name == b.name && a.direction == b.direction;
}

void PrintTo(const PinLook& pin, std::ostream* os) {
    *os << pin.name << (pin.direction == PINDIR_INPUT ? " in" : " out");
}

TEST_F(Graph, DefaultPinsOfEveryFilter) {
    use_bench(R"({"tuners": [{"device_path": "p"}], "captures": [{}]})");
    using V = std::vector<PinLook>;
    EXPECT_EQ(look(tuner().get()),
              (V{{"Input0", PINDIR_INPUT}, {"MPEG2 Transport", PINDIR_OUTPUT}}));
    EXPECT_EQ(look(bind(KSCATEGORY_BDA_RECEIVER_COMPONENT, 0).get()),
              (V{{"Input0", PINDIR_INPUT}, {"MPEG2 Transport", PINDIR_OUTPUT}}));
    EXPECT_EQ(look(bind(KSCATEGORY_BDA_TRANSPORT_INFORMATION, 0).get()),
              (V{{"Input", PINDIR_INPUT}}));
    EXPECT_EQ(look(bind(KSCATEGORY_BDA_TRANSPORT_INFORMATION, 1).get()), (V{{"In", PINDIR_INPUT}}));
    EXPECT_EQ(look(create_filter(CLSID_DVBSNetworkProvider).get()),
              (V{{"Antenna Out", PINDIR_OUTPUT}}));
    EXPECT_EQ(
        look(create_filter(CLSID_MPEG2Demultiplexer).get()),
        (V{{"MPEG-2 Stream", PINDIR_INPUT}, {"PSI", PINDIR_OUTPUT}, {"Video", PINDIR_OUTPUT}}));
    EXPECT_EQ(look(create_filter(CLSID_NullRenderer).get()), (V{{"In", PINDIR_INPUT}}));
}

TEST_F(Graph, PinInfoFailureAndOutsideConnections) {
    use_bench(R"({"tuners": [{"pins": [
        {"name": "A", "direction": "out", "pin_info_fails": true},
        {"name": "B", "direction": "out", "connected": true}]}]})");
    auto filter = tuner();
    auto all = pins(filter.get());
    ASSERT_EQ(all.size(), 2u);

    PIN_INFO info;
    info.pFilter = reinterpret_cast<IBaseFilter*>(0x1);
    EXPECT_EQ(all[0]->QueryPinInfo(&info), E_FAIL);
    EXPECT_EQ(info.pFilter, reinterpret_cast<IBaseFilter*>(0x1));
    PIN_DIRECTION direction;
    EXPECT_EQ(all[0]->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_OUTPUT);

    com_ptr<IPin> peer;
    EXPECT_EQ(all[0]->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_FALSE(peer);
    ASSERT_EQ(all[1]->ConnectedTo(peer.put()), S_OK);
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_INPUT);
    com_ptr<IPin> back;
    ASSERT_EQ(peer->ConnectedTo(back.put()), S_OK);
    EXPECT_EQ(back.get(), all[1].get());
}

// Two filters with fully specified pins, both in one graph.
class Connect : public StandinTest {
  protected:
    void SetUp() override {
        StandinTest::SetUp();
        use_bench(R"({"tuners": [
          {"id": "up", "pins": [
            {"name": "o1", "direction": "out", "medium": "m"},
            {"name": "o2", "direction": "out", "medium": "other"},
            {"name": "o3", "direction": "out", "medium": "*"},
            {"name": "oc", "direction": "out", "medium": "m", "connected": true},
            {"name": "or", "direction": "out", "medium": "m", "refuses": true},
            {"name": "i0", "direction": "in", "medium": "m"}]},
          {"id": "down", "pins": [
            {"name": "i1", "direction": "in", "medium": "m"},
            {"name": "i2", "direction": "in", "medium": "m"},
            {"name": "ir", "direction": "in", "medium": "m", "refuses": true},
            {"name": "o9", "direction": "out", "medium": "m"}]}]})");
        up = tuner(0);
        down = tuner(1);
        graph = create_graph();
        ASSERT_EQ(graph->AddFilter(up.get(), u"up"), S_OK);
        ASSERT_EQ(graph->AddFilter(down.get(), u"down"), S_OK);
        u = pins(up.get());
        d = pins(down.get());
    }
    void TearDown() override {
        u.clear();
        d.clear();
        graph.reset();
        up.reset();
        down.reset();
        StandinTest::TearDown();
    }

    HRESULT connect(IPin* a, IPin* b) { return graph->ConnectDirect(a, b, nullptr); }

    com_ptr<IBaseFilter> up, down;
    com_ptr<IGraphBuilder> graph;
    std::vector<com_ptr<IPin>> u, d;
};

TEST_F(Connect, OutputToInputWithEqualMediaConnectsBothSides) {
    ASSERT_EQ(connect(u[0].get(), d[0].get()), S_OK);
    com_ptr<IPin> peer;
    ASSERT_EQ(u[0]->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), d[0].get());
    ASSERT_EQ(d[0]->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), u[0].get());
    // Both are taken now.
    EXPECT_EQ(connect(u[0].get(), d[1].get()), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(connect(u[2].get(), d[0].get()), VFW_E_ALREADY_CONNECTED);
}

TEST_F(Connect, MediaMustBeEqualUnlessOneIsAWildcard) {
    EXPECT_EQ(connect(u[1].get(), d[0].get()), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(connect(u[2].get(), d[0].get()), S_OK);
}

TEST_F(Connect, RefusingPinsNeverConnect) {
    EXPECT_EQ(connect(u[4].get(), d[0].get()), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(connect(u[0].get(), d[2].get()), VFW_E_NO_ACCEPTABLE_TYPES);
}

TEST_F(Connect, RulesAreCheckedInOrder) {
    // Not in the graph comes first, even with the wrong direction.
    com_ptr<IBaseFilter> outsider = tuner(1);
    auto o = pins(outsider.get());
    EXPECT_EQ(connect(d[0].get(), o[0].get()), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(connect(u[0].get(), o[0].get()), VFW_E_NOT_IN_GRAPH);
    // Then the direction, before "already connected".
    EXPECT_EQ(connect(u[3].get(), u[5].get()), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(connect(d[0].get(), u[3].get()), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(connect(u[0].get(), u[1].get()), VFW_E_INVALID_DIRECTION);
    // Then "already connected", before refusal.
    EXPECT_EQ(connect(u[3].get(), d[2].get()), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(connect(nullptr, d[0].get()), E_POINTER);
}

TEST_F(Connect, RemoveFilterDisconnectsAndLeavesTheGraph) {
    ASSERT_EQ(connect(u[0].get(), d[0].get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(down.get()), S_OK);
    com_ptr<IPin> peer;
    EXPECT_EQ(u[0]->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(d[0]->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(connect(u[0].get(), d[0].get()), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(graph->RemoveFilter(down.get()), E_FAIL);
    EXPECT_EQ(graph->RemoveFilter(nullptr), E_FAIL);
    // Back in, it connects again.
    ASSERT_EQ(graph->AddFilter(down.get(), u"down"), S_OK);
    EXPECT_EQ(connect(u[0].get(), d[0].get()), S_OK);
}

TEST_F(Connect, GraphDestructionDisconnectsAndGivesFiltersBack) {
    ASSERT_EQ(connect(u[0].get(), d[0].get()), S_OK);
    graph.reset();
    com_ptr<IPin> peer;
    EXPECT_EQ(u[0]->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    // The filters no longer count as being in a graph.
    graph = create_graph();
    EXPECT_EQ(connect(u[0].get(), d[0].get()), VFW_E_NOT_IN_GRAPH);
}

TEST_F(Graph, AddFilterNamesAndDuplicates) {
    use_bench(R"({"tuners": [{}, {}, {}, {}, {}]})");
    std::vector<com_ptr<IBaseFilter>> f;
    for (size_t i = 0; i < 5; ++i)
        f.push_back(tuner(i));
    auto graph = create_graph();
    EXPECT_EQ(graph->AddFilter(f[0].get(), u"X"), S_OK);
    // The same filter under the same name: duplicate, and it stays in the graph once.
    EXPECT_EQ(graph->AddFilter(f[0].get(), u"X"), VFW_S_DUPLICATE_NAME);
    // A new filter under a used name joins as "X 0001", then "X 0002".
    EXPECT_EQ(graph->AddFilter(f[1].get(), u"X"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(f[2].get(), u"X 0001"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(f[3].get(), u"X"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(f[4].get(), u"X 0003"), S_OK);
    EXPECT_EQ(graph->AddFilter(f[4].get(), u"X 0002"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(nullptr, u"Y"), E_POINTER);

    EXPECT_EQ(graph->RemoveFilter(f[0].get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(f[0].get()), E_FAIL);
    // The name is free again.
    EXPECT_EQ(graph->AddFilter(f[0].get(), u"X"), S_OK);
    for (auto& filter : f)
        EXPECT_EQ(graph->RemoveFilter(filter.get()), S_OK);
}

TEST_F(Graph, GraphAnswersMediaControl) {
    auto graph = create_graph();
    com_ptr<IMediaControl> control;
    EXPECT_EQ(graph.query(IID_IMediaControl, control), S_OK);
    com_ptr<IFilterGraph> plain;
    EXPECT_EQ(control.query(IID_IFilterGraph, plain), S_OK);
    EXPECT_EQ(static_cast<void*>(plain.get()), static_cast<void*>(graph.get()));
    com_ptr<IPin> none;
    EXPECT_EQ(graph.query(IID_IPin, none), E_NOINTERFACE);
}

// ---------------------------------------------------------------------------------------
// Reference counting.

TEST_F(Graph, LiveCountFollowsReferences) {
    use_bench(R"({"tuners": [{}]})");
    EXPECT_EQ(standin::live_objects(), 0);
    auto filter = tuner();
    EXPECT_EQ(standin::live_objects(), 1);
    {
        auto graph = create_graph();
        ASSERT_EQ(graph->AddFilter(filter.get(), u"T"), S_OK);
        filter.reset();
        // The graph keeps its filter.
        EXPECT_EQ(standin::live_objects(), 2);
    }
    EXPECT_EQ(standin::live_objects(), 0);
}

TEST_F(Graph, AHeldPinKeepsItsFilterAlive) {
    use_bench(R"({"tuners": [{}]})");
    auto filter = tuner();
    com_ptr<IPin> pin = pins(filter.get())[1];
    filter.reset();
    EXPECT_EQ(standin::live_objects(), 1);
    PIN_INFO info;
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    com_ptr<IBaseFilter> owner;
    owner.attach(info.pFilter);
    EXPECT_TRUE(owner);
    owner.reset();
    pin.reset();
    EXPECT_EQ(standin::live_objects(), 0);
}

TEST_F(Graph, TuningObjectsKeepEachOtherWithoutCycles) {
    com_ptr<IDVBSTuningSpace> space;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSTuningSpace, nullptr, CLSCTX_ALL, IID_IDVBSTuningSpace,
                               space.put_void()),
              S_OK);
    BSTR type = SysAllocString(u"{FA4B375A-45B4-4D45-8440-263957B11623}");
    EXPECT_EQ(space->put_NetworkType(type), S_OK);
    SysFreeString(type);
    BSTR back = nullptr;
    ASSERT_EQ(space->get_NetworkType(&back), S_OK);
    CLSID provider_class;
    ASSERT_EQ(CLSIDFromString(back, &provider_class), S_OK);
    SysFreeString(back);
    EXPECT_EQ(provider_class, CLSID_DVBSNetworkProvider);
    EXPECT_EQ(space->put_SystemType(DVB_Satellite), S_OK);
    EXPECT_EQ(space->put_InputRange(nullptr), S_OK);

    com_ptr<ITuneRequest> request;
    ASSERT_EQ(space->CreateTuneRequest(request.put()), S_OK);
    com_ptr<IDVBSLocator> locator;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSLocator, nullptr, CLSCTX_ALL, IID_IDVBSLocator,
                               locator.put_void()),
              S_OK);
    EXPECT_EQ(locator->put_Modulation(BDA_MOD_OQPSK), S_OK);
    EXPECT_EQ(request->put_Locator(locator.get()), S_OK);

    com_ptr<IBaseFilter> provider = create_filter(provider_class);
    com_ptr<IScanningTuner> control;
    ASSERT_EQ(provider.query(IID_IScanningTuner, control), S_OK);
    com_ptr<ITuner> plain;
    EXPECT_EQ(provider.query(IID_ITuner, plain), S_OK);
    EXPECT_EQ(control->put_TuningSpace(space.get()), S_OK);
    EXPECT_EQ(control->put_TuneRequest(request.get()), S_OK);

    // Only the provider is held now; it keeps space and request, the request its locator.
    space.reset();
    request.reset();
    locator.reset();
    plain.reset();
    provider.reset();
    EXPECT_EQ(standin::live_objects(), 4);
    control.reset();
    EXPECT_EQ(standin::live_objects(), 0);
}

TEST_F(Graph, NewTuningSpaceHasNoNetworkType) {
    com_ptr<IDVBSTuningSpace> space;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSTuningSpace, nullptr, CLSCTX_ALL, IID_IDVBSTuningSpace,
                               space.put_void()),
              S_OK);
    char16_t untouched[] = u"x";
    BSTR type = untouched;
    ASSERT_EQ(space->get_NetworkType(&type), S_OK);
    EXPECT_EQ(type, nullptr);
    CLSID none = CLSID_NullRenderer;
    EXPECT_EQ(CLSIDFromString(type, &none), S_OK);
    com_ptr<IBaseFilter> filter;
    EXPECT_EQ(
        CoCreateInstance(none, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.put_void()),
        REGDB_E_CLASSNOTREG);
}

} // namespace
