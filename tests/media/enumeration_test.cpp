// The enumeration of the maker's tuners: its whole log on the edge-case benches, the records
// it returns, the order of its property calls, and that it gives every reference back.
#include "support.h"

#include "platform/standin.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

using namespace media_test;

namespace {

using Enumeration = MediaBench;

// One tuner whose graph builds normally and whose capture filter is found first.
std::string found_tuner(int id, const std::string& name, const std::string& capture,
                        const std::string& capture_path, const std::string& banners) {
    return logs::assembly() + logs::scan({{capture, capture_path}}) + logs::connect_found() +
           banners + logs::row(id, name);
}

void expect_record(const media_bda_device_list& r, int id, const std::string& name,
                   const std::string& path, int type, int supported, int enabled,
                   uint32_t frequency, int satcr) {
    EXPECT_EQ(r.id, id) << name;
    EXPECT_EQ(utf8(r.devicename), name);
    EXPECT_EQ(utf8(r.devicepath), path) << name;
    EXPECT_EQ(r.devicetype, type) << name;
    EXPECT_EQ(r.unicable_supported, supported) << name;
    EXPECT_EQ(r.unicable_enabled, enabled) << name;
    EXPECT_EQ(r.unicable_frequency, frequency) << name;
    EXPECT_EQ(r.unicable_satcr, satcr) << name;
}

TEST_F(Enumeration, WithoutTunersPrintsNoDevicesAndNoTableHeader) {
    for (bool with_bench : {false, true}) {
        if (with_bench)
            use_bench("empty.json");
        records found;
        EXPECT_EQ(enumerate(found), "Local Devices:\nNo devices available\n");
        EXPECT_EQ(found.size(), 0u);
    }
}

TEST_F(Enumeration, OtherMakersAndLowerCaseNamesAreNotSelected) {
    for (const char* bench : {"other_makers.json", "lowercase.json"}) {
        use_bench(bench);
        records found;
        EXPECT_EQ(enumerate(found), logs::header()) << bench;
        EXPECT_EQ(found.size(), 0u) << bench;
        EXPECT_TRUE(trace_of({"AddFilter", "QuerySupported"}).empty()) << "no graph for " << bench;
    }
}

TEST_F(Enumeration, NamelessTunerOfAnotherMakerListedFirstEndsTheWalk) {
    use_bench("nameless_first.json");
    records found;
    EXPECT_EQ(enumerate(found), logs::header() + "Enumeration failed 5\n");
    EXPECT_EQ(found.size(), 0u);
}

TEST_F(Enumeration, ExampleBenchGivesTheWholeLogAndTwoRecords) {
    use_bench("example.json");
    records found;
    const std::string log = enumerate(found);
    EXPECT_EQ(log, R"(Local Devices:
 ID   |   Devicename
-------------------------------------------------
PUT NETWORKTYPE: 0
Creating network provider succeeded!!
ADD FILTER NETWORKPROVIDER: 0
Create Tune Request :0
PUT LOCATOR
QueryInterface
PUT TUNINGSPACE: 0
Put Tune request 1: 0
Creating mpeg2 demux succeeded!!
add morvane driver 0
Found device: Morvane DVB-S2 Capture
DevicePath: \\?\usb#vid_734c&pid_5980#1#cap
add morvane driver 262701
adding capture: 262701
CONNECTFILTER NETWORK TUNER: 0
CONNECTING TUNER WITH CAPTURE: %p %p
CONNECTING NETWORK WITH BDA TUNER
CONNECTFILTER CAPTURE: -2147467259, 80004005
now connect with TIF filter
SET MEDIA TYPE FAILED
CONNECTING DEMUX: -2147467259
CONNECTFILTER TIF: 0
Connectfilter mpsat: 0
CONNECT NULL RENDERER: 0
bdasource media_bda_connect_graph LINE
connecting graph
************************* MORVANE EXTENSION SUPPORTED ******************
************************* MORVANE EXTENSION SUPPORTED ******************
---> devlist Morvane DVB-S2 Tuner 0    |  Morvane DVB-S2 Tuner
PUT NETWORKTYPE: 0
Creating network provider succeeded!!
ADD FILTER NETWORKPROVIDER: 0
Create Tune Request :0
PUT LOCATOR
QueryInterface
PUT TUNINGSPACE: 0
Put Tune request 1: 0
Creating mpeg2 demux succeeded!!
add morvane driver 0
Found device: Morvane DVB-S2 Capture
DevicePath: \\?\usb#vid_734c&pid_5980#1#cap
Found device: Morvane DVB-C Capture
DevicePath: \\?\usb#vid_734c&pid_5990#2#cap
add morvane driver 262701
adding capture: 262701
CONNECTFILTER NETWORK TUNER: 0
CONNECTING TUNER WITH CAPTURE: %p %p
CONNECTING NETWORK WITH BDA TUNER
CONNECTFILTER CAPTURE: -2147467259, 80004005
now connect with TIF filter
SET MEDIA TYPE FAILED
CONNECTING DEMUX: -2147467259
CONNECTFILTER TIF: 0
Connectfilter mpsat: 0
CONNECT NULL RENDERER: 0
bdasource media_bda_connect_graph LINE
connecting graph
************************** MORVANE EXTENSION NOT SUPPORTED ************
---> devlist Morvane DVB-C Tuner 1    |  Morvane DVB-C Tuner
)");
    ASSERT_EQ(found.size(), 2u);
    expect_record(found[0], 0, "Morvane DVB-S2 Tuner", R"(\\?\usb#vid_734c&pid_5980#1)", 1, 1, 1,
                  1210, 2);
    expect_record(found[1], 1, "Morvane DVB-C Tuner", R"(\\?\usb#vid_734c&pid_5990#2)", 2, 0, 0, 0,
                  0);
}

TEST_F(Enumeration, LastDemodulatorInReportedOrderDecidesTheType) {
    use_bench("demodulators.json");
    records found;
    const std::string log = enumerate(found);
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0].devicetype, DEVICETYPE_DVBT) << "QPSK then OFDM";
    EXPECT_EQ(found[1].devicetype, DEVICETYPE_DVBS) << "OFDM then QPSK";
    EXPECT_EQ(found[2].devicetype, DEVICETYPE_DVBS) << "node types select descriptors";
    EXPECT_EQ(found[3].devicetype, DEVICETYPE_NONE) << "node types outside the descriptors";
    EXPECT_EQ(found[4].devicetype, DEVICETYPE_DVBC);
    std::string expected = logs::header();
    const char* names[] = {"Morvane Hybrid A", "Morvane Hybrid B", "Morvane Hybrid C",
                           "Morvane Hybrid D", "Morvane Cable"};
    for (int i = 0; i < 5; ++i)
        expected += found_tuner(i, names[i], "Morvane Capture", "usb#cap", logs::not_supported());
    EXPECT_EQ(log, expected);
}

TEST_F(Enumeration, TunersThatCannotBeClassifiedAreReturnedWithTypeZero) {
    use_bench("unclassified.json");
    records found;
    const std::string log = enumerate(found);
    const char* names[] = {"Morvane No Demodulator", "Morvane No Topology", "Morvane Types Fail",
                           "Morvane Descriptors Fail", "Morvane Unknown Node"};
    const char* paths[] = {"usb#none", "usb#absent", "usb#types", "usb#descriptors", "usb#unknown"};
    std::string expected = logs::header();
    ASSERT_EQ(found.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        expect_record(found[i], i, names[i], paths[i], DEVICETYPE_NONE, 0, 0, 0, 0);
        expected += found_tuner(i, names[i], "Morvane Capture", "usb#cap", logs::not_supported());
    }
    EXPECT_EQ(log, expected);
}

TEST_F(Enumeration, UnicableFieldsFollowTheSetFlagAndKeepTheLowByte) {
    use_bench("properties.json");
    records found;
    const std::string log = enumerate(found);
    ASSERT_EQ(found.size(), 7u);
    // Readable but not settable switch: neither read nor counted; 5 and 4 on their own flags.
    expect_record(found[0], 0, "Morvane Get Only", "usb#get_only", 1, 0, 0, 1300, 1);
    // Switch without frequency and SCR.
    expect_record(found[1], 1, "Morvane Enable Only", "usb#enable_only", 1, 1, 1, 0, 0);
    // Values of 256 and more: the switch and the SCR keep their low byte, the frequency all.
    expect_record(found[2], 2, "Morvane Wide Values", "usb#wide", 1, 1, 1, 70000, 3);
    // 256 is "off"; -1 reads as 4294967295; a set-only SCR fails to read and stays 0.
    expect_record(found[3], 3, "Morvane Wrapped Values", "usb#wrapped", 1, 1, 0, 4294967295u, 0);
    // A failing read leaves 0, a failing QuerySupported skips the property.
    expect_record(found[4], 4, "Morvane Failing Calls", "usb#failing", 1, 1, 0, 0, 3);
    // No IKsPropertySet on the pin, and a driver without the set.
    expect_record(found[5], 5, "Morvane No Property Set", "usb#no_pin_set", 1, 0, 0, 0, 0);
    expect_record(found[6], 6, "Morvane Without Extension", "usb#no_set", 2, 0, 0, 0, 0);

    const std::string banners[] = {logs::not_supported(), logs::supported(), logs::supported(),
                                   logs::supported(),     logs::supported(), logs::not_supported(),
                                   logs::not_supported()};
    std::string expected = logs::header();
    for (int i = 0; i < 7; ++i)
        expected +=
            found_tuner(i, utf8(found[i].devicename), "Morvane Capture", "usb#cap", banners[i]);
    EXPECT_EQ(log, expected);
}

// "QuerySupported 3 -> ..." becomes "QuerySupported 3".
std::vector<std::string> property_calls(const std::vector<std::string>& lines) {
    std::vector<std::string> calls;
    for (const std::string& line : lines)
        calls.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
    return calls;
}

TEST_F(Enumeration, PropertiesAreQueriedInTheOrderThreeFiveFour) {
    nlohmann::json bench = load_bench("properties.json");
    auto& tuners = bench["tuners"];
    tuners.erase(tuners.begin() + 2, tuners.end()); // get_only, enable_only
    nlohmann::json wide = load_bench("properties.json")["tuners"][2];
    tuners.push_back(wide);
    use_bench_json(bench);
    enumerate();
    const std::vector<std::string> expected = {
        // get_only: the unsettable switch is never read
        "QuerySupported 3", "QuerySupported 3", "QuerySupported 5", "Get 5", "QuerySupported 4",
        "Get 4",
        // enable_only: 5 and 4 are unsupported
        "QuerySupported 3", "QuerySupported 3", "Get 3", "QuerySupported 5", "QuerySupported 4",
        // wide: everything
        "QuerySupported 3", "QuerySupported 3", "Get 3", "QuerySupported 5", "Get 5",
        "QuerySupported 4", "Get 4"};
    EXPECT_EQ(property_calls(trace_of({"QuerySupported", "Get", "Set"})), expected);
}

TEST_F(Enumeration, RowIsPrintedWhileTheGraphStillStands) {
    use_bench("example.json");
    // The log goes into the trace file, so that both keep their relative order.
    const int trace = open(trace_path_.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    ASSERT_GE(trace, 0);
    capture_stdout([&] {
        dup2(trace, 1);
        records found;
        found.list = media_enum_local_devices();
        std::fflush(stdout);
    });
    close(trace);
    std::vector<std::string> order;
    for (const std::string& line : trace_of({"---> devlist", "Get", "RemoveFilter"})) {
        const std::string word = line.substr(0, line.find(' '));
        if (order.empty() || order.back() != word)
            order.push_back(word);
    }
    // The satellite tuner reads its properties, the cable tuner has none.
    EXPECT_EQ(order,
              (std::vector<std::string>{"Get", "--->", "RemoveFilter", "--->", "RemoveFilter"}));
}

TEST_F(Enumeration, TunersSkippedByTheNameTestTakeNoIdAndRowsFollowEnumerationOrder) {
    nlohmann::json bench = load_bench("example.json");
    auto other = bench["tuners"][0];
    other["id"] = "other2";
    bench["tuners"].insert(bench["tuners"].begin() + 2, other);
    use_bench_json(bench);
    records found;
    enumerate(found);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].id, 0);
    EXPECT_EQ(found[1].id, 1);
    EXPECT_EQ(utf8(found[1].devicename), "Morvane DVB-C Tuner");
}

TEST_F(Enumeration, NonAsciiNamesArePrintedAsUtf8) {
    nlohmann::json bench = load_bench("sat.json");
    bench["tuners"][0]["friendly_name"] = "Morvane T\u00fcner \U0001F4FA";
    use_bench_json(bench);
    records found;
    const std::string log = enumerate(found);
    EXPECT_NE(log.find("---> devlist Morvane T\xC3\xBCner \xF0\x9F\x93\xBA 0    |  Morvane "
                       "T\xC3\xBCner \xF0\x9F\x93\xBA\n"),
              std::string::npos)
        << log;
    ASSERT_EQ(found.size(), 1u);
    const std::u16string name = u"Morvane T\u00fcner \U0001F4FA";
    EXPECT_EQ(std::u16string(found[0].devicename), name);
}

TEST_F(Enumeration, FailuresOfTheMonikerWalkReturnTheRecordsCollected) {
    {
        SCOPED_TRACE("Next fails after the first tuner");
        use_bench("walk_faults.json");
        records found;
        EXPECT_EQ(enumerate(found),
                  logs::header() +
                      found_tuner(0, "Morvane DVB-S2 Tuner", "Morvane DVB-S2 Capture",
                                  "usb#sat#1#cap", logs::supported()) +
                      "Enumeration failed 2\n");
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(utf8(found[0].devicename), "Morvane DVB-S2 Tuner");
    }
    for (const char* fault : {"StringFromCLSID", "BindToStorage"}) {
        SCOPED_TRACE(fault);
        nlohmann::json bench = load_bench("walk_faults.json");
        bench["tuners"][1] = {{"id", "broken"},
                              {"friendly_name", "Foreign Tuner"},
                              {"device_path", "usb#foreign"},
                              {"faults", {fault}}};
        use_bench_json(bench);
        records found;
        EXPECT_EQ(enumerate(found),
                  logs::header() + found_tuner(0, "Morvane DVB-S2 Tuner", "Morvane DVB-S2 Capture",
                                               "usb#sat#1#cap", logs::supported()));
        EXPECT_EQ(found.size(), 1u) << "the walk stops silently at the broken entry";
    }
    {
        SCOPED_TRACE("a friendly name that is not a string");
        nlohmann::json bench = load_bench("walk_faults.json");
        bench["tuners"][1] = {{"id", "number"}, {"friendly_name", 42}, {"device_path", "usb#n"}};
        use_bench_json(bench);
        records found;
        EXPECT_EQ(enumerate(found),
                  logs::header() +
                      found_tuner(0, "Morvane DVB-S2 Tuner", "Morvane DVB-S2 Capture",
                                  "usb#sat#1#cap", logs::supported()) +
                      "Enumeration failed 6\n");
        EXPECT_EQ(found.size(), 1u);
    }
}

TEST_F(Enumeration, DevicePathThatIsNoStringBecomesEmpty) {
    for (const nlohmann::json& path : {nlohmann::json(17), nlohmann::json(nullptr)}) {
        nlohmann::json bench = load_bench("sat.json");
        bench["tuners"][0]["device_path"] = path;
        use_bench_json(bench);
        records found;
        enumerate(found);
        ASSERT_EQ(found.size(), 1u);
        ASSERT_NE(found[0].devicepath, nullptr);
        EXPECT_EQ(utf8(found[0].devicepath), "");
        EXPECT_EQ(found[0].unicable_frequency, 1210u) << "the probe still runs";
    }
}

TEST_F(Enumeration, TunerThatCannotBeBoundIsReturnedWithZeros) {
    nlohmann::json bench = load_bench("sat.json");
    bench["tuners"][0]["faults"] = {"BindToObject"};
    use_bench_json(bench);
    records found;
    logs::connection c;
    c.add_tuner = -2147467261; // no filter to add
    c.add_capture = 0;         // the candidate went out of the graph again
    c.network_tuner = -2147467259;
    EXPECT_EQ(enumerate(found), logs::header() + logs::assembly() +
                                    "add morvane driver -2147467261\n"
                                    "Found device: Morvane DVB-S2 Capture\n"
                                    "DevicePath: usb#sat#1#cap\n" +
                                    logs::connect(c) + logs::not_supported() +
                                    logs::row(0, "Morvane DVB-S2 Tuner"));
    ASSERT_EQ(found.size(), 1u);
    expect_record(found[0], 0, "Morvane DVB-S2 Tuner", "usb#sat#1", 0, 0, 0, 0, 0);
}

TEST_F(Enumeration, FailuresBeforeTheWalkReturnNothing) {
    const struct {
        nlohmann::json faults;
        std::string line;
    } cases[] = {
        {{{"CoInitialize", "0x8001010E"}}, "CoInitialize failed\n"},
        {{{"CoCreateInstance", {{"SystemDeviceEnum", "0x80040154"}}}}, "CoCreateInstance failed\n"},
        {{{"StringFromIID", "0x8007000E"}}, "StringFromIID failed\n"},
        {{{"CreateClassEnumerator", {{"tuners", "0x80004005"}}}}, "Enumeration failed 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        nlohmann::json bench = load_bench("sat.json");
        bench["faults"] = c.faults;
        use_bench_json(bench);
        records found;
        EXPECT_EQ(enumerate(found), "Local Devices:\n" + c.line);
        EXPECT_EQ(found.size(), 0u);
    }
}

TEST_F(Enumeration, CoInitializeAnsweringFalseIsASuccess) {
    nlohmann::json bench = load_bench("sat.json");
    bench["faults"] = {{"CoInitialize", "S_FALSE"}};
    use_bench_json(bench);
    records found;
    EXPECT_EQ(enumerate(found),
              logs::header() + found_tuner(0, "Morvane DVB-S2 Tuner", "Morvane DVB-S2 Capture",
                                           "usb#sat#1#cap", logs::supported()));
    EXPECT_EQ(found.size(), 1u);
}

// The bench file is read at start-up and at each category enumerator, nowhere else: the
// other calls of an enumeration use the bench in force.
TEST_F(Enumeration, ReadsTheBenchOnlyAtStartupAndAtEachCategoryEnumerator) {
    use_bench("example.json"); // two of the maker's tuners
    standin::startup();
    media_initialize();
    records found;
    enumerate(found);
    ASSERT_EQ(found.size(), 2u);
    standin::Counters after = standin::counters();
    EXPECT_GE(after.class_enumerators, 1);
    EXPECT_LE(after.bench_reads, 1 + after.class_enumerators)
        << after.bench_reads << " reads, " << after.class_enumerators << " category enumerators";

    records again;
    enumerate(again);
    standin::Counters second = standin::counters();
    EXPECT_LE(second.bench_reads - after.bench_reads,
              second.class_enumerators - after.class_enumerators);
}

TEST_F(Enumeration, RepeatedRunsGiveTheSameRecords) {
    use_bench("example.json");
    records first, second;
    const std::string log = enumerate(first);
    EXPECT_EQ(enumerate(second), log);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[1].devicetype, DEVICETYPE_DVBC);
}

TEST(DeviceRecords, FreeingAcceptsNullAndEmptiesTheList) {
    media_free_device(nullptr);
    std::vector<media_bda_device_list*> list;
    list.push_back(static_cast<media_bda_device_list*>(calloc(1, sizeof(media_bda_device_list))));
    list.push_back(nullptr);
    media_free_device_list(list);
    EXPECT_TRUE(list.empty());
}

} // namespace
