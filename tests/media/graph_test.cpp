// The reception graph: capture search, pin pairing, transport-information lookup, the teardown
// order, and every creation or call the bench can make fail, as the trace and the records show
// them. Their logs are golden cases (tests/golden/cases/graph_*).
#include "support.h"

#include <algorithm>

using namespace media_test;

namespace {

using Graph = MediaBench;

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
    enumerate(found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].unicable_frequency, 1210u) << "the probe runs without a capture filter";
}

TEST_F(Graph, ElevenOfTwelveCandidatesAreTriedAndTheEleventhIsKept) {
    use_bench("twelve_captures.json");
    enumerate();

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
    enumerate();
    const std::vector<std::string> graph = events(trace_of({"AddFilter", "RemoveFilter"}));
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter broken"), 0);
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "AddFilter cap1"), 0);
    // Tried once in the search and taken out, added and taken out again by connection and
    // teardown.
    EXPECT_EQ(std::count(graph.begin(), graph.end(), "RemoveFilter foreign"), 2);
}

TEST_F(Graph, EveryTransportInformationFilterOfTheNameIsAddedAndTheLastIsUsed) {
    use_bench("duplicate_tif.json");
    enumerate();
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
    enumerate();
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
    enumerate(found);
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
    enumerate();
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

TEST_F(Graph, EveryFaultOfTheGraphBuildLeavesTheProbeRunning) {
    const nlohmann::json faults[] = {
        {{"CoCreateInstance", {{"FilterGraphNoThread", "0x80040154"}}}},
        {{"CoCreateInstance", {{"DVBSTuningSpace", "0x80040154"}}}},
        {{"CoCreateInstance", {{"DVBSNetworkProvider", "0x80040154"}}}},
        {{"CoCreateInstance", {{"DVBSLocator", "0x80040154"}}}},
        {{"CoCreateInstance", {{"DVBSLocator", "0x80040110"}}}},
        {{"CoCreateInstance", {{"DVBSLocator", "0x80004005"}}}},
        {{"CoCreateInstance", {{"MPEG2Demultiplexer", "0x80040154"}}}},
        {{"CoCreateInstance", {{"NullRenderer", "0x80040154"}}}},
        {{"CreateClassEnumerator", {{"captures", "0x80004005"}}}},
        {{"CreateClassEnumerator", {{"transport_information", "0x80004005"}}}},
        {{"results", {{"IDVBSTuningSpace::put_NetworkType", "0x80004005"}}}},
        {{"results", {{"IDVBSTuningSpace::CreateTuneRequest", "0x80004005"}}}},
        {{"results", {{"IDVBSLocator::put_Modulation", "0x80004005"}}}},
        {{"results", {{"ITuner::put_TuningSpace", "0x80004005"}}}},
        {{"results", {{"ITuner::put_TuneRequest", "0x80004005"}}}},
        {{"results", {{"IFilterGraph::AddFilter", "0x80004005"}}}},
    };
    for (const nlohmann::json& fault : faults) {
        SCOPED_TRACE(fault.dump());
        nlohmann::json bench = load_bench("sat.json");
        bench["faults"] = fault;
        use_bench_json(bench);
        records found;
        enumerate(found);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].devicetype, DEVICETYPE_DVBS);
        EXPECT_EQ(found[0].unicable_supported, 1);
        EXPECT_EQ(found[0].unicable_frequency, 1210u);
        EXPECT_EQ(found[0].unicable_satcr, 2);
    }
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
    enumerate(found);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].unicable_frequency, 1210u);
    const std::vector<std::string> adds = events(trace_of({"AddFilter"}));
    EXPECT_EQ(std::count(adds.begin(), adds.end(), "AddFilter DVBSNetworkProvider"), 2);
}

} // namespace
