// The simulated devices, tested once for both hosts: built for Linux it runs over the stand-in,
// built by the Windows compiler it runs under Wine through scripts/wine-bench.sh, with Wine's
// own device enumerator, class activation and filter graph in front of the simulated driver.
// Both run on a copy of benches/devices.json.
#include "media/com_ptr.h"
#include "platform/dshow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#define TEXT16(text) L##text
#else
#include "platform/standin.h"

#include <unistd.h>

#include <filesystem>
#define TEXT16(text) u##text
#endif

namespace {

constexpr GUID extension_set = {
    0x2D6A46DF, 0xA5BA, 0x4F76, {0x80, 0x8B, 0x86, 0x73, 0x4B, 0x59, 0xE9, 0x35}};

class Devices : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        // The Windows run gets its private copy from scripts/wine-bench.sh.
        static int run = 0;
        bench_ = std::filesystem::temp_directory_path() /
                 ("simulator-devices-" + std::to_string(getpid()) + "-" + std::to_string(++run) +
                  ".json");
        std::filesystem::copy_file(MCC_DEVICES_BENCH, bench_,
                                   std::filesystem::copy_options::overwrite_existing);
        setenv("MORVANE_BENCH", bench_.c_str(), 1);
        standin::reset();
#endif
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }

    void TearDown() override {
#ifdef _WIN32
        CoUninitialize();
        // Every object of the driver has been given back: the module may be unloaded.
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        if (HMODULE module = GetModuleHandleW(L"morvane-simdriver.dll")) {
            auto can_unload = reinterpret_cast<CanUnload>(
                reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
            EXPECT_EQ(can_unload(), S_OK) << "objects of the driver are still alive";
        }
#else
        EXPECT_EQ(standin::live_objects(), 0) << "a simulated object was not released";
        unsetenv("MORVANE_BENCH");
        std::filesystem::remove(bench_);
#endif
    }

    static std::string read_bench() {
        std::ifstream in(std::getenv("MORVANE_BENCH"), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The filter bound from entry `index` of a category, as the platform's enumerator lists it.
    static com_ptr<IBaseFilter> bound(const GUID& category, size_t index) {
        com_ptr<ICreateDevEnum> devenum;
        EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, devenum.put_void()),
                  S_OK);
        com_ptr<IEnumMoniker> list;
        com_ptr<IMoniker> moniker;
        com_ptr<IBaseFilter> filter;
        if (devenum->CreateClassEnumerator(category, list.put(), 0) != S_OK)
            return filter;
        for (size_t i = 0; i <= index; ++i)
            if (list->Next(1, moniker.put(), nullptr) != S_OK)
                return filter;
        EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void()),
                  S_OK);
        return filter;
    }

    static com_ptr<IPin> pin(IBaseFilter* filter, const WCHAR* name) {
        com_ptr<IPin> found;
        EXPECT_EQ(filter->FindPin(name, found.put()), S_OK);
        return found;
    }

    static com_ptr<IKsPropertySet> property_set(IBaseFilter* filter) {
        com_ptr<IKsPropertySet> set;
        EXPECT_EQ(pin(filter, TEXT16("MPEG2 Transport")).query(IID_IKsPropertySet, set), S_OK);
        return set;
    }

    std::string bench_;
};

TEST_F(Devices, PropertyValuesReachTheBenchFile) {
    com_ptr<IBaseFilter> sat = bound(KSCATEGORY_BDA_NETWORK_TUNER, 0);
    ASSERT_TRUE(sat);
    com_ptr<IKsPropertySet> set = property_set(sat.get());
    ASSERT_TRUE(set);

    DWORD support = 0;
    EXPECT_EQ(set->QuerySupported(extension_set, 5, &support), S_OK);
    EXPECT_EQ(support, 3u);
    int32_t value = 0;
    DWORD returned = 0;
    EXPECT_EQ(set->Get(extension_set, 5, &value, 4, &value, 4, &returned), S_OK);
    EXPECT_EQ(value, 1210);
    EXPECT_EQ(returned, 4u);

    const std::string before = read_bench();
    int32_t written = 1234;
    EXPECT_EQ(set->Set(extension_set, 5, &written, 4, &written, 4), S_OK);
    // Only the number changed in the file.
    std::string expected = before;
    expected.replace(expected.find("\"frequency\": 1210"), 17, "\"frequency\": 1234");
    EXPECT_EQ(read_bench(), expected);
    // Another object bound from the same entry sees the stored value.
    com_ptr<IBaseFilter> again = bound(KSCATEGORY_BDA_NETWORK_TUNER, 0);
    ASSERT_TRUE(again);
    value = 0;
    EXPECT_EQ(property_set(again.get())->Get(extension_set, 5, &value, 4, &value, 4, &returned),
              S_OK);
    EXPECT_EQ(value, 1234);
    written = 1210;
    EXPECT_EQ(set->Set(extension_set, 5, &written, 4, &written, 4), S_OK);
    EXPECT_EQ(read_bench(), before);

    // Another set, and a property outside the set.
    EXPECT_EQ(set->QuerySupported(IID_IUnknown, 5, &support), E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(set->QuerySupported(extension_set, 6, &support), E_PROP_ID_UNSUPPORTED);
    // A tuner whose driver lacks the set: every call fails, and nothing is written.
    com_ptr<IBaseFilter> other = bound(KSCATEGORY_BDA_NETWORK_TUNER, 1);
    ASSERT_TRUE(other);
    com_ptr<IKsPropertySet> lacking = property_set(other.get());
    ASSERT_TRUE(lacking);
    EXPECT_EQ(lacking->QuerySupported(extension_set, 3, &support), E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(lacking->Set(extension_set, 3, &written, 4, &written, 4), E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(read_bench(), before);
}

// The contract's order of connection results: a pin already connected on either side comes
// before a refusal.
TEST_F(Devices, ConnectionResultsComeInTheContractsOrder) {
    com_ptr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraphNoThread, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGraphBuilder, graph.put_void()),
              S_OK);
    com_ptr<IBaseFilter> sat = bound(KSCATEGORY_BDA_NETWORK_TUNER, 0);
    com_ptr<IBaseFilter> refuser = bound(KSCATEGORY_BDA_NETWORK_TUNER, 2);
    com_ptr<IBaseFilter> cap = bound(KSCATEGORY_BDA_RECEIVER_COMPONENT, 0);
    com_ptr<IBaseFilter> busy = bound(KSCATEGORY_BDA_RECEIVER_COMPONENT, 1);
    ASSERT_TRUE(sat && refuser && cap && busy);
    com_ptr<IPin> sat_out = pin(sat.get(), TEXT16("MPEG2 Transport"));
    com_ptr<IPin> refusing_out = pin(refuser.get(), TEXT16("MPEG2 Transport"));
    com_ptr<IPin> cap_in = pin(cap.get(), TEXT16("Input0"));
    com_ptr<IPin> busy_in = pin(busy.get(), TEXT16("Input0"));
    com_ptr<IPin> antenna_in = pin(refuser.get(), TEXT16("Input0"));
    com_ptr<IPin> busy_out = pin(busy.get(), TEXT16("MPEG2 Transport"));

    // Not in the graph yet.
    EXPECT_EQ(graph->ConnectDirect(sat_out.get(), cap_in.get(), nullptr), VFW_E_NOT_IN_GRAPH);
    ASSERT_EQ(graph->AddFilter(sat.get(), TEXT16("sat")), S_OK);
    ASSERT_EQ(graph->AddFilter(refuser.get(), TEXT16("refuser")), S_OK);
    ASSERT_EQ(graph->AddFilter(cap.get(), TEXT16("cap")), S_OK);
    ASSERT_EQ(graph->AddFilter(busy.get(), TEXT16("busy")), S_OK);
    // Unequal media.
    EXPECT_EQ(graph->ConnectDirect(sat_out.get(), antenna_in.get(), nullptr),
              VFW_E_NO_ACCEPTABLE_TYPES);
    // A filter whose input is connected outside of the graph: the platform's graph may walk
    // upstream from it (Wine's does, and found no filter behind that pin before).
    EXPECT_EQ(graph->ConnectDirect(busy_out.get(), cap_in.get(), nullptr),
              VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(graph->ConnectDirect(refusing_out.get(), busy_in.get(), nullptr),
              VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(graph->ConnectDirect(refusing_out.get(), cap_in.get(), nullptr),
              VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(graph->ConnectDirect(sat_out.get(), cap_in.get(), nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(sat_out.get(), cap_in.get(), nullptr), VFW_E_ALREADY_CONNECTED);
    com_ptr<IPin> peer;
    EXPECT_EQ(cap_in->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), sat_out.get());
    peer = nullptr;
    // Removal disconnects both ends.
    EXPECT_EQ(graph->RemoveFilter(cap.get()), S_OK);
    EXPECT_EQ(sat_out->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(cap_in->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
}

// Every get_ and put_ of the tuning objects answers S_OK, also those the program never calls.
TEST_F(Devices, TuningObjectsAnswerEveryGetAndPut) {
    com_ptr<IDVBSTuningSpace> space;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSTuningSpace, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDVBSTuningSpace, space.put_void()),
              S_OK);
    com_ptr<ILocator> locator;
    com_ptr<IComponentTypes> types;
    EXPECT_EQ(space->put_DefaultLocator(nullptr), S_OK);
    EXPECT_EQ(space->get_DefaultLocator(locator.put()), S_OK);
    EXPECT_EQ(space->put_DefaultPreferredComponentTypes(nullptr), S_OK);
    EXPECT_EQ(space->get_DefaultPreferredComponentTypes(types.put()), S_OK);
    EXPECT_EQ(space->put_LowOscillator(9750000), S_OK);
    LONG low = 0;
    EXPECT_EQ(space->get_LowOscillator(&low), S_OK);
    EXPECT_EQ(low, 9750000);

    com_ptr<ITuneRequest> request;
    ASSERT_EQ(space->CreateTuneRequest(request.put()), S_OK);
    com_ptr<ITuningSpace> made_by;
    EXPECT_EQ(request->get_TuningSpace(made_by.put()), S_OK);
    EXPECT_EQ(made_by.get(), static_cast<ITuningSpace*>(space.get()));
    com_ptr<IComponents> components;
    EXPECT_EQ(request->get_Components(components.put()), S_OK);

    com_ptr<ITuner> tuner;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSNetworkProvider, nullptr, CLSCTX_INPROC_SERVER, IID_ITuner,
                               tuner.put_void()),
              S_OK);
    EXPECT_EQ(tuner->put_PreferredComponentTypes(nullptr), S_OK);
    EXPECT_EQ(tuner->get_PreferredComponentTypes(types.put()), S_OK);
    EXPECT_EQ(tuner->put_TuneRequest(request.get()), S_OK);
    com_ptr<ITuneRequest> held;
    EXPECT_EQ(tuner->get_TuneRequest(held.put()), S_OK);
    EXPECT_EQ(held.get(), request.get());
}

// A success result the bench injects for a class activation comes with the object.
TEST_F(Devices, InjectedSuccessOfAClassActivationIsPassedOn) {
    com_ptr<IDVBSLocator> locator;
#ifdef _WIN32
    // Wine's CoCreateInstance answers S_OK for any success of the class object: ask the
    // driver's class object itself.
    com_ptr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_DVBSLocator, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.put_void()),
              S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDVBSLocator, locator.put_void()), S_FALSE);
#else
    EXPECT_EQ(CoCreateInstance(CLSID_DVBSLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IDVBSLocator,
                               locator.put_void()),
              S_FALSE);
#endif
    ASSERT_TRUE(locator);
    EXPECT_EQ(locator->put_CarrierFrequency(11836000), S_OK);
}

} // namespace
