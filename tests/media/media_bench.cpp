// Cost of one enumeration over benches of 1, 10 and 100 of the maker's satellite tuners, each
// with its graph built, probed and torn down; and over a bench of two of them beside another
// maker's tuner whose friendly name is 5 MB long. Standard output goes to /dev/null while
// timing. Each case also reports how often one enumeration reads the bench file.
//
// The bench file is written, then left alone for a little over two seconds before timing, as
// a bench stands in a running session: the stand-in reads it again only when it may have
// changed. Run with --benchmark_filter=Fresh for a file that has just been written.
#include "media/device_list.h"
#include "platform/standin.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

nlohmann::json satellites(int tuners) {
    nlohmann::json bench;
    for (int i = 0; i < tuners; ++i)
        bench["tuners"].push_back(
            {{"id", "sat" + std::to_string(i)},
             {"friendly_name", "Morvane DVB-S2 Tuner " + std::to_string(i)},
             {"device_path", "usb#vid_734c&pid_5980#" + std::to_string(i)},
             {"standard", "dvb-s"},
             {"link", "usb"},
             {"unicable", {{"enabled", 1}, {"scr", i % 4}, {"frequency", 1210 + i}}}});
    bench["captures"].push_back(
        {{"id", "cap"}, {"friendly_name", "Morvane DVB-S2 Capture"}, {"link", "usb"}});
    return bench;
}

std::string write_bench(const nlohmann::json& bench, const std::string& name) {
    const std::string path = "/tmp/media-bench-" + std::to_string(getpid()) + "-" + name + ".json";
    std::ofstream(path) << bench.dump(1) << "\n";
    return path;
}

void run_enumerations(benchmark::State& state, const nlohmann::json& bench, int morvane_tuners,
                      const std::string& name, bool settled) {
    const std::string path = write_bench(bench, name);
    if (settled)
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    setenv("MORVANE_BENCH", path.c_str(), 1);
    unsetenv("MORVANE_TRACE");
    standin::reset();

    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    std::size_t found = 0;
    const standin::Counters before = standin::counters();
    for (auto _ : state) {
        std::vector<media_bda_device_list*> devices = media_enum_local_devices();
        found = devices.size();
        media_free_device_list(devices);
    }
    const standin::Counters after = standin::counters();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    std::remove(path.c_str());
    unsetenv("MORVANE_BENCH");
    standin::reset();

    if (found != static_cast<std::size_t>(morvane_tuners))
        state.SkipWithError("not every tuner was found");
    const double runs = static_cast<double>(state.iterations());
    state.counters["reads"] = static_cast<double>(after.bench_reads - before.bench_reads) / runs;
    state.counters["class_enumerators"] =
        static_cast<double>(after.class_enumerators - before.class_enumerators) / runs;
}

void Enumeration(benchmark::State& state) {
    const int tuners = static_cast<int>(state.range(0));
    run_enumerations(state, satellites(tuners), tuners, std::to_string(tuners), true);
    state.counters["per_tuner"] = benchmark::Counter(
        tuners, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void EnumerationFresh(benchmark::State& state) {
    const int tuners = static_cast<int>(state.range(0));
    run_enumerations(state, satellites(tuners), tuners, "fresh" + std::to_string(tuners), false);
    state.counters["per_tuner"] = benchmark::Counter(
        tuners, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Two of the maker's tuners and another maker's tuner named by 5 MB of text.
void EnumerationHugeName(benchmark::State& state) {
    nlohmann::json bench = satellites(2);
    bench["tuners"].push_back({{"id", "other"},
                               {"friendly_name", "Other Vendor " + std::string(5 << 20, 'x')},
                               {"device_path", "usb#other"},
                               {"standard", "dvb-t"}});
    run_enumerations(state, bench, 2, "huge", true);
}

BENCHMARK(Enumeration)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EnumerationFresh)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(EnumerationHugeName)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
