// Control surface of the stand-in platform (not part of the Windows API).
//
// The stand-in presents the simulated PC described by the bench file named in the
// environment variable MORVANE_BENCH, and writes its event trace to the file named in
// MORVANE_TRACE. Both variables are looked up afresh whenever they are needed, so a test
// can switch benches and traces between cases.
#pragma once

#ifndef _WIN32

#include <functional>
#include <string>

namespace standin {

// Start-up check of the bench: when MORVANE_BENCH names a file that cannot be read,
// parsed or validated, prints "bench: FILE: REASON" to standard error and exits with
// code 2. Also arranges for the "exit live=N" trace line at normal process exit.
void startup();

// Loads and validates a bench file without putting it in force. Returns the reason it
// is rejected (the REASON of "bench: FILE: REASON"), or an empty string when it is valid.
std::string check_bench(const std::string& path);

// Number of stand-in objects alive: handed out and not yet released by everyone.
long live_objects();

// MessageBoxA goes to this handler; without one it writes caption and text to standard
// error and answers IDOK. The call is traced either way.
using message_box_handler =
    std::function<int(const char* caption, const char* text, unsigned type)>;
void set_message_box_handler(message_box_handler handler);

// Device-change events: a change of the bench file's content made by anyone but the
// stand-in itself. watch_device_changes() sets up the watch and stores the callback;
// it returns false when the watch cannot be set up. The caller polls device_change_fd()
// (readable when something may have changed; -1 when there is nothing to watch) from its
// user-interface loop and then calls dispatch_device_changes(), which runs the callback
// once for each content change it finds, on the caller's thread.
bool watch_device_changes(std::function<void()> on_change);
int device_change_fd();
void dispatch_device_changes();
void stop_watching_device_changes();

// How often the stand-in has read its bench file (at start-up, at each category enumerator,
// in the device-change watcher and before storing a property value) and created a category
// enumerator, since the process started or reset() was called.
struct Counters {
    long bench_reads = 0;
    long class_enumerators = 0;
};
Counters counters();

// For tests: forget the bench in force, the warnings given, the counters, the thread's
// CoInitialize state and the message-box handler, as at process start.
void reset();

} // namespace standin

#endif
