// The bench in force for the simulated driver, and the driver values stored back into it.

#include "simulator/bench/bench_file.h"
#include "simulator/windows_driver/simdriver.h"

#include <cstdio>
#include <set>

namespace simdriver {

namespace {

struct State {
    std::shared_ptr<Model> in_force;
    std::string rejected_path; // the last text refused: not loaded again
    std::string rejected_bytes;
    std::set<std::string> warned; // path and reason of each warning given
};

State& state() {
    static State instance;
    return instance;
}

std::shared_ptr<Model> empty_pc() {
    static const auto model = std::make_shared<Model>(Model{{}, {}, bench::empty_pc()});
    return model;
}

void warn_once(const std::string& path, const std::string& reason, bool keeping = true) {
    if (!state().warned.insert(path + '\0' + reason).second)
        return;
    std::fprintf(stderr, "bench: %s: %s%s\n", bench_label(path).c_str(), reason.c_str(),
                 keeping ? " (keeping the last valid bench)" : "");
    std::fflush(stderr);
}

} // namespace

std::string bench_label(const std::string& path) {
    return bench::printable(environment(L"MORVANE_BENCH_LABEL").value_or(path), 4096);
}

std::mutex& bench_mutex() {
    static std::mutex instance;
    return instance;
}

std::shared_ptr<Model> current_bench() {
    auto path = environment(L"MORVANE_BENCH");
    std::lock_guard lock(bench_mutex());
    State& s = state();
    if (!path) {
        s.in_force = empty_pc();
        return s.in_force;
    }
    bench::FileRead read = bench::read_file(*path);
    if (!read.ok) {
        warn_once(*path, read.reason);
    } else if (s.in_force && s.in_force->path == *path && s.in_force->bytes == read.bytes) {
        // unchanged
    } else if (!(s.rejected_path == *path && s.rejected_bytes == read.bytes)) {
        bench::Loaded loaded = bench::load(read.bytes);
        if (loaded.bench) {
            s.in_force = std::make_shared<Model>(
                Model{*path, std::move(read.bytes), std::move(*loaded.bench)});
        } else {
            s.rejected_path = *path;
            s.rejected_bytes = read.bytes;
            warn_once(*path, loaded.reason);
        }
    }
    if (!s.in_force)
        s.in_force = empty_pc();
    return s.in_force;
}

void store_property(Model& model, const bench::Entry& entry, uint32_t id, int32_t value) {
    if (model.path.empty())
        return;
    // Normally the file still holds the bench in force. An outside edit since then is kept
    // when it is a valid bench with a place for the value; anything else is left alone.
    bench::FileRead current = bench::read_file(model.path);
    std::string why;
    std::optional<std::string> text;
    if (!current.ok)
        why = current.reason;
    else
        text = bench::stored_text(current.bytes, model.bytes, model.bench, entry, id, value, why);
    auto own_writes = environment(L"MORVANE_SIMDRIVER_OWN_WRITES");
    std::string error;
    if (text && !bench::replace_file(model.path, *text, error, [&] {
            // Whoever watches the bench must know this text before it appears under its name.
            if (own_writes && !own_writes->empty()) {
                std::string ignored;
                bench::replace_file(*own_writes, *text, ignored);
            }
        }))
        why = "cannot write it (" + bench::printable(error, 200) + ")";
    if (!why.empty()) {
        warn_once(model.path,
                  "the file was not updated, the property value is kept in memory (" + why + ")",
                  false);
        return;
    }
    if (current.bytes == model.bytes)
        model.bytes = std::move(*text); // the model stays in force for the new text
}

} // namespace simdriver
