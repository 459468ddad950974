// Bench errors: their reasons, the start-up exit, warnings while running, and fault keys.

#include "standin_fixture.h"

#ifndef MCC_SOURCE_DIR
#error "MCC_SOURCE_DIR must name the source tree"
#endif

namespace {

using BenchErrors = StandinTest;

std::string reason(StandinTest& t, const std::string& json) {
    return standin::check_bench(t.write_file("check.json", json));
}

TEST_F(BenchErrors, ValidBenchesHaveNoReason) {
    EXPECT_EQ(reason(*this, "{}"), "");
    EXPECT_EQ(reason(*this, R"({"tuners": [], "captures": [], "transport_information": [],
                                "faults": {}})"),
              "");
    EXPECT_EQ(standin::check_bench(MCC_SOURCE_DIR "/benches/demo.json"), "");
}

TEST_F(BenchErrors, UnreadableFile) {
    EXPECT_EQ(standin::check_bench(dir_ + "/missing.json"),
              "cannot read the file (No such file or directory)");
    EXPECT_EQ(standin::check_bench(dir_), "cannot read the file (Is a directory)");
}

TEST_F(BenchErrors, InvalidJsonNamesLineAndColumn) {
    std::string r = reason(*this, "{\n  \"tuners\": [\n    {\"id\": \"a\",}\n  ]\n}\n");
    EXPECT_EQ(r.rfind("invalid JSON at line 3, column 16: ", 0), 0u) << r;
    r = reason(*this, "");
    EXPECT_EQ(r.rfind("invalid JSON at line 1, column 1: ", 0), 0u) << r;
}

TEST_F(BenchErrors, UnknownKeysNameTheirPath) {
    EXPECT_EQ(reason(*this, R"({"tuners": [{}, {"frendly_name": "x"}]})"),
              "tuners[1].frendly_name: unknown key");
    EXPECT_EQ(reason(*this, R"({"tuner": []})"), "tuner: unknown key");
    // Tuner-only keys are unknown elsewhere.
    EXPECT_EQ(reason(*this, R"({"captures": [{"standard": "dvb-s"}]})"),
              "captures[0].standard: unknown key");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"pins": [{"direction": "in", "dir": "in"}]}]})"),
              "tuners[0].pins[0].dir: unknown key");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"extension": {"3": {"suport": 3}}}]})"),
              "tuners[0].extension.3.suport: unknown key");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"unicable": {"scr": 1, "freq": 2}}]})"),
              "tuners[0].unicable.freq: unknown key");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"next_fails": "0x80004005", "id": "m"}]})"),
              "tuners[0].id: unknown key");
    EXPECT_EQ(reason(*this, R"({"faults": {"CoUninitialize": "0x1"}})"),
              "faults.CoUninitialize: unknown key");
    EXPECT_EQ(reason(*this, R"({"faults": {"CoCreateInstance": {"FilterGraph": "0x1"}}})")
                  .rfind("faults.CoCreateInstance.FilterGraph: unknown class (expected one of "
                         "\"SystemDeviceEnum\", ",
                         0),
              0u);
    EXPECT_EQ(reason(*this, R"({"faults": {"results": {"IFilterGraph::RemoveFilter": "0x1"}}})")
                  .rfind("faults.results.IFilterGraph::RemoveFilter: unknown method", 0),
              0u);
    EXPECT_EQ(reason(*this, R"({"faults": {"CreateClassEnumerator": {"tuner": "0x1"}}})")
                  .rfind("faults.CreateClassEnumerator.tuner: unknown category", 0),
              0u);
}

TEST_F(BenchErrors, WrongTypesNameTheExpectedType) {
    EXPECT_EQ(reason(*this, "[]"), "the bench: expected an object with \"tuners\", \"captures\", "
                                   "\"transport_information\" and \"faults\", found an array");
    EXPECT_EQ(reason(*this, R"({"tuners": {}})"), "tuners: expected an array, found an object");
    EXPECT_EQ(reason(*this, R"({"tuners": [3]})"), "tuners[0]: expected an object, found a number");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"present": "no"}]})"),
              "tuners[0].present: expected a boolean (true or false), found a string");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"friendly_name": true}]})"),
              "tuners[0].friendly_name: expected a string, an integer or null, found a boolean");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"unicable": {"scr": 1.5}}]})"),
              "tuners[0].unicable.scr: expected a 32-bit integer, found a fractional number");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"unicable": {"scr": 4294967296}}]})"),
              "tuners[0].unicable.scr: 4294967296 is out of range (a 32-bit integer)");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"topology": {"node_types": [-1]}}]})"),
              "tuners[0].topology.node_types[0]: -1 is out of range (an unsigned 32-bit integer)");
    EXPECT_EQ(reason(*this, R"({"captures": [{"faults": "BindToObject"}]})"),
              "captures[0].faults: expected an array, found a string");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"extension": 3}]})"),
              "tuners[0].extension: expected an object of properties or \"absent\", found a "
              "number");
}

TEST_F(BenchErrors, ResultCodesMustBeHexadecimal) {
    const std::string tail =
        " is not a hexadecimal result code (write it like \"0x80004005\", or \"S_FALSE\")";
    EXPECT_EQ(reason(*this, R"({"faults": {"CoInitialize": "E_FAIL"}})"),
              "faults.CoInitialize: \"E_FAIL\"" + tail);
    EXPECT_EQ(reason(*this, R"({"tuners": [{"next_fails": "0x8000400G"}]})"),
              "tuners[0].next_fails: \"0x8000400G\"" + tail);
    EXPECT_EQ(reason(*this, R"({"tuners": [{"next_fails": "0x800040050"}]})"),
              "tuners[0].next_fails: \"0x800040050\"" + tail);
    EXPECT_EQ(reason(*this, R"({"faults": {"StringFromIID": 2147500037}})"),
              "faults.StringFromIID: expected a result code string such as \"0x80004005\" or "
              "\"S_FALSE\", found a number");
    EXPECT_EQ(reason(*this, R"({"faults": {"CoInitialize": "0X8000FFFF", "StringFromIID":
                                "S_FALSE"}})"),
              "");
}

TEST_F(BenchErrors, BadEnumValues) {
    EXPECT_EQ(reason(*this, R"({"tuners": [{"standard": "dvb-s2"}]})"),
              "tuners[0].standard: \"dvb-s2\" is not \"dvb-s\", \"dvb-c\", \"dvb-t\" or \"none\"");
    EXPECT_EQ(reason(*this, R"({"captures": [{"pins": [{"direction": "output"}]}]})"),
              "captures[0].pins[0].direction: \"output\" is not \"in\" or \"out\"");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"topology": {"fail": "GetNodes"}}]})"),
              "tuners[0].topology.fail: \"GetNodes\" is not \"GetNodeTypes\" or "
              "\"GetNodeDescriptors\"");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"topology": {"functions": ["qpsk", "dvb"]}}]})"),
              "tuners[0].topology.functions[1]: \"dvb\" is not \"rf_tuner\", \"qpsk\", \"qam\" or "
              "\"ofdm\" or a GUID written \"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\"");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"topology": "none"}]})"),
              "tuners[0].topology: \"none\" is not \"absent\" (or a topology object)");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"faults": ["BindToStorage", "Bind"]}]})"),
              "tuners[0].faults[1]: \"Bind\" is not \"StringFromCLSID\", \"BindToStorage\" or "
              "\"BindToObject\"");
    // The extension's properties are 3, 4 and 5, written as those ids and nothing else.
    for (const char* key : {"three", "6", "03", "0"})
        EXPECT_EQ(
            reason(*this, std::string(R"({"tuners": [{"extension": {")") + key + R"(": {}}}]})"),
            std::string("tuners[0].extension.") + key +
                ": unknown key (the properties are \"3\", \"4\" and \"5\")");
    // Support flags: 1 get, 2 set, 3 both, or 0.
    EXPECT_EQ(reason(*this, R"({"tuners": [{"extension": {"4": {"support": 4}}}]})"),
              "tuners[0].extension.4.support: 4 is out of range (an integer from 0 to 3)");
    EXPECT_EQ(reason(*this, R"({"tuners": [{"extension": {"3": {"support": 0}, "4": {"support": 1},
                                "5": {"support": 3}}}]})"),
              "");
}

TEST_F(BenchErrors, PinsNeedADirection) {
    EXPECT_EQ(reason(*this, R"({"tuners": [{"pins": [{"direction": "in"}, {"name": "x"}]}]})"),
              "tuners[0].pins[1].direction: missing (every pin needs \"in\" or \"out\")");
}

TEST_F(BenchErrors, StartupExitsWithCode2) {
    std::string path = use_bench(R"({"tuners": [{"frendly_name": "x"}]})");
    EXPECT_EXIT(standin::startup(), ::testing::ExitedWithCode(2),
                "^bench: " + path + ": tuners\\[0\\]\\.frendly_name: unknown key\n$");
    setenv("MORVANE_BENCH", (dir_ + "/nothing.json").c_str(), 1);
    EXPECT_EXIT(standin::startup(), ::testing::ExitedWithCode(2),
                "^bench: " + dir_ +
                    "/nothing.json: cannot read the file \\(No such file or "
                    "directory\\)\n$");
}

TEST_F(BenchErrors, StartupAcceptsAValidOrMissingBench) {
    standin::startup(); // no MORVANE_BENCH: a PC without devices
    use_bench(R"({"tuners": [{"friendly_name": "A"}]})");
    ::testing::internal::CaptureStderr();
    standin::startup();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 1u);
}

TEST_F(BenchErrors, WhileRunningTheLastValidBenchStaysAndEachContentWarnsOnce) {
    std::string path = use_bench(R"({"tuners": [{"friendly_name": "Valid"}]})");
    EXPECT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 1u);

    write_file("bench.json", R"({"tuners": [{"friendly_name": "Broken",}]})");
    ::testing::internal::CaptureStderr();
    auto tuners = monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    std::string warnings = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(tuners.size(), 1u);
    EXPECT_EQ(friendly_name(tuners[0].get()), "Valid");
    EXPECT_EQ(warnings.rfind("bench: " + path + ": invalid JSON at line 1, column ", 0), 0u)
        << warnings;
    EXPECT_NE(warnings.find(" (keeping the last valid bench)\n"), std::string::npos);
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1);

    // Another broken content warns again; a missing file too.
    write_file("bench.json", R"({"tuners": [{"standard": "dvb"}]})");
    ::testing::internal::CaptureStderr();
    monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    std::filesystem::remove(path);
    monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    warnings = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(warnings, "bench: " + path +
                            ": tuners[0].standard: \"dvb\" is not \"dvb-s\", \"dvb-c\", \"dvb-t\" "
                            "or \"none\" (keeping the last valid bench)\n"
                            "bench: " +
                            path +
                            ": cannot read the file (No such file or directory) (keeping the last "
                            "valid bench)\n");

    // A valid content is taken up at once.
    write_file("bench.json", R"({"tuners": [{"friendly_name": "A"}, {"friendly_name": "B"}]})");
    EXPECT_EQ(monikers(KSCATEGORY_BDA_NETWORK_TUNER).size(), 2u);
}

// ---------------------------------------------------------------------------------------
// Fault keys at the top level.

using Faults = StandinTest;

TEST_F(Faults, CoInitializeAndStringFromIID) {
    use_bench(R"({"faults": {"CoInitialize": "0x8001010E", "StringFromIID": "0x8007000E"}})");
    EXPECT_EQ(CoInitialize(nullptr), static_cast<HRESULT>(0x8001010E));
    EXPECT_EQ(CoInitialize(nullptr), static_cast<HRESULT>(0x8001010E));
    LPOLESTR text = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_EQ(StringFromIID(KSCATEGORY_BDA_NETWORK_TUNER, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
    // The edit back takes effect at the next enumeration, where the file is read again.
    use_bench("{}");
    EXPECT_EQ(CoInitialize(nullptr), static_cast<HRESULT>(0x8001010E));
    monikers(KSCATEGORY_BDA_NETWORK_TUNER);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(StringFromIID(KSCATEGORY_BDA_NETWORK_TUNER, &text), S_OK);
    CoTaskMemFree(text);
}

TEST_F(Faults, CoCreateInstanceByClass) {
    const std::pair<const char*, const GUID*> classes[] = {
        {"SystemDeviceEnum", &CLSID_SystemDeviceEnum},
        {"FilterGraphNoThread", &CLSID_FilterGraphNoThread},
        {"DVBSTuningSpace", &CLSID_DVBSTuningSpace},
        {"DVBSLocator", &CLSID_DVBSLocator},
        {"DVBSNetworkProvider", &CLSID_DVBSNetworkProvider},
        {"MPEG2Demultiplexer", &CLSID_MPEG2Demultiplexer},
        {"NullRenderer", &CLSID_NullRenderer}};
    for (auto& [name, clsid] : classes) {
        // A bench of its own for each class, as a process started on it reads it.
        use_bench(std::string(R"({"faults": {"CoCreateInstance": {")") + name +
                      R"(": "0x80040154"}}})",
                  std::string(name) + ".json");
        com_ptr<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(*clsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.put_void()),
                  REGDB_E_CLASSNOTREG)
            << name;
        EXPECT_FALSE(object);
        // The other classes are unaffected.
        for (auto& [other, other_clsid] : classes) {
            if (other_clsid == clsid)
                continue;
            EXPECT_EQ(CoCreateInstance(*other_clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                       object.put_void()),
                      S_OK)
                << other;
        }
    }
}

TEST_F(Faults, CreateClassEnumeratorByCategory) {
    use_bench(R"({"tuners": [{}], "captures": [{}],
                  "faults": {"CreateClassEnumerator": {"tuners": "0x80070005",
                                                       "captures": "S_FALSE"}}})");
    auto devenum = device_enum();
    com_ptr<IEnumMoniker> walk;
    EXPECT_EQ(devenum->CreateClassEnumerator(KSCATEGORY_BDA_NETWORK_TUNER, walk.put(), 0),
              static_cast<HRESULT>(0x80070005));
    EXPECT_FALSE(walk);
    EXPECT_EQ(devenum->CreateClassEnumerator(KSCATEGORY_BDA_RECEIVER_COMPONENT, walk.put(), 0),
              S_FALSE);
    EXPECT_FALSE(walk);
    EXPECT_EQ(devenum->CreateClassEnumerator(KSCATEGORY_BDA_TRANSPORT_INFORMATION, walk.put(), 0),
              S_OK);
    EXPECT_TRUE(walk);
}

TEST_F(Faults, MethodResults) {
    use_bench(R"({"faults": {"results": {
        "IDVBSTuningSpace::put_NetworkType": "0x80004001",
        "IDVBSTuningSpace::CreateTuneRequest": "0x80004002",
        "IDVBSLocator::put_Modulation": "0x80070057",
        "ITuner::put_TuningSpace": "0x80004003",
        "ITuner::put_TuneRequest": "0x80004004",
        "IFilterGraph::AddFilter": "0x8004025F"}}})");
    com_ptr<IDVBSTuningSpace> space;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSTuningSpace, nullptr, CLSCTX_ALL, IID_IDVBSTuningSpace,
                               space.put_void()),
              S_OK);
    BSTR type = SysAllocString(u"{FA4B375A-45B4-4D45-8440-263957B11623}");
    EXPECT_EQ(space->put_NetworkType(type), E_NOTIMPL);
    SysFreeString(type);
    BSTR back = nullptr;
    EXPECT_EQ(space->get_NetworkType(&back), S_OK);
    EXPECT_EQ(back, nullptr); // the failed call left no effect

    com_ptr<ITuneRequest> request;
    EXPECT_EQ(space->CreateTuneRequest(request.put()), E_NOINTERFACE);
    EXPECT_FALSE(request);

    com_ptr<IDVBSLocator> locator;
    ASSERT_EQ(CoCreateInstance(CLSID_DVBSLocator, nullptr, CLSCTX_ALL, IID_IDVBSLocator,
                               locator.put_void()),
              S_OK);
    EXPECT_EQ(locator->put_Modulation(BDA_MOD_OQPSK), E_INVALIDARG);
    EXPECT_EQ(locator->put_SymbolRate(27500), S_OK);

    com_ptr<IBaseFilter> provider = create_filter(CLSID_DVBSNetworkProvider);
    com_ptr<IScanningTuner> control;
    ASSERT_EQ(provider.query(IID_IScanningTuner, control), S_OK);
    EXPECT_EQ(control->put_TuningSpace(space.get()), E_POINTER);
    EXPECT_EQ(control->put_TuneRequest(nullptr), static_cast<HRESULT>(0x80004004));

    auto graph = create_graph();
    EXPECT_EQ(graph->AddFilter(provider.get(), u"Network Provider"), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(graph->RemoveFilter(provider.get()), E_FAIL); // it never joined
}

} // namespace
