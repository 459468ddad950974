// The bench in force, kept alike by both hosts: the file MORVANE_BENCH names, read at
// start-up and then only where a host's platform looks at its devices afresh (the Linux host:
// each category enumerator; the Windows driver: each bind of a device filter), a settled file
// whose stamp has not changed being taken as unchanged without reading it; its warnings (one
// per content); and the driver's property values stored back into it.
#pragma once

#include "simulator/bench/bench_file.h"
#include "simulator/bench/bench_model.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace sim {

// A validated bench with the file it was read from. The driver values of its entries change
// with every successful Set (under bench_mutex()).
struct Model : bench::Bench {
    std::string path;  // as MORVANE_BENCH gives it; empty: no bench file
    std::string bytes; // the file's content as last read or written by the simulator
};

// Guards the bench state and the driver values of every model.
std::mutex& bench_mutex();

// The bench in force. The file is read here only when no bench has been read yet for the
// file MORVANE_BENCH names; every other call uses the model in force.
std::shared_ptr<Model> current_bench();

// The bench read afresh: valid content is put in force (unchanged content keeps its model);
// invalid content warns once and keeps the last valid bench in force. A file whose stamp is
// that of the bench in force, settled well before it was read, is not read again.
std::shared_ptr<Model> reread_bench();

// Content of the bench file that someone else has read (the Linux host's device-change
// watcher): taken up as by reread_bench(), without reading the file again.
void take_up_bench(const std::string& path, const bench::FileRead& read);

// The start-up check: reads the bench MORVANE_BENCH names and puts it in force. Returns the
// reason it is refused, or an empty string (also without a bench).
std::string start_up_bench();

// Forgets the bench in force and the warnings given, as at process start.
void forget_bench();

// Reads the bench file at path, counted in bench_reads.
bench::FileRead read_bench_file(const std::string& path);
extern std::atomic<long> bench_reads;

// Stores a property value that Set changed into the bench file. Call with bench_mutex() held.
void store_property(Model& model, const bench::Entry& entry, uint32_t id, int32_t value);

// The result a bench's `faults.results` entry imposes on a method, if any.
std::optional<HRESULT> result_fault(const char* method);

// The file as messages name it.
std::string bench_file_label(const std::string& path);

// What each host provides.
namespace host {
// The value of MORVANE_BENCH; nothing when it is unset.
std::optional<std::string> bench_variable();
// The bench file as messages name it, before it is made printable.
std::string bench_label(const std::string& path);
// Called before the simulator's own write of the bench file takes its name: whoever watches
// the file must not take it for an edit.
void note_own_write(const std::string& path, const std::string& before, const std::string& after);
} // namespace host

} // namespace sim
