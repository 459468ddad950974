// Writing the Unicable settings: finding the tuner by its path, the writes in the order
// 3, 5, 4, the message box for a driver without the switch, the results of every failure of
// the walk, and the values the stand-in keeps in the bench.
#include "support.h"

#include "platform/standin.h"

using namespace media_test;

namespace {

using Apply = MediaBench;

const char box[] = "Unicable not Supported!|UNICABLE not SUPPORTED!|0";

// The log of an apply that found its tuner in a normally built graph with one capture.
std::string found_log(const std::string& capture, const std::string& capture_path,
                      const std::string& after_pin) {
    return logs::header() + logs::assembly() + logs::scan({{capture, capture_path}}) +
           logs::connect_found() + "found output pin returning now\n" + after_pin;
}

const std::string supported_once =
    "************************* MORVANE EXTENSION SUPPORTED ******************\n";

std::vector<std::string> writes(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines)
        out.push_back(line.substr(0, line.find(" ->")));
    return out;
}

TEST_F(Apply, WritesSwitchFrequencyAndScrInThatOrderAndTheBenchKeepsThem) {
    use_bench("sat.json");
    int32_t result = -2;
    EXPECT_EQ(apply(1680, 3, 1, u"usb#sat#1", result),
              found_log("Morvane DVB-S2 Capture", "usb#sat#1#cap", supported_once));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(writes(trace_of({"Set"})),
              (std::vector<std::string>{"Set 3 1", "Set 5 1680", "Set 4 3"}));
    EXPECT_TRUE(trace_of({"Get"}).empty());
    EXPECT_TRUE(message_boxes.empty());
    const nlohmann::json unicable = bench_now()["tuners"][0]["unicable"];
    EXPECT_EQ(unicable["enabled"], 1);
    EXPECT_EQ(unicable["frequency"], 1680);
    EXPECT_EQ(unicable["scr"], 3);

    records found;
    enumerate(found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].unicable_frequency, 1680u);
    EXPECT_EQ(found[0].unicable_satcr, 3);
}

TEST_F(Apply, SwitchOffStillWritesFrequencyAndScr) {
    use_bench("sat.json");
    int32_t result = -2;
    apply(1400, 1, 0, u"usb#sat#1", result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(writes(trace_of({"Set"})),
              (std::vector<std::string>{"Set 3 0", "Set 5 1400", "Set 4 1"}));
    const nlohmann::json unicable = bench_now()["tuners"][0]["unicable"];
    EXPECT_EQ(unicable["enabled"], 0);
    EXPECT_EQ(unicable["frequency"], 1400);
    EXPECT_EQ(unicable["scr"], 1);
}

TEST_F(Apply, ValuesPassUnchecked) {
    use_bench("sat.json");
    int32_t result = -2;
    apply(0, 7, 1, u"usb#sat#1", result);
    EXPECT_EQ(writes(trace_of({"Set"})),
              (std::vector<std::string>{"Set 3 1", "Set 5 0", "Set 4 7"}));
    apply(-1, 300, 1, u"usb#sat#1", result);
    records found;
    enumerate(found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].unicable_frequency, 4294967295u);
    EXPECT_EQ(found[0].unicable_satcr, 300 & 0xFF);
}

TEST_F(Apply, PathOfAnUnpluggedTunerOrDifferingInCaseFindsNothing) {
    use_bench("sat.json");
    for (const std::u16string& path :
         {std::u16string(u"usb#sat#2"), std::u16string(u"USB#SAT#1"), std::u16string(u"usb#sat#1 "),
          std::u16string(u"usb#sat#")}) {
        int32_t result = -2;
        EXPECT_EQ(apply(1210, 2, 1, path, result), logs::header());
        EXPECT_EQ(result, 0);
    }
    EXPECT_TRUE(trace_of({"AddFilter", "QuerySupported", "Set"}).empty());
    EXPECT_TRUE(message_boxes.empty());
}

TEST_F(Apply, NamelessTunerOfAnotherMakerBeforeTheWantedOneIsPassedOver) {
    use_bench("nameless_first.json");
    int32_t result = -2;
    EXPECT_EQ(apply(1300, 1, 1, u"usb#sat#1", result),
              found_log("Morvane DVB-S2 Capture", "usb#sat#1#cap", supported_once));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(writes(trace_of({"Set"})),
              (std::vector<std::string>{"Set 3 1", "Set 5 1300", "Set 4 1"}));
}

TEST_F(Apply, SamePathWithAnotherMakersNameGoesOnToTheNextTuner) {
    nlohmann::json bench = load_bench("sat.json");
    nlohmann::json other = bench["tuners"][0];
    other["id"] = "other";
    other["friendly_name"] = "Other Vendor DVB-S";
    bench["tuners"].insert(bench["tuners"].begin(), other);
    use_bench_json(bench);
    int32_t result = -2;
    apply(1500, 0, 1, u"usb#sat#1", result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(bench_now()["tuners"][0]["unicable"]["frequency"], 1210) << "other maker untouched";
    EXPECT_EQ(bench_now()["tuners"][1]["unicable"]["frequency"], 1500);
}

TEST_F(Apply, DriverWithoutTheSwitchShowsTheMessageBoxThenTheBanner) {
    use_bench("properties.json");
    int32_t result = -2;
    EXPECT_EQ(apply(1210, 1, 1, u"usb#no_set", result),
              found_log("Morvane Capture", "usb#cap", logs::not_supported()));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message_boxes, std::vector<std::string>{box});
    EXPECT_TRUE(trace_of({"Set"}).empty());
    // The box is shown before the banner; the trace records it among the property calls.
    EXPECT_EQ(trace_of({"QuerySupported", "MessageBox"}).at(1),
              "MessageBox \"Unicable not Supported!\" \"UNICABLE not SUPPORTED!\"");
}

TEST_F(Apply, ReadableButUnsettableSwitchIsNeverWrittenWhileFiveAndFourAre) {
    use_bench("properties.json");
    int32_t result = -2;
    EXPECT_EQ(apply(1111, 2, 1, u"usb#get_only", result),
              found_log("Morvane Capture", "usb#cap", logs::not_supported()));
    EXPECT_EQ(message_boxes, std::vector<std::string>{box});
    EXPECT_EQ(writes(trace_of({"Set"})), (std::vector<std::string>{"Set 5 1111", "Set 4 2"}));
    const nlohmann::json ext = bench_now()["tuners"][0]["extension"];
    EXPECT_EQ(ext["3"]["value"], 1);
    EXPECT_EQ(ext["5"]["value"], 1111);
    EXPECT_EQ(ext["4"]["value"], 2);
}

TEST_F(Apply, SwitchAloneIsWrittenWhenFiveAndFourAreMissing) {
    use_bench("properties.json");
    int32_t result = -2;
    apply(1111, 2, 0, u"usb#enable_only", result);
    EXPECT_EQ(writes(trace_of({"Set"})), (std::vector<std::string>{"Set 3 0"}));
    EXPECT_TRUE(message_boxes.empty());
}

TEST_F(Apply, FailingWritesAreNotReported) {
    use_bench("properties.json");
    int32_t result = -2;
    EXPECT_EQ(apply(1111, 2, 1, u"usb#failing", result),
              found_log("Morvane Capture", "usb#cap", supported_once));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(message_boxes.empty());
    // 5 cannot be queried; 4 refuses its value.
    EXPECT_EQ(writes(trace_of({"Set"})), (std::vector<std::string>{"Set 3 1", "Set 4 2"}));
    EXPECT_EQ(bench_now()["tuners"][4]["extension"]["4"]["value"], 3);
}

TEST_F(Apply, TunerWithoutReachablePropertySetIsLeftAlone) {
    {
        SCOPED_TRACE("no IKsPropertySet on the pin");
        use_bench("properties.json");
        int32_t result = -2;
        EXPECT_EQ(apply(1111, 2, 1, u"usb#no_pin_set", result),
                  found_log("Morvane Capture", "usb#cap", ""));
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(trace_of({"QuerySupported", "Set"}).empty());
    }
    {
        SCOPED_TRACE("the tuner cannot be bound");
        nlohmann::json bench = load_bench("sat.json");
        bench["tuners"][0]["faults"] = {"BindToObject"};
        use_bench_json(bench);
        int32_t result = -2;
        const std::string log = apply(1111, 2, 1, u"usb#sat#1", result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(log.find("found output pin returning now"), std::string::npos);
        EXPECT_EQ(log.find("MORVANE EXTENSION"), std::string::npos);
        EXPECT_TRUE(trace_of({"QuerySupported", "Set"}).empty());
    }
    {
        SCOPED_TRACE("the tuner has no output pin");
        nlohmann::json bench = load_bench("sat.json");
        bench["tuners"][0]["pins"] = {
            {{"name", "Input0"}, {"direction", "in"}, {"medium", "antenna"}}};
        use_bench_json(bench);
        int32_t result = -2;
        const std::string log = apply(1111, 2, 1, u"usb#sat#1", result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(log.find("found output pin returning now"), std::string::npos);
        EXPECT_TRUE(trace_of({"QuerySupported", "Set"}).empty());
    }
    EXPECT_TRUE(message_boxes.empty());
}

TEST_F(Apply, EveryFailureOfTheWalkReturnsMinusOne) {
    const struct {
        const char* name;
        std::function<void(nlohmann::json&)> change;
        std::string log;
    } cases[] = {
        {"CoInitialize",
         [](nlohmann::json& b) {
             b["faults"] = {{"CoInitialize", "0x8001010E"}};
         },
         "Local Devices:\nCoInitialize failed\n"},
        {"system device enumerator",
         [](nlohmann::json& b) {
             b["faults"] = {{"CoCreateInstance", {{"SystemDeviceEnum", "0x80040154"}}}};
         },
         "Local Devices:\nCoCreateInstance failed\n"},
        {"StringFromIID",
         [](nlohmann::json& b) {
             b["faults"] = {{"StringFromIID", "0x8007000E"}};
         },
         "Local Devices:\nStringFromIID failed\n"},
        {"CreateClassEnumerator",
         [](nlohmann::json& b) {
             b["faults"] = {{"CreateClassEnumerator", {{"tuners", "0x80004005"}}}};
         },
         "Local Devices:\nEnumeration failed 1\n"},
        {"no tuners", [](nlohmann::json& b) { b.erase("tuners"); },
         "Local Devices:\nNo devices available\n"},
        {"Next",
         [](nlohmann::json& b) {
             b["tuners"].insert(b["tuners"].begin(),
                                nlohmann::json::object({{"next_fails", "0x80004005"}}));
         },
         logs::header() + "Enumeration failed 2\n"},
        {"StringFromCLSID",
         [](nlohmann::json& b) {
             b["tuners"].insert(b["tuners"].begin(),
                                nlohmann::json::object({{"device_path", "usb#x"},
                                                        {"friendly_name", "X"},
                                                        {"faults", {"StringFromCLSID"}}}));
         },
         logs::header()},
        {"BindToStorage",
         [](nlohmann::json& b) {
             b["tuners"].insert(b["tuners"].begin(),
                                nlohmann::json::object({{"device_path", "usb#x"},
                                                        {"friendly_name", "X"},
                                                        {"faults", {"BindToStorage"}}}));
         },
         logs::header()},
        {"friendly name missing", [](nlohmann::json& b) { b["tuners"][0].erase("friendly_name"); },
         logs::header() + "Enumeration failed 5\n"},
        {"friendly name not a string",
         [](nlohmann::json& b) { b["tuners"][0]["friendly_name"] = 3; },
         logs::header() + "Enumeration failed 6\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        nlohmann::json bench = load_bench("sat.json");
        c.change(bench);
        use_bench_json(bench);
        int32_t result = -2;
        EXPECT_EQ(apply(1210, 2, 1, u"usb#sat#1", result), c.log);
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(trace_of({"Set"}).empty());
    }
    EXPECT_TRUE(message_boxes.empty());
}

TEST_F(Apply, EmptyPathAddressesNoTuner) {
    // Two of the maker's tuners without a path: neither may be taken for the other.
    nlohmann::json bench = load_bench("sat.json");
    nlohmann::json second = bench["tuners"][0];
    second["id"] = "sat2";
    bench["tuners"][0].erase("device_path");
    second["device_path"] = nullptr;
    bench["tuners"].push_back(second);
    use_bench_json(bench);
    for (const media_wchar* path : {static_cast<const media_wchar*>(nullptr), u""}) {
        int32_t result = -2;
        const std::string log =
            capture_stdout([&] { result = media_set_unicable_properties(1210, 2, 1, path); });
        EXPECT_EQ(log, logs::header());
        EXPECT_EQ(result, 0);
    }
    EXPECT_TRUE(trace_of({"AddFilter", "Set"}).empty());
    EXPECT_TRUE(message_boxes.empty());
    EXPECT_EQ(standin::live_objects(), 0);
}

} // namespace
