// Cost of one enumeration over benches of 1, 10 and 100 of the maker's satellite tuners, each
// with its graph built, probed and torn down. Standard output goes to /dev/null while timing.
#include "media/device_list.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string write_bench(int tuners) {
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
    const std::string path =
        "/tmp/media-bench-" + std::to_string(getpid()) + "-" + std::to_string(tuners) + ".json";
    std::ofstream(path) << bench.dump(1) << "\n";
    return path;
}

void Enumeration(benchmark::State& state) {
    const int tuners = static_cast<int>(state.range(0));
    const std::string path = write_bench(tuners);
    setenv("MORVANE_BENCH", path.c_str(), 1);
    unsetenv("MORVANE_TRACE");

    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    std::size_t found = 0;
    for (auto _ : state) {
        std::vector<media_bda_device_list*> devices = media_enum_local_devices();
        found = devices.size();
        media_free_device_list(devices);
    }
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    std::remove(path.c_str());

    if (found != static_cast<std::size_t>(tuners))
        state.SkipWithError("not every tuner was found");
    state.counters["per_tuner"] = benchmark::Counter(
        tuners, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(Enumeration)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
