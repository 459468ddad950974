// The tuner driver: topology, the extension property set, and values kept in the bench file.

#include "standin_fixture.h"

#include <nlohmann/json.hpp>

namespace {

using Driver = StandinTest;
using ordered_json = nlohmann::ordered_json;

struct TopologyRead {
    HRESULT types_hr;
    std::vector<ULONG> types;
    HRESULT descriptors_hr;
    std::vector<GUID> functions;
};

TopologyRead read_topology(IBaseFilter* filter, ULONG capacity = 256) {
    TopologyRead out{};
    com_ptr<IBDA_Topology> topology;
    EXPECT_EQ(com_ptr<IBaseFilter>(filter).query(IID_IBDA_Topology, topology), S_OK);
    if (!topology)
        return out;
    std::vector<ULONG> types(capacity, 0xEEEE);
    ULONG count = 0xEEEE;
    out.types_hr = topology->GetNodeTypes(&count, capacity, types.data());
    if (SUCCEEDED(out.types_hr))
        out.types.assign(types.begin(), types.begin() + count);
    std::vector<BDANODE_DESCRIPTOR> descriptors(capacity);
    count = 0xEEEE;
    out.descriptors_hr = topology->GetNodeDescriptors(&count, capacity, descriptors.data());
    if (SUCCEEDED(out.descriptors_hr)) {
        for (ULONG i = 0; i < count; ++i) {
            EXPECT_EQ(descriptors[i].ulBdaNodeType, i);
            out.functions.push_back(descriptors[i].guidFunction);
        }
    }
    return out;
}

TEST_F(Driver, StandardShorthandTopologies) {
    use_bench(R"({"tuners": [{"standard": "dvb-s"}, {"standard": "dvb-c"},
                             {"standard": "dvb-t"}, {"standard": "none"}, {}]})");
    const GUID demodulators[] = {KSNODE_BDA_QPSK_DEMODULATOR, KSNODE_BDA_QAM_DEMODULATOR,
                                 KSNODE_BDA_OFDM_DEMODULATOR};
    for (size_t i = 0; i < 3; ++i) {
        auto t = read_topology(tuner(i).get());
        EXPECT_EQ(t.types, (std::vector<ULONG>{0, 1}));
        EXPECT_EQ(t.functions, (std::vector<GUID>{KSNODE_BDA_RF_TUNER, demodulators[i]}));
    }
    for (size_t i = 3; i < 5; ++i) {
        auto t = read_topology(tuner(i).get());
        EXPECT_EQ(t.types, (std::vector<ULONG>{0}));
        EXPECT_EQ(t.functions, (std::vector<GUID>{KSNODE_BDA_RF_TUNER}));
    }
}

TEST_F(Driver, ExplicitTopologyOverridesTheStandard) {
    use_bench(R"({"tuners": [
      {"standard": "dvb-s", "topology": {"node_types": [1, 7, 0],
        "functions": ["ofdm", "{6390c905-27c1-4d67-bdb7-77c50d079300}"]}},
      {"standard": "dvb-s", "topology": "absent"},
      {"topology": {"node_types": [0], "functions": ["rf_tuner"], "fail": "GetNodeDescriptors"}},
      {"topology": {"node_types": [0], "functions": ["qam"], "fail": "GetNodeTypes"}}]})");
    auto t = read_topology(tuner(0).get());
    // A node type may point outside the descriptors.
    EXPECT_EQ(t.types, (std::vector<ULONG>{1, 7, 0}));
    EXPECT_EQ(t.functions,
              (std::vector<GUID>{KSNODE_BDA_OFDM_DEMODULATOR, KSNODE_BDA_QPSK_DEMODULATOR}));

    com_ptr<IBDA_Topology> none;
    EXPECT_EQ(tuner(1).query(IID_IBDA_Topology, none), E_NOINTERFACE);

    t = read_topology(tuner(2).get());
    EXPECT_EQ(t.types_hr, S_OK);
    EXPECT_EQ(t.descriptors_hr, E_FAIL);
    t = read_topology(tuner(3).get());
    EXPECT_EQ(t.types_hr, E_FAIL);
    EXPECT_EQ(t.descriptors_hr, S_OK);
}

TEST_F(Driver, TopologyLargerThanTheListFails) {
    ordered_json bench;
    ordered_json types = ordered_json::array();
    ordered_json functions = ordered_json::array();
    for (int i = 0; i < 257; ++i)
        types.push_back(0);
    for (int i = 0; i < 256; ++i)
        functions.push_back("qpsk");
    bench["tuners"] = {{{"topology", {{"node_types", types}, {"functions", functions}}}}};
    use_bench(bench.dump());
    auto t = read_topology(tuner().get());
    EXPECT_EQ(t.types_hr, static_cast<HRESULT>(0x8007007A));
    EXPECT_EQ(t.descriptors_hr, S_OK);
    EXPECT_EQ(t.functions.size(), 256u);
    // A caller's list shorter than the topology is refused too, and left alone.
    t = read_topology(tuner().get(), 10);
    EXPECT_EQ(t.descriptors_hr, static_cast<HRESULT>(0x8007007A));
}

// ---------------------------------------------------------------------------------------
// The extension property set.

TEST_F(Driver, UnicableShorthandSupportsAllThreeProperties) {
    use_bench(R"({"tuners": [{"unicable": {"enabled": 1, "scr": 2, "frequency": 1210}}]})");
    auto set = property_set(tuner().get());
    ASSERT_TRUE(set);
    HRESULT hr;
    for (DWORD id : {3u, 4u, 5u}) {
        EXPECT_EQ(support_of(set.get(), id, &hr), 3u);
        EXPECT_EQ(hr, S_OK);
    }
    EXPECT_EQ(read_prop(set.get(), 3).value, 1);
    EXPECT_EQ(read_prop(set.get(), 4).value, 2);
    auto frequency = read_prop(set.get(), 5);
    EXPECT_EQ(frequency.hr, S_OK);
    EXPECT_EQ(frequency.value, 1210);
    EXPECT_EQ(frequency.returned, 4u);
    // Ids outside the set.
    support_of(set.get(), 6, &hr);
    EXPECT_EQ(hr, E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(read_prop(set.get(), 2).hr, E_PROP_ID_UNSUPPORTED);
}

TEST_F(Driver, DriverWithoutTheSetFailsEveryCall) {
    use_bench(R"({"tuners": [{}]})");
    auto filter = tuner();
    // IKsPropertySet exists on every pin.
    for (auto& pin : pins(filter.get())) {
        com_ptr<IKsPropertySet> set;
        ASSERT_EQ(pin.query(IID_IKsPropertySet, set), S_OK);
        HRESULT hr;
        EXPECT_EQ(support_of(set.get(), 3, &hr), 0xDEADu);
        EXPECT_EQ(hr, E_PROP_SET_UNSUPPORTED);
        auto r = read_prop(set.get(), 3, 77);
        EXPECT_EQ(r.hr, E_PROP_SET_UNSUPPORTED);
        EXPECT_EQ(r.value, 77);
        EXPECT_EQ(r.returned, 0xDEADu);
        EXPECT_EQ(write_prop(set.get(), 3, 1), E_PROP_SET_UNSUPPORTED);
    }
}

TEST_F(Driver, AbsentExtensionGivesNoPropertySet) {
    use_bench(R"({"tuners": [{"extension": "absent", "unicable": {"enabled": 1}}],
                  "captures": [{}]})");
    for (auto& pin : pins(tuner().get())) {
        com_ptr<IKsPropertySet> set;
        EXPECT_EQ(pin.query(IID_IKsPropertySet, set), E_NOINTERFACE);
    }
}

TEST_F(Driver, WrongPropertySetIsUnsupported) {
    use_bench(R"({"tuners": [{"unicable": {"enabled": 1}}]})");
    auto set = property_set(tuner().get());
    DWORD flags = 0xDEAD;
    EXPECT_EQ(set->QuerySupported(IID_IPin, 3, &flags), E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(flags, 0xDEADu);
    int32_t value = 5;
    EXPECT_EQ(set->Set(IID_IPin, 3, &value, 4, &value, 4), E_PROP_SET_UNSUPPORTED);
}

TEST_F(Driver, SupportFlagsGateGetAndSet) {
    use_bench(R"({"tuners": [{"extension": {
        "3": {"support": 1, "value": 9},
        "4": {"support": 2, "value": 8},
        "5": {"support": 0, "value": 7}}}]})");
    auto set = property_set(tuner().get());
    EXPECT_EQ(support_of(set.get(), 3), 1u);
    EXPECT_EQ(support_of(set.get(), 4), 2u);
    EXPECT_EQ(support_of(set.get(), 5), 0u);

    EXPECT_EQ(read_prop(set.get(), 3).value, 9);
    EXPECT_EQ(write_prop(set.get(), 3, 1), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(read_prop(set.get(), 3).value, 9);

    auto r = read_prop(set.get(), 4, -1);
    EXPECT_EQ(r.hr, E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(r.value, -1);
    EXPECT_EQ(write_prop(set.get(), 4, 3), S_OK);

    EXPECT_EQ(read_prop(set.get(), 5).hr, E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(write_prop(set.get(), 5, 3), E_PROP_ID_UNSUPPORTED);
}

TEST_F(Driver, FailureKeysOverrideAndLeaveBuffersAlone) {
    std::string path = use_bench(R"({"tuners": [{"extension": {
        "3": {"support": 3, "value": 1, "query_fails": "0x80070057"},
        "4": {"support": 3, "value": 2, "get_fails": "0x8007001F"},
        "5": {"support": 3, "value": 3, "set_fails": "0x80004005"}}}]})");
    std::string before = read_text(path);
    auto set = property_set(tuner().get());
    HRESULT hr;
    EXPECT_EQ(support_of(set.get(), 3, &hr), 0xDEADu);
    EXPECT_EQ(hr, E_INVALIDARG);
    // query_fails leaves Get alone.
    EXPECT_EQ(read_prop(set.get(), 3).value, 1);

    auto r = read_prop(set.get(), 4, 1234);
    EXPECT_EQ(r.hr, static_cast<HRESULT>(0x8007001F));
    EXPECT_EQ(r.value, 1234);
    EXPECT_EQ(r.returned, 0xDEADu);

    EXPECT_EQ(write_prop(set.get(), 5, 99), E_FAIL);
    EXPECT_EQ(read_prop(set.get(), 5).value, 3);
    EXPECT_EQ(read_text(path), before);
}

TEST_F(Driver, GetWritesFourLittleEndianBytes) {
    use_bench(R"({"tuners": [{"extension": {
        "3": {"support": 3, "value": -2},
        "4": {"support": 3, "value": 258},
        "5": {"support": 3, "value": 4294967295}}}]})");
    auto set = property_set(tuner().get());
    unsigned char bytes[8];
    std::memset(bytes, 0xAA, sizeof bytes);
    DWORD returned = 0;
    ASSERT_EQ(set->Get(test_extension_set, 4, bytes, 4, bytes, 4, &returned), S_OK);
    EXPECT_EQ(returned, 4u);
    const unsigned char expected[] = {0x02, 0x01, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);
    EXPECT_EQ(read_prop(set.get(), 3).value, -2);
    EXPECT_EQ(read_prop(set.get(), 5).value, -1);
    // A buffer too small for the value is refused.
    EXPECT_EQ(set->Get(test_extension_set, 4, bytes, 2, bytes, 2, &returned),
              static_cast<HRESULT>(0x8007007A));
}

// ---------------------------------------------------------------------------------------
// Values kept in the bench file.

std::vector<std::string> keys(const ordered_json& object) {
    std::vector<std::string> out;
    for (auto it = object.begin(); it != object.end(); ++it)
        out.push_back(it.key());
    return out;
}

TEST_F(Driver, SetStoresUnicableValuesInTheFile) {
    std::string path = use_bench(R"({
  "captures": [{"friendly_name": "Cap"}],
  "tuners": [
    {"friendly_name": "Other"},
    {"unicable": {"frequency": 1210, "enabled": 1}, "friendly_name": "Morvane", "link": "x"}
  ]
})");
    auto before = ordered_json::parse(read_text(path));
    auto set = property_set(tuner(1).get());
    EXPECT_EQ(write_prop(set.get(), 3, 0), S_OK);
    EXPECT_EQ(write_prop(set.get(), 5, 1680), S_OK);
    EXPECT_EQ(write_prop(set.get(), 4, 3), S_OK);

    auto after = ordered_json::parse(read_text(path));
    const ordered_json& unicable = after["tuners"][1]["unicable"];
    EXPECT_EQ(unicable["enabled"], 0);
    EXPECT_EQ(unicable["frequency"], 1680);
    EXPECT_EQ(unicable["scr"], 3);
    // Key order kept; the missing key is added at the end.
    EXPECT_EQ(keys(after), keys(before));
    EXPECT_EQ(keys(after["tuners"][1]), keys(before["tuners"][1]));
    EXPECT_EQ(keys(unicable), (std::vector<std::string>{"frequency", "enabled", "scr"}));
    // Everything else unchanged.
    after["tuners"][1]["unicable"] = before["tuners"][1]["unicable"];
    EXPECT_EQ(after, before);
    // Written by rename: nothing else is left in the directory.
    size_t files = 0;
    for ([[maybe_unused]] auto& file : std::filesystem::directory_iterator(dir_))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(Driver, SetStoresExtensionValuesAddingValueWhenAbsent) {
    std::string path = use_bench(R"({"tuners": [{"extension": {
        "3": {"support": 3, "value": 1}, "5": {"set_fails": "S_FALSE", "support": 2}}}]})");
    auto set = property_set(tuner().get());
    EXPECT_EQ(write_prop(set.get(), 3, -7), S_OK);
    // A success code from set_fails still stores the value.
    EXPECT_EQ(write_prop(set.get(), 5, 1550), S_FALSE);
    auto after = ordered_json::parse(read_text(path));
    const ordered_json& extension = after["tuners"][0]["extension"];
    EXPECT_EQ(extension["3"]["value"], -7);
    EXPECT_EQ(keys(extension["5"]), (std::vector<std::string>{"set_fails", "support", "value"}));
    EXPECT_EQ(extension["5"]["value"], 1550);
}

TEST_F(Driver, StoringChangesOnlyTheValueInTheText) {
    const std::string before = R"({
  "tuners": [
    {"friendly_name": "Morvane",   "unicable": { "enabled": 1, "scr": 1, "frequency":  1210 }},
    {"extension": {"3": {"support": 2},
                   "4": {}}}
  ]
}
)";
    std::string path = use_bench(before);
    EXPECT_EQ(write_prop(property_set(tuner(0).get()).get(), 5, 1680), S_OK);
    std::string expected = before;
    expected.replace(expected.find("1210"), 4, "1680");
    EXPECT_EQ(read_text(path), expected);

    auto second = property_set(tuner(1).get());
    EXPECT_EQ(write_prop(second.get(), 3, -1), S_OK);
    expected.replace(expected.find("{\"support\": 2}"), 14, "{\"support\": 2, \"value\": -1}");
    EXPECT_EQ(read_text(path), expected);
}

TEST_F(Driver, StoredValuesSurviveAFreshLoad) {
    use_bench(R"({"tuners": [{"unicable": {"enabled": 1, "scr": 1, "frequency": 1210}}]})");
    EXPECT_EQ(write_prop(property_set(tuner().get()).get(), 4, 2), S_OK);
    // As after a restart: nothing cached.
    standin::reset();
    EXPECT_EQ(read_prop(property_set(tuner().get()).get(), 4).value, 2);
}

TEST_F(Driver, OutsideEditsSinceTheLoadAreKept) {
    std::string path =
        use_bench(R"({"tuners": [{"friendly_name": "A", "unicable": {"enabled": 1}}]})");
    auto filter = tuner();
    write_file("bench.json", R"({"tuners": [{"friendly_name": "B", "unicable": {"enabled": 1}}]})");
    EXPECT_EQ(write_prop(property_set(filter.get()).get(), 3, 0), S_OK);
    auto after = ordered_json::parse(read_text(path));
    EXPECT_EQ(after["tuners"][0]["friendly_name"], "B");
    EXPECT_EQ(after["tuners"][0]["unicable"]["enabled"], 0);
}

} // namespace
