// The reception graph: capture search, pin pairing, transport-information lookup, the
// connection results, the teardown order, and every creation or call the bench can make fail.
#include "support.h"

#include <algorithm>

using namespace media_test;

namespace {

using Graph = MediaBench;

const std::string sat_name = "Morvane DVB-S2 Tuner";

// The log of sat.json's one tuner around the given assembly, capture search and connection.
std::string sat_log(const std::string& assembly, const std::string& scan,
                    const std::string& connect, const std::string& banners = logs::supported()) {
    return logs::header() + assembly + scan + connect + banners + logs::row(0, sat_name);
}

std::string sat_scan() {
    return logs::scan({{"Morvane DVB-S2 Capture", "usb#sat#1#cap"}});
}

// The first word and the filter of each line: "RemoveFilter cap1 -> 0x..." gives
// "RemoveFilter cap1".
std::vector<std::string> events(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        const std::size_t first = line.find(' ');
        out.push_back(line.substr(0, line.find(' ', first + 1)));
    }
    return out;
}

bool contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

TEST_F(Graph, WithoutReceiverComponentsTheTunerIsAddedByTheConnection) {
    use_bench("no_captures.json");
    records found;
    logs::connection c;
    c.add_tuner = 0;
    c.add_capture = -2147467261; // nothing to add
    EXPECT_EQ(enumerate(found),
              sat_log(logs::assembly(), "No devices available\n", logs::connect(c)));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].unicable_frequency, 1210u) << "the probe runs without a capture filter";
}

TEST_F(Graph, ElevenOfTwelveCandidatesAreTriedAndTheEleventhIsKept) {
    use_bench("twelve_captures.json");
    std::vector<std::pair<std::string, std::string>> tried;
    for (int i = 0; i <= 10; ++i)
        tried.emplace_back("Foreign Capture " + std::to_string(i),
                           "usb#foreign#" + std::to_string(i));
    EXPECT_EQ(enumerate(), sat_log(logs::assembly(), logs::scan(tried), logs::connect_not_found()));

    const std::vector<std::string> graph = events(trace_of({"AddFilter", "RemoveFilter"}));
    for (int i = 0; i <= 10; ++i) {
        const std::string id = "c" + std::to_string(i);
        EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter " + id), i == 10 ? 2 : 1)
            << id << ": the connection adds the kept candidate once more";
        EXPECT_EQ(std::count(graph.begin(), graph.end(), "RemoveFilter " + id), i == 10 ? 2 : 1)
            << id;
    }
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter c11"), 0);
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter own"), 0);
}

TEST_F(Graph, CandidateWithoutPropertyBagEndsTheSearch) {
    use_bench("bag_fails.json");
    EXPECT_EQ(enumerate(),
              sat_log(logs::assembly(), logs::scan({{"Foreign Capture", "usb#foreign"}}),
                      logs::connect_not_found()));
    const std::vector<std::string> graph = events(trace_of({"AddFilter", "RemoveFilter"}));
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter broken"), 0);
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter cap1"), 0);
    // Tried once in the search and taken out, added and taken out again by connection and
    // teardown.
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "RemoveFilter foreign"), 2);
}

TEST_F(Graph, EveryTransportInformationFilterOfTheNameIsAddedAndTheLastIsUsed) {
    use_bench("duplicate_tif.json");
    EXPECT_EQ(enumerate(), sat_log(logs::assembly(), sat_scan(), logs::connect_found()));
    const std::vector<std::string> adds = trace_of({"AddFilter"});
    EXPECT_TRUE(contains(adds, "AddFilter tif_a \"BDA MPEG2 Transport Information Filter\" -> "
                               "0x00000000"));
    EXPECT_TRUE(contains(adds, "AddFilter tif_b \"BDA MPEG2 Transport Information Filter\" -> "
                               "0x0004022d"));
    EXPECT_TRUE(contains(adds, "AddFilter tables \"MPEG-2 Sections and Tables\" -> 0x00000000"));
    EXPECT_FALSE(contains(adds, "tif_lower")) << "names compare case-sensitively";
    EXPECT_FALSE(contains(adds, "tif_number"));
    EXPECT_FALSE(contains(adds, "tif_bagless"));
    EXPECT_TRUE(contains(trace_of({"ConnectDirect"}), "MPEG2Demultiplexer:PSI tif_b:"));
    const std::vector<std::string> teardown = events(trace_of({"RemoveFilter", "Stop"}));
    EXPECT_EQ(std::count(teardown.begin(), teardown.end(), "RemoveFilter tif_a"), 0)
        << "the first one goes with the graph";
    EXPECT_EQ(std::count(teardown.begin(), teardown.end(), "Stop tif_b"), 1);
}

TEST_F(Graph, MatchingTransportInformationEntryThatCannotBeBoundIsStillAdded) {
    // The lookup binds straight into its destination and adds whatever that holds: a failed
    // bind leaves it empty, and the graph answers the addition of nothing.
    nlohmann::json bench = load_bench("duplicate_tif.json");
    bench["transport_information"][3]["faults"] = {"BindToObject"};
    use_bench_json(bench);
    logs::connection c;
    c.tif = -2147467259; // tif_filter is empty; the null renderer takes the PSI pin
    EXPECT_EQ(enumerate(), sat_log(logs::assembly(), sat_scan(), logs::connect(c)));
    const std::vector<std::string> adds = trace_of({"AddFilter"});
    EXPECT_TRUE(contains(adds, "AddFilter tif_a \"BDA MPEG2 Transport Information Filter\" -> "
                               "0x00000000"));
    EXPECT_TRUE(contains(adds, "AddFilter (null) \"BDA MPEG2 Transport Information Filter\" -> "
                               "0x80004003"));
    const std::vector<std::string> teardown = events(trace_of({"RemoveFilter", "Stop"}));
    EXPECT_EQ(std::count(teardown.begin(), teardown.end(), "Stop tif_a"), 0)
        << "the destination no longer holds the first one";
}

TEST_F(Graph, PairingPassesConnectedOutputsAndRefusingInputs) {
    use_bench("pins.json");
    records found;
    EXPECT_EQ(enumerate(found), logs::header() + logs::assembly() +
                                    logs::scan({{"Morvane Picky Capture", "usb#picky"}}) +
                                    logs::connect_found() + logs::supported() +
                                    logs::row(0, "Morvane Busy Output"));
    const std::vector<std::string> connects = trace_of({"ConnectDirect"});
    ASSERT_GE(connects.size(), 2u);
    // The capture search: the first output pin is connected outside the graph, the first
    // input pin cannot tell its direction, the second refuses; the third accepts.
    EXPECT_EQ(connects[0], "ConnectDirect busy:MPEG2 Transport 2 picky:Input0 -> 0x80040207");
    EXPECT_EQ(connects[1], "ConnectDirect busy:MPEG2 Transport 2 picky:Input1 -> 0x00000000");
    EXPECT_FALSE(contains(connects, "busy:MPEG2 Transport picky"));
    EXPECT_FALSE(contains(connects, "picky:Info"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].unicable_frequency, 1400u) << "the probe uses the first output pin";
}

TEST_F(Graph, TunerThatReachesItsCaptureConnectsTheDemultiplexer) {
    use_bench("reaches_capture.json");
    logs::connection c;
    c.capture = 0;
    c.capture_demux = 0;
    EXPECT_EQ(enumerate(), logs::header() + logs::assembly() +
                               logs::scan({{"Morvane Dual Capture", "usb#dualcap"}}) +
                               logs::connect(c) + logs::supported() +
                               logs::row(0, "Morvane Dual Output"));
    EXPECT_TRUE(contains(trace_of({"ConnectDirect"}),
                         "ConnectDirect dualcap:MPEG2 Transport MPEG2Demultiplexer:MPEG-2 Stream "
                         "-> 0x00000000"));
}

TEST_F(Graph, TeardownStopsTheTransportInformationFilterBeforeRemovingIt) {
    use_bench("example.json");
    enumerate();
    const std::vector<std::string> teardown = events(trace_of({"RemoveFilter", "Stop"}));
    auto tuner_teardown = [](const std::string& tuner, const std::string& capture) {
        return std::vector<std::string>{"RemoveFilter DVBSNetworkProvider",
                                        "Stop DVBSNetworkProvider",
                                        "RemoveFilter " + tuner,
                                        "Stop " + tuner,
                                        "RemoveFilter " + capture,
                                        "Stop " + capture,
                                        "RemoveFilter MPEG2Demultiplexer",
                                        "Stop MPEG2Demultiplexer",
                                        "Stop tif0",
                                        "RemoveFilter tif0",
                                        "RemoveFilter tif1",
                                        "Stop tif1"};
    };
    // The cable tuner's search tries cap1 first and takes it out again.
    std::vector<std::string> expected = tuner_teardown("sat", "cap1");
    expected.push_back("RemoveFilter cap1");
    const std::vector<std::string> second = tuner_teardown("cable", "cap2");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(teardown, expected);
    EXPECT_FALSE(contains(trace(), "NullRenderer -> ")) << "the null renderer goes with the graph";
}

// One fault of the bench's "faults" section and the log it gives on sat.json.
struct fault_case {
    const char* name;
    nlohmann::json faults;
    std::string log;
};

std::string assembly_with(const std::string& from, const std::string& to) {
    std::string log = logs::assembly();
    const std::size_t at = log.find(from);
    return at == std::string::npos ? "<" + from + " not in assembly>"
                                   : log.replace(at, from.size(), to);
}

std::vector<fault_case> fault_cases() {
    const std::string all_fail = "-2147467259";
    std::vector<fault_case> cases;

    logs::connection no_graph;
    no_graph.network_tuner = no_graph.capture = no_graph.tif = no_graph.null_renderer = -2147467259;
    std::string no_graph_connect = logs::connect(no_graph);
    no_graph_connect.erase(0, no_graph_connect.find("CONNECTFILTER NETWORK"));
    cases.push_back({"FilterGraphNoThread",
                     {{"CoCreateInstance", {{"FilterGraphNoThread", "0x80040154"}}}},
                     sat_log(assembly_with("ADD FILTER NETWORKPROVIDER: 0\n", ""),
                             "Found device: Morvane DVB-S2 Capture\nDevicePath: usb#sat#1#cap\n",
                             no_graph_connect)});

    logs::connection no_provider;
    no_provider.network_tuner = -2147467259;
    cases.push_back({"DVBSTuningSpace",
                     {{"CoCreateInstance", {{"DVBSTuningSpace", "0x80040154"}}}},
                     sat_log("Creating network provider failed\n"
                             "ADD FILTER NETWORKPROVIDER: 80004003\n"
                             "PUT LOCATOR\n"
                             "QueryInterface\n"
                             "Creating mpeg2 demux succeeded!!\n",
                             sat_scan(), logs::connect(no_provider))});
    cases.push_back({"DVBSNetworkProvider",
                     {{"CoCreateInstance", {{"DVBSNetworkProvider", "0x80040154"}}}},
                     sat_log("PUT NETWORKTYPE: 0\n"
                             "Creating network provider failed\n"
                             "ADD FILTER NETWORKPROVIDER: 80004003\n"
                             "Create Tune Request :0\n"
                             "PUT LOCATOR\n"
                             "QueryInterface\n"
                             "Creating mpeg2 demux succeeded!!\n",
                             sat_scan(), logs::connect(no_provider))});
    cases.push_back(
        {"DVBSLocator not registered",
         {{"CoCreateInstance", {{"DVBSLocator", "0x80040154"}}}},
         sat_log(assembly_with("PUT LOCATOR\n", "Locator class isn't registered\nPUT LOCATOR\n"),
                 sat_scan(), logs::connect_found())});
    cases.push_back({"DVBSLocator aggregation",
                     {{"CoCreateInstance", {{"DVBSLocator", "0x80040110"}}}},
                     sat_log(assembly_with("PUT LOCATOR\n", "can't be created...\nPUT LOCATOR\n"),
                             sat_scan(), logs::connect_found())});
    cases.push_back({"DVBSLocator other failure",
                     {{"CoCreateInstance", {{"DVBSLocator", "0x80004005"}}}},
                     sat_log(logs::assembly(), sat_scan(), logs::connect_found())});

    logs::connection no_demux;
    no_demux.tif = no_demux.null_renderer = -2147467259;
    cases.push_back({"MPEG2Demultiplexer",
                     {{"CoCreateInstance", {{"MPEG2Demultiplexer", "0x80040154"}}}},
                     sat_log(assembly_with("Creating mpeg2 demux succeeded!!\n",
                                           "Creating mpeg2 demux failed\n"),
                             sat_scan(), logs::connect(no_demux))});
    logs::connection no_renderer;
    no_renderer.null_renderer = -2147467259;
    cases.push_back({"NullRenderer",
                     {{"CoCreateInstance", {{"NullRenderer", "0x80040154"}}}},
                     sat_log(logs::assembly(), sat_scan(), logs::connect(no_renderer))});

    logs::connection no_capture;
    no_capture.add_tuner = 0;
    no_capture.add_capture = -2147467261;
    cases.push_back({"captures category",
                     {{"CreateClassEnumerator", {{"captures", "0x80004005"}}}},
                     sat_log(logs::assembly(), "Enumeration failed\n", logs::connect(no_capture))});
    logs::connection no_tif;
    no_tif.tif = -2147467259; // the null renderer takes the PSI pin instead
    cases.push_back({"transport_information category",
                     {{"CreateClassEnumerator", {{"transport_information", "0x80004005"}}}},
                     sat_log(logs::assembly(), sat_scan(), logs::connect(no_tif))});

    cases.push_back({"put_NetworkType",
                     {{"results", {{"IDVBSTuningSpace::put_NetworkType", "0x80004005"}}}},
                     sat_log("PUT NETWORKTYPE: 80004005\n"
                             "Creating network provider failed\n"
                             "ADD FILTER NETWORKPROVIDER: 80004003\n"
                             "Create Tune Request :0\n"
                             "PUT LOCATOR\n"
                             "QueryInterface\n"
                             "Creating mpeg2 demux succeeded!!\n",
                             sat_scan(), logs::connect(no_provider))});
    // Without a tune request the locator has nowhere to go, but the tuner control still
    // exists: it is handed the missing request and answers for itself.
    cases.push_back({"CreateTuneRequest",
                     {{"results", {{"IDVBSTuningSpace::CreateTuneRequest", "0x80004005"}}}},
                     sat_log("PUT NETWORKTYPE: 0\n"
                             "Creating network provider succeeded!!\n"
                             "ADD FILTER NETWORKPROVIDER: 0\n"
                             "Create Tune Request :80004005\n"
                             "PUT LOCATOR\n"
                             "QueryInterface\n"
                             "PUT TUNINGSPACE: 0\n"
                             "Put Tune request 1: 0\n"
                             "Creating mpeg2 demux succeeded!!\n",
                             sat_scan(), logs::connect_found())});
    cases.push_back(
        {"put_Modulation",
         {{"results", {{"IDVBSLocator::put_Modulation", "0x80004005"}}}},
         sat_log(assembly_with("PUT LOCATOR\n", "put carrierfrequency failed\nPUT LOCATOR\n"),
                 sat_scan(), logs::connect_found())});
    cases.push_back({"put_TuningSpace",
                     {{"results", {{"ITuner::put_TuningSpace", "0x80004005"}}}},
                     sat_log(assembly_with("PUT TUNINGSPACE: 0\n", "PUT TUNINGSPACE: 80004005\n"),
                             sat_scan(), logs::connect_found())});
    cases.push_back(
        {"put_TuneRequest",
         {{"results", {{"ITuner::put_TuneRequest", "0x80004005"}}}},
         sat_log(assembly_with("Put Tune request 1: 0\n", "Put Tune request 1: 80004005\n"),
                 sat_scan(), logs::connect_found())});

    logs::connection not_added;
    not_added.add_tuner = not_added.add_capture = -2147467259;
    not_added.network_tuner = not_added.tif = not_added.null_renderer = -2147467259;
    cases.push_back({"AddFilter",
                     {{"results", {{"IFilterGraph::AddFilter", "0x80004005"}}}},
                     sat_log(assembly_with("ADD FILTER NETWORKPROVIDER: 0\n",
                                           "ADD FILTER NETWORKPROVIDER: 80004005\n"),
                             "add morvane driver " + all_fail +
                                 "\nFound device: Morvane DVB-S2 Capture\n"
                                 "DevicePath: usb#sat#1#cap\n",
                             logs::connect(not_added))});
    return cases;
}

TEST_F(Graph, EveryFaultOfTheGraphBuildGivesItsLogAndTheProbeStillRuns) {
    for (const fault_case& c : fault_cases()) {
        SCOPED_TRACE(c.name);
        nlohmann::json bench = load_bench("sat.json");
        bench["faults"] = c.faults;
        use_bench_json(bench);
        records found;
        EXPECT_EQ(enumerate(found), c.log);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].devicetype, DEVICETYPE_DVBS);
        EXPECT_EQ(found[0].unicable_supported, 1);
        EXPECT_EQ(found[0].unicable_frequency, 1210u);
        EXPECT_EQ(found[0].unicable_satcr, 2);
    }
}

TEST_F(Graph, FailingWalkOfTheReceiverComponentsEndsTheSearch) {
    nlohmann::json bench = load_bench("bag_fails.json");
    bench["captures"][1] = {{"next_fails", "0x80004005"}};
    use_bench_json(bench);
    EXPECT_EQ(enumerate(),
              sat_log(logs::assembly(),
                      logs::scan({{"Foreign Capture", "usb#foreign"}}) + "enumeration failed\n",
                      logs::connect_not_found()));
}

TEST_F(Graph, CaptureSearchOnASecondTunerStartsFromAnEmptyGraph) {
    // Both tuners share one capture filter entry: each graph must find it anew.
    nlohmann::json bench = load_bench("sat.json");
    nlohmann::json second = bench["tuners"][0];
    second["id"] = "sat2";
    second["friendly_name"] = "Morvane DVB-S2 Tuner 2";
    second["device_path"] = "usb#sat#2";
    bench["tuners"].push_back(second);
    use_bench_json(bench);
    records found;
    EXPECT_EQ(enumerate(found), logs::header() + logs::assembly() + sat_scan() +
                                    logs::connect_found() + logs::supported() +
                                    logs::row(0, sat_name) + logs::assembly() + sat_scan() +
                                    logs::connect_found() + logs::supported() +
                                    logs::row(1, "Morvane DVB-S2 Tuner 2"));
    const std::vector<std::string> adds = events(trace_of({"AddFilter"}));
    EXPECT_EQ(std::count(adds.begin(), adds.end(), "AddFilter DVBSNetworkProvider"), 2);
}

} // namespace
