// The fault sweep: morvane-enum run as a user runs it on a bench of three tuners with every
// fault the bench can inject, alone, and with a seeded sample of pairs of them. Each run must
// end by itself with code 0, without a sanitizer report, and give every platform object back
// ("exit live=0" as the last trace line).
#include "child_process.h"
#include "temp_bench.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <random>
#include <set>

using namespace std::chrono_literals;
using nlohmann::ordered_json;

namespace {

// A satellite tuner with the Unicable shorthand, a cable tuner with the full extension and a
// terrestrial tuner without the property set, each with its capture filter.
ordered_json three_tuners() {
    return ordered_json::parse(R"({
  "tuners": [
    {"id": "sat", "friendly_name": "Morvane DVB-S2 Tuner", "device_path": "usb#vid_734c&pid_5980#1",
     "standard": "dvb-s", "link": "usb-1", "unicable": {"enabled": 1, "scr": 2, "frequency": 1210}},
    {"id": "cable", "friendly_name": "Morvane DVB-C Tuner", "device_path": "usb#vid_734c&pid_5990#2",
     "standard": "dvb-c", "link": "usb-2",
     "extension": {"3": {"support": 3, "value": 0}, "4": {"support": 3, "value": 1},
                   "5": {"support": 1, "value": 1400}}},
    {"id": "terr", "friendly_name": "Morvane DVB-T2 Tuner", "device_path": "usb#vid_734c&pid_5995#3",
     "standard": "dvb-t", "link": "usb-3"}
  ],
  "captures": [
    {"id": "cap1", "friendly_name": "Morvane DVB-S2 Capture", "device_path": "usb#1#cap", "link": "usb-1"},
    {"id": "cap2", "friendly_name": "Morvane DVB-C Capture", "device_path": "usb#2#cap", "link": "usb-2"},
    {"id": "cap3", "friendly_name": "Morvane DVB-T2 Capture", "device_path": "usb#3#cap", "link": "usb-3"}
  ]
})");
}

struct Fault {
    std::string name;
    std::function<void(ordered_json&)> apply;
};

const char* const fail = "0x80004005";

ordered_json& tuner(ordered_json& bench, int index) {
    return bench["tuners"][static_cast<std::size_t>(index)];
}

// Every fault key of the bench, each on its own.
std::vector<Fault> every_fault() {
    std::vector<Fault> faults;
    auto add = [&](std::string name, std::function<void(ordered_json&)> apply) {
        faults.push_back({std::move(name), std::move(apply)});
    };
    // Top level.
    add("CoInitialize", [](ordered_json& b) { b["faults"]["CoInitialize"] = "0x8001010E"; });
    add("CoInitialize S_FALSE", [](ordered_json& b) { b["faults"]["CoInitialize"] = "S_FALSE"; });
    add("StringFromIID", [](ordered_json& b) { b["faults"]["StringFromIID"] = "0x8007000E"; });
    for (const char* cls :
         {"SystemDeviceEnum", "FilterGraphNoThread", "DVBSTuningSpace", "DVBSLocator",
          "DVBSNetworkProvider", "MPEG2Demultiplexer", "NullRenderer"})
        add(std::string("CoCreateInstance ") + cls,
            [cls](ordered_json& b) { b["faults"]["CoCreateInstance"][cls] = "0x80040154"; });
    for (const char* category : {"tuners", "captures", "transport_information"}) {
        add(std::string("CreateClassEnumerator ") + category,
            [category](ordered_json& b) { b["faults"]["CreateClassEnumerator"][category] = fail; });
        add(std::string("CreateClassEnumerator S_FALSE ") + category, [category](ordered_json& b) {
            b["faults"]["CreateClassEnumerator"][category] = "S_FALSE";
        });
    }
    for (const char* method :
         {"IDVBSTuningSpace::put_NetworkType", "IDVBSTuningSpace::CreateTuneRequest",
          "IDVBSLocator::put_Modulation", "ITuner::put_TuningSpace", "ITuner::put_TuneRequest",
          "IFilterGraph::AddFilter"})
        add(std::string("results ") + method,
            [method](ordered_json& b) { b["faults"]["results"][method] = fail; });

    // Entries.
    for (const char* category : {"tuners", "captures"}) {
        for (const char* entry_fault : {"StringFromCLSID", "BindToStorage", "BindToObject"})
            add(std::string(category) + " faults " + entry_fault,
                [category, entry_fault](ordered_json& b) {
                    b[category][0]["faults"].push_back(entry_fault);
                });
        add(std::string(category) + " next_fails", [category](ordered_json& b) {
            auto& list = b[category];
            list.insert(list.begin() + 1, ordered_json{{"next_fails", fail}});
        });
        add(std::string(category) + " present false",
            [category](ordered_json& b) { b[category][0]["present"] = false; });
        add(std::string(category) + " friendly_name integer",
            [category](ordered_json& b) { b[category][0]["friendly_name"] = 7; });
        add(std::string(category) + " friendly_name null",
            [category](ordered_json& b) { b[category][0]["friendly_name"] = nullptr; });
        add(std::string(category) + " device_path integer",
            [category](ordered_json& b) { b[category][0]["device_path"] = 7; });
        add(std::string(category) + " device_path null",
            [category](ordered_json& b) { b[category][0]["device_path"] = nullptr; });
        for (const char* pin_key : {"pin_info_fails", "refuses", "connected"})
            add(std::string(category) + " pins " + pin_key, [category, pin_key](ordered_json& b) {
                const bool tuners = std::string(category) == "tuners";
                ordered_json in = {{"name", "Input0"},
                                   {"direction", "in"},
                                   {"medium", tuners ? "antenna" : "usb-1"}};
                ordered_json out = {{"name", "MPEG2 Transport"},
                                    {"direction", "out"},
                                    {"medium", tuners ? "usb-1" : "transport"}};
                in[pin_key] = true;
                out[pin_key] = true;
                b[category][0]["pins"] = ordered_json::array({in, out});
            });
    }
    add("transport_information next_fails", [](ordered_json& b) {
        b["transport_information"] =
            ordered_json::array({{{"friendly_name", "BDA MPEG2 Transport Information Filter"}},
                                 {{"next_fails", fail}}});
    });
    add("transport_information empty",
        [](ordered_json& b) { b["transport_information"] = ordered_json::array(); });
    add("transport_information BindToObject", [](ordered_json& b) {
        b["transport_information"] =
            ordered_json::array({{{"friendly_name", "BDA MPEG2 Transport Information Filter"},
                                  {"faults", {"BindToObject"}}},
                                 {{"friendly_name", "MPEG-2 Sections and Tables"}}});
    });
    add("link mismatch", [](ordered_json& b) { tuner(b, 0)["link"] = "nowhere"; });

    // Tuner topology and driver.
    add("topology absent", [](ordered_json& b) { tuner(b, 0)["topology"] = "absent"; });
    for (const char* topology_fail : {"GetNodeTypes", "GetNodeDescriptors"})
        add(std::string("topology fail ") + topology_fail, [topology_fail](ordered_json& b) {
            tuner(b, 0)["topology"] = {{"node_types", {0, 1}},
                                       {"functions", {"rf_tuner", "qpsk"}},
                                       {"fail", topology_fail}};
        });
    add("topology beyond 256", [](ordered_json& b) {
        tuner(b, 1)["topology"] = {{"node_types", std::vector<int>(300, 1)},
                                   {"functions", {"rf_tuner", "qam"}}};
    });
    add("topology outside the descriptors", [](ordered_json& b) {
        tuner(b, 2)["topology"] = {{"node_types", {0, 9}}, {"functions", {"ofdm"}}};
    });
    add("extension absent", [](ordered_json& b) { tuner(b, 1)["extension"] = "absent"; });
    add("extension empty",
        [](ordered_json& b) { tuner(b, 1)["extension"] = ordered_json::object(); });
    for (const char* call : {"query_fails", "get_fails", "set_fails"})
        for (const char* id : {"3", "4", "5"})
            add(std::string("extension ") + id + " " + call,
                [call, id](ordered_json& b) { tuner(b, 1)["extension"][id][call] = fail; });
    add("extension query S_FALSE",
        [](ordered_json& b) { tuner(b, 1)["extension"]["3"]["query_fails"] = "S_FALSE"; });
    for (int support = 0; support <= 2; ++support)
        add("extension support " + std::to_string(support), [support](ordered_json& b) {
            for (const char* id : {"3", "4", "5"})
                tuner(b, 1)["extension"][id]["support"] = support;
        });
    return faults;
}

struct Outcome {
    std::optional<int> exit_code;
    std::string trace_end;
    std::string errors;
};

Outcome run_enum(const ordered_json& bench) {
    TempBench dir;
    dir.write_bench(bench.dump(1));
    ChildProcess child(MCC_ENUM, {{"MORVANE_BENCH", dir.bench()}, {"MORVANE_TRACE", dir.trace()}});
    Outcome outcome;
    outcome.exit_code = child.wait_exit(60s);
    outcome.errors = child.standard_error();
    std::string trace = TempBench::read(dir.trace());
    while (!trace.empty() && trace.back() == '\n')
        trace.pop_back();
    outcome.trace_end =
        trace.substr(trace.rfind('\n') == std::string::npos ? 0 : trace.rfind('\n') + 1);
    return outcome;
}

void expect_clean(const std::string& what, const ordered_json& bench) {
    SCOPED_TRACE(what);
    const Outcome outcome = run_enum(bench);
    EXPECT_EQ(outcome.exit_code, 0) << outcome.errors;
    EXPECT_EQ(outcome.trace_end, "exit live=0");
    for (const char* report : {"Sanitizer", "runtime error", "bench: "})
        EXPECT_EQ(outcome.errors.find(report), std::string::npos) << outcome.errors;
}

TEST(FaultSweep, EveryFaultAloneOnThreeTuners) {
    expect_clean("no fault", three_tuners());
    for (const Fault& fault : every_fault()) {
        ordered_json bench = three_tuners();
        fault.apply(bench);
        expect_clean(fault.name, bench);
    }
}

TEST(FaultSweep, ASeededSampleOfPairs) {
    const std::vector<Fault> faults = every_fault();
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::size_t> pick(0, faults.size() - 1);
    std::set<std::pair<std::size_t, std::size_t>> tried;
    while (tried.size() < 40) {
        std::size_t a = pick(random);
        std::size_t b = pick(random);
        if (a == b || !tried.insert({std::min(a, b), std::max(a, b)}).second)
            continue;
        ordered_json bench = three_tuners();
        faults[a].apply(bench);
        faults[b].apply(bench);
        expect_clean(faults[a].name + " + " + faults[b].name, bench);
    }
}

} // namespace
