// The bench in force, shared by both hosts (see in_force.h).

#include "simulator/bench/in_force.h"

#include <cstdio>
#include <functional>
#include <set>

namespace sim {

std::atomic<long> bench_reads{0};

namespace {

struct BenchState {
    std::shared_ptr<Model> in_force; // null until the first read
    // The MORVANE_BENCH value the bench in force was read for (nothing: the variable unset).
    std::optional<std::string> read_for;
    // The last content rejected, and why: not loaded again.
    std::string rejected_path;
    std::string rejected_bytes;
    std::string rejected_reason;
    std::set<std::string> warned; // what was warned about, by path and content
    // The stamp of the file the bench in force was last read from, and when that read began.
    std::optional<bench::FileStamp> in_force_stamp;
    std::int64_t in_force_read_at = 0;
};

BenchState& state() {
    static BenchState instance;
    return instance;
}

// Without a bench file: a PC without any broadcast device, every category empty.
std::shared_ptr<Model> empty_pc() {
    static const auto model = std::make_shared<Model>();
    return model;
}

// What a warning is about: the path and a fingerprint of the content (or of the reason the
// file could not be read), so that each content warns once without being kept.
std::string warning_key(const std::string& kind, const std::string& path, const std::string& what) {
    return kind + '\0' + path + '\0' + std::to_string(what.size()) + ':' +
           std::to_string(std::hash<std::string>{}(what));
}

void warn_once(const std::string& key, const std::string& line) {
    if (!state().warned.insert(key).second)
        return;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// Puts what was read from the bench file in force, with the stamp of the file, when it is a
// valid bench (the same content keeps its model); else gives the reason it is refused. Call
// with bench_mutex() held.
bool put_in_force(const std::string& path, bench::FileRead&& read, std::string& reason) {
    BenchState& s = state();
    if (!read.ok) {
        reason = read.reason;
        return false;
    }
    std::shared_ptr<Model> model = s.in_force;
    if (!model || model->path != path || model->bytes != read.bytes) {
        if (s.rejected_path == path && s.rejected_bytes == read.bytes) {
            reason = s.rejected_reason;
            return false;
        }
        bench::Loaded loaded = bench::load(read.bytes);
        if (!loaded.bench) {
            s.rejected_path = path;
            s.rejected_bytes = std::move(read.bytes);
            s.rejected_reason = loaded.reason;
            reason = loaded.reason;
            return false;
        }
        model = std::make_shared<Model>();
        static_cast<bench::Bench&>(*model) = std::move(*loaded.bench);
        model->path = path;
        model->bytes = std::move(read.bytes);
    }
    s.in_force = std::move(model);
    s.in_force_stamp = read.stamp;
    s.in_force_read_at = read.read_at_ns;
    return true;
}

// True when the bench file is, without a doubt, still the one the bench in force was read
// from: same stamp, and its last change well before that read. Call with bench_mutex() held.
bool unchanged_since_read(const std::string& path) {
    const BenchState& s = state();
    if (!s.in_force || s.in_force->path != path || !s.in_force_stamp)
        return false;
    auto now = bench::stamp_file(path);
    return now && bench::settled_since(*now, *s.in_force_stamp, s.in_force_read_at);
}

// Puts what was read in force when it is a valid bench; else warns once for that content
// and keeps the last valid bench. Call with bench_mutex() held.
void take_up(const std::string& path, bench::FileRead&& read) {
    BenchState& s = state();
    std::string what = read.ok ? read.bytes : "\x01" + read.reason;
    std::string reason;
    if (put_in_force(path, std::move(read), reason))
        return;
    warn_once(warning_key("load", path, what), "bench: " + bench_file_label(path) + ": " + reason +
                                                   " (keeping the last valid bench)");
    if (!s.in_force)
        s.in_force = empty_pc();
}

// Reads the bench file variable names and takes it up (without one: the empty PC), for that
// variable. Call with bench_mutex() held.
std::shared_ptr<Model> read_in_force(const std::optional<std::string>& variable) {
    BenchState& s = state();
    s.read_for = variable;
    if (!variable)
        s.in_force = empty_pc();
    else
        take_up(*variable, read_bench_file(*variable));
    return s.in_force;
}

} // namespace

std::string bench_file_label(const std::string& path) {
    return bench::printable(host::bench_label(path), 4096);
}

std::mutex& bench_mutex() {
    static std::mutex instance;
    return instance;
}

bench::FileRead read_bench_file(const std::string& path) {
    ++bench_reads;
    return bench::read_file(path);
}

std::shared_ptr<Model> current_bench() {
    auto variable = host::bench_variable();
    std::lock_guard lock(bench_mutex());
    BenchState& s = state();
    if (s.in_force && s.read_for == variable)
        return s.in_force;
    return read_in_force(variable);
}

std::shared_ptr<Model> reread_bench() {
    auto variable = host::bench_variable();
    std::lock_guard lock(bench_mutex());
    BenchState& s = state();
    s.read_for = variable;
    if (variable && unchanged_since_read(*variable))
        return s.in_force; // the same content: reading it again would change nothing
    return read_in_force(variable);
}

void take_up_bench(const std::string& path, const bench::FileRead& read) {
    auto variable = host::bench_variable();
    std::lock_guard lock(bench_mutex());
    BenchState& s = state();
    if (variable != path)
        return; // read for a bench that is no longer the one in use
    s.read_for = variable;
    take_up(path, bench::FileRead(read));
}

std::string start_up_bench() {
    auto variable = host::bench_variable();
    if (!variable) {
        current_bench();
        return std::string();
    }
    std::lock_guard lock(bench_mutex());
    std::string reason;
    if (put_in_force(*variable, read_bench_file(*variable), reason))
        state().read_for = variable;
    return reason;
}

void forget_bench() {
    std::lock_guard lock(bench_mutex());
    state() = BenchState{};
    bench_reads = 0;
}

std::optional<HRESULT> result_fault(const char* method) {
    return bench::fault_for(current_bench()->faults.results, method);
}

// ---------------------------------------------------------------------------------------
// Driver memory: property values written back into the bench file.

void store_property(Model& model, const bench::Entry& entry, uint32_t id, int32_t value) {
    if (model.path.empty())
        return;
    // Normally the file still holds the bench in force. An outside edit since then is kept
    // when it is a valid bench with a place for the value; anything else is left alone. The
    // file read is the file replaced, whatever its path leads to meanwhile.
    bench::FileRead current = read_bench_file(model.path);
    std::string why = current.reason;
    std::optional<std::string> text;
    if (current.ok)
        text = bench::stored_text(current.bytes, model.bytes, model, entry, id, value, why);
    if (text)
        why = bench::replace_file(current, *text, [&] {
            // The watcher must know the new content before it appears under the bench's name.
            host::note_own_write(model.path, current.bytes, *text);
        });
    if (!why.empty()) {
        warn_once(warning_key("store", model.path, current.ok ? current.bytes : current.reason),
                  "bench: " + bench_file_label(model.path) +
                      ": the file was not updated, the property value is kept in memory (" + why +
                      ")");
        return;
    }
    if (current.bytes == model.bytes)
        model.bytes = std::move(*text); // the model stays in force for the new content
}

} // namespace sim
