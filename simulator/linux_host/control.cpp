// The stand-in's control surface (platform/standin.h) and what the bench in force asks of this
// host: the bench variable and the file's label in messages (its own writes go to the
// device-change watch, watch.cpp).

#include "platform/standin.h"
#include "simulator/linux_host/internal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace sim::host {

std::optional<std::string> bench_variable() {
    const char* variable = std::getenv("MORVANE_BENCH");
    return variable ? std::optional<std::string>(variable) : std::nullopt;
}

std::string bench_label(const std::string& path) {
    return path;
}

} // namespace sim::host

namespace standin {

namespace {
std::atomic<long> class_enumerators{0};
}

void detail::count_class_enumerator() {
    ++class_enumerators;
}

std::string check_bench(const std::string& path) {
    return bench::load_file(path).reason;
}

void startup() {
    std::string reason = sim::start_up_bench();
    if (!reason.empty()) {
        std::fprintf(stderr, "bench: %s: %s\n",
                     sim::bench_file_label(*sim::host::bench_variable()).c_str(), reason.c_str());
        std::fflush(stderr);
        std::exit(2);
    }
    detail::ensure_exit_hook();
}

Counters counters() {
    return {sim::bench_reads.load(), class_enumerators.load()};
}

void reset() {
    sim::forget_bench();
    class_enumerators = 0;
    detail::forget_thread_initialization();
    detail::forget_message_box_handler();
}

} // namespace standin
