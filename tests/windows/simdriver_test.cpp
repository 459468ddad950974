// The simulated driver at the level of COM, inside the platform's runtime (Wine's in the
// tests): what belongs to this host only (class objects, binding by DevicePath, the answers of
// the runtime's filter graph that the tuner access layer relies on), with QueryInterface rules
// and reference counts. The simulated devices themselves are tested once for both hosts in
// tests/simulator. Runs through scripts/wine-bench.sh on benches/simdriver.json.
#include "media/com_ptr.h"
#include "platform/dshow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The driver's classes (simulator/windows_driver/simdriver.h).
constexpr CLSID tuner_filter_class = {
    0x5B0E7C2A, 0x3D91, 0x4F6B, {0x8E, 0x27, 0x6A, 0x1D, 0x4C, 0x9F, 0x0B, 0x11}};
constexpr HRESULT device_not_connected = static_cast<HRESULT>(0x8007048F);

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text)
        out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

// A property bag with fixed values, for binding a filter by hand.
class Bag final : public IPropertyBag {
  public:
    explicit Bag(std::wstring device_path) : values_{{L"DevicePath", std::move(device_path)}} {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IPropertyBag)
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; } // lives on the stack
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        for (auto& [key, text] : values_) {
            if (key == name) {
                value->vt = VT_BSTR;
                value->bstrVal = SysAllocString(text.c_str());
                return S_OK;
            }
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    ULONG refs() const { return refs_; }

  private:
    std::vector<std::pair<std::wstring, std::wstring>> values_;
    ULONG refs_ = 1;
};

class SimDriver : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override {
        // Every object of the driver has been given back: the module may be unloaded.
        if (auto can_unload = unload_check()) {
            EXPECT_EQ(can_unload(), S_OK) << "objects of the driver are still alive";
        }
        CoUninitialize();
    }

    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    static CanUnload unload_check() {
        HMODULE module = GetModuleHandleW(L"morvane-simdriver.dll");
        return module ? reinterpret_cast<CanUnload>(
                            reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")))
                      : nullptr;
    }

    static com_ptr<IBaseFilter> create(const CLSID& clsid) {
        com_ptr<IBaseFilter> filter;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   filter.put_void()),
                  S_OK);
        return filter;
    }

    // The entries of a category as the runtime's enumerator lists them: names, and monikers.
    static std::vector<com_ptr<IMoniker>> entries(const GUID& category,
                                                  std::vector<std::string>* names = nullptr) {
        std::vector<com_ptr<IMoniker>> out;
        com_ptr<ICreateDevEnum> devenum;
        EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, devenum.put_void()),
                  S_OK);
        com_ptr<IEnumMoniker> list;
        if (devenum->CreateClassEnumerator(category, list.put(), 0) != S_OK)
            return out;
        com_ptr<IMoniker> moniker;
        while (list->Next(1, moniker.put(), nullptr) == S_OK) {
            if (names) {
                com_ptr<IPropertyBag> bag;
                moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void());
                VARIANT name;
                VariantInit(&name);
                bag->Read(L"FriendlyName", &name, nullptr);
                names->push_back(name.vt == VT_BSTR ? narrow(name.bstrVal) : "(not a string)");
                VariantClear(&name);
            }
            out.push_back(std::move(moniker));
        }
        return out;
    }

    static com_ptr<IPin> pin(IBaseFilter* filter, const wchar_t* name) {
        com_ptr<IPin> found;
        EXPECT_EQ(filter->FindPin(name, found.put()), S_OK) << narrow(name);
        return found;
    }
};

TEST_F(SimDriver, ClassObjectsRefuseAggregationAndUnknownClasses) {
    com_ptr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_MPEG2Demultiplexer, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.put_void()),
              S_OK);
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                      reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    HMODULE module = GetModuleHandleW(L"morvane-simdriver.dll");
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(IID_IStream, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    // A server lock keeps the module, and giving it back frees it again.
    factory->LockServer(TRUE);
    EXPECT_EQ(unload_check()(), S_FALSE);
    factory->LockServer(FALSE);
}

TEST_F(SimDriver, QueryInterfaceFollowsTheRules) {
    com_ptr<IBaseFilter> demux = create(CLSID_MPEG2Demultiplexer);
    ASSERT_TRUE(demux);
    EXPECT_EQ(demux->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // Interfaces the filter does not implement fully are refused, and the pointer cleared.
    for (const IID* iid : {&IID_IAMFilterMiscFlags, &IID_IMediaSeeking, &IID_IReferenceClock,
                           &IID_IMediaPosition, &IID_IStream}) {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(demux->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
    // One identity, whichever interface it is asked through.
    com_ptr<IUnknown> a, b;
    com_ptr<IMediaFilter> media;
    ASSERT_EQ(demux.query(IID_IUnknown, a), S_OK);
    ASSERT_EQ(demux.query(IID_IMediaFilter, media), S_OK);
    ASSERT_EQ(media.query(IID_IUnknown, b), S_OK);
    EXPECT_EQ(a.get(), b.get());
    // Counts: a pin is counted in its filter.
    com_ptr<IPin> in = pin(demux.get(), L"MPEG-2 Stream");
    ULONG before = demux->AddRef();
    demux->Release();
    in = nullptr;
    EXPECT_EQ(demux->AddRef(), before - 1);
    demux->Release();
    // The demultiplexer's pins have no property set.
    com_ptr<IPin> psi = pin(demux.get(), L"PSI");
    com_ptr<IKsPropertySet> set;
    EXPECT_EQ(psi.query(IID_IKsPropertySet, set), E_NOINTERFACE);
}

TEST_F(SimDriver, DevicesAreListedInBenchOrderAndBind) {
    std::vector<std::string> names;
    auto tuners = entries(KSCATEGORY_BDA_NETWORK_TUNER, &names);
    // The unplugged tuner is not listed.
    EXPECT_EQ(names, (std::vector<std::string>{"Other Vendor DVB-T", "Morvane DVB-S2 Tuner",
                                               "Morvane DVB-C Tuner", "(not a string)"}));
    for (size_t i = 0; i < tuners.size(); ++i) {
        com_ptr<IBaseFilter> filter;
        HRESULT hr = tuners[i]->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void());
        // The bench's "BindToObject" fault fails the bind, with its result.
        EXPECT_EQ(hr, i == 2 ? E_FAIL : S_OK) << names[i];
    }
    names.clear();
    entries(KSCATEGORY_BDA_TRANSPORT_INFORMATION, &names);
    EXPECT_EQ(names, (std::vector<std::string>{"BDA MPEG2 Transport Information Filter",
                                               "MPEG-2 Sections and Tables"}));
}

TEST_F(SimDriver, LoadBindsByDevicePathOnly) {
    com_ptr<IBaseFilter> filter = create(tuner_filter_class);
    com_ptr<IPersistPropertyBag> persist;
    ASSERT_EQ(filter.query(IID_IPersistPropertyBag, persist), S_OK);
    Bag unknown(L"\\\\?\\usb#no_such_device");
    EXPECT_EQ(persist->Load(&unknown, nullptr), device_not_connected);
    EXPECT_EQ(unknown.refs(), 1u);
    // Unbound, the filter has no pins and no topology.
    com_ptr<IPin> none;
    EXPECT_EQ(filter->FindPin(L"MPEG2 Transport", none.put()), VFW_E_NOT_FOUND);

    Bag sat(L"\\\\?\\usb#vid_734c&pid_5980#1");
    EXPECT_EQ(persist->Load(&sat, nullptr), S_OK);
    EXPECT_EQ(persist->Load(&sat, nullptr), E_UNEXPECTED) << "a filter binds once";
    com_ptr<IBDA_Topology> topology;
    ASSERT_EQ(filter.query(IID_IBDA_Topology, topology), S_OK);
    ULONG types[256] = {};
    ULONG count = 0;
    ASSERT_EQ(topology->GetNodeTypes(&count, 256, types), S_OK);
    EXPECT_EQ(count, 2u);
    CLSID clsid = {};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, tuner_filter_class);
}

// What the runtime's filter graph does with the driver's filters. Printed lines are the
// evidence for comparisons with the stand-in.
TEST_F(SimDriver, FilterGraphAnswers) {
    com_ptr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraphNoThread, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGraphBuilder, graph.put_void()),
              S_OK);
    com_ptr<IBaseFilter> first = create(CLSID_MPEG2Demultiplexer);
    com_ptr<IBaseFilter> second = create(CLSID_MPEG2Demultiplexer);
    com_ptr<IBaseFilter> outside = create(CLSID_MPEG2Demultiplexer);
    ULONG refs = first->AddRef() - 1;
    first->Release();

    EXPECT_EQ(graph->AddFilter(first.get(), L"Demux"), S_OK);
    ULONG added = first->AddRef() - 1;
    first->Release();
    std::printf("evidence: AddFilter holds %lu reference(s)\n", added - refs);
    EXPECT_EQ(graph->AddFilter(second.get(), L"Demux"), VFW_S_DUPLICATE_NAME);
    FILTER_INFO info = {};
    ASSERT_EQ(second->QueryFilterInfo(&info), S_OK);
    std::printf("evidence: duplicate name joined as \"%s\"\n", narrow(info.achName).c_str());
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph.get()));
    if (info.pGraph)
        info.pGraph->Release();
    // The same filter again, under the name it has.
    HRESULT again = graph->AddFilter(first.get(), L"Demux");
    std::printf("evidence: AddFilter of a member under its own name -> 0x%08lx\n",
                static_cast<unsigned long>(again));
    com_ptr<IEnumFilters> members;
    ASSERT_EQ(graph->EnumFilters(members.put()), S_OK);
    int count = 0;
    com_ptr<IBaseFilter> member;
    while (members->Next(1, member.put(), nullptr) == S_OK)
        ++count;
    std::printf("evidence: the graph then lists %d filters for 2 objects\n", count);

    EXPECT_EQ(graph->RemoveFilter(outside.get()), E_FAIL);
    // Generated names: counted per graph, or per name?
    com_ptr<IBaseFilter> third = create(CLSID_MPEG2Demultiplexer);
    com_ptr<IBaseFilter> fourth = create(CLSID_MPEG2Demultiplexer);
    EXPECT_EQ(graph->AddFilter(third.get(), L"Tuner"), S_OK);
    EXPECT_EQ(graph->AddFilter(fourth.get(), L"Tuner"), VFW_S_DUPLICATE_NAME);
    ASSERT_EQ(fourth->QueryFilterInfo(&info), S_OK);
    std::printf("evidence: a later duplicate of another name joined as \"%s\"\n",
                narrow(info.achName).c_str());
    if (info.pGraph)
        info.pGraph->Release();
    EXPECT_EQ(graph->RemoveFilter(third.get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(fourth.get()), S_OK);

    // Connections: equal media or "*"; the pins refuse everything else.
    com_ptr<IPin> video = pin(first.get(), L"Video");
    com_ptr<IPin> psi = pin(first.get(), L"PSI");
    com_ptr<IPin> stream = pin(second.get(), L"MPEG-2 Stream");
    EXPECT_EQ(graph->ConnectDirect(psi.get(), stream.get(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    // Input first: the stand-in refuses the direction (0x80040208).
    HRESULT reversed = graph->ConnectDirect(stream.get(), video.get(), nullptr);
    std::printf("evidence: ConnectDirect(input, output) of free pins -> 0x%08lx\n",
                static_cast<unsigned long>(reversed));
    video->Disconnect();
    stream->Disconnect();
    EXPECT_EQ(graph->ConnectDirect(video.get(), stream.get(), nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(video.get(), stream.get(), nullptr), VFW_E_ALREADY_CONNECTED);
    com_ptr<IPin> peer;
    EXPECT_EQ(video->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), stream.get());
    peer = nullptr;
    AM_MEDIA_TYPE type = {};
    EXPECT_EQ(stream->ConnectionMediaType(&type), S_OK);
    if (type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    // A pin of a filter outside of the graph.
    com_ptr<IPin> outside_in = pin(outside.get(), L"MPEG-2 Stream");
    EXPECT_EQ(graph->ConnectDirect(psi.get(), outside_in.get(), nullptr), VFW_E_NOT_IN_GRAPH);

    // Removal disconnects both ends.
    EXPECT_EQ(graph->RemoveFilter(second.get()), S_OK);
    EXPECT_EQ(video->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(stream->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(graph->RemoveFilter(second.get()), E_FAIL);
    info = {};
    ASSERT_EQ(second->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    HRESULT removed = graph->RemoveFilter(first.get());
    HRESULT removed_again = graph->RemoveFilter(first.get());
    std::printf("evidence: RemoveFilter of a filter added twice -> 0x%08lx, then 0x%08lx\n",
                static_cast<unsigned long>(removed), static_cast<unsigned long>(removed_again));
    video = psi = stream = outside_in = nullptr;
    // Releasing the graph gives back what it still holds.
    members = nullptr;
    member = nullptr;
    graph = nullptr;
    EXPECT_EQ(first->AddRef() - 1, refs);
    first->Release();
}

} // namespace
