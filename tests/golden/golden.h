// The golden cases: one directory per case under tests/golden/cases, each a bench, the program
// to run on it and what that program must print. The same files drive the Linux build over the
// stand-in and the Windows build under Wine; what differs between the two is only how a
// program is started (the platform below).
//
// A case directory holds
//   case.json         {"about": TEXT, "program": "enum" | "apply", "args": [STRING, ...],
//                      "exit_code": N, "platforms": ["linux", "windows"], "linux_only": TEXT}
//                     "args" (default none), "exit_code" (default 0) and "platforms" (default
//                     both) are optional; "linux_only" is required exactly when "platforms" is
//                     ["linux"] and says which fault lives inside the platform's own runtime.
//   bench.json        the bench the program runs on; absent: no bench at all (MORVANE_BENCH
//                     unset, a PC without broadcast devices)
//   expected.log      the program's standard output, masked (mask_log)
//   bench.after.json  the bench file as the program must leave it; absent: the file must not
//                     change
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace golden {

struct golden_case {
    std::string name; // the directory's name
    std::filesystem::path dir;
    std::string about;
    std::string program; // "enum": morvane-enum; "apply": golden-apply
    std::vector<std::string> args;
    int exit_code = 0;
    std::vector<std::string> platforms;
    std::string linux_only; // why the case cannot run on the other platforms
};

// Reads DIR/case.json. Returns the reason it is refused, or an empty string.
std::string load_case(const std::filesystem::path& dir, golden_case& out);

// The case directories below root, by name.
std::vector<std::string> list_cases(const std::filesystem::path& root);

// The one masking rule of the golden logs: the two pointers of "CONNECTING TUNER WITH CAPTURE:
// %p %p" become "%p", or "NULL" for a null pointer (glibc prints "(nil)", msvcrt zeros); the
// source line of "bdasource media_bda_connect_graph %d" becomes "%d". Nothing else is masked.
// CRLF line ends are read as LF.
std::string mask_log(const std::string& output);

// One run of a case's program, as the platform is asked for it.
struct run_request {
    std::string program; // "enum" or "apply"
    std::vector<std::string> args;
    std::optional<std::filesystem::path> bench; // a private copy; none: run without a bench
    std::filesystem::path trace;                // MORVANE_TRACE for the run
    std::filesystem::path work;                 // a private directory for the run's files
};

struct run_outcome {
    int exit_code = -1;
    std::string output;  // standard output as written
    std::string errors;  // standard error, shown when the case fails
    std::string failure; // set when the program could not be run or ran out of time
};

// How programs are run on one platform: linux_platform.cpp starts the build's programs over
// the stand-in; windows_platform.cpp puts request.bench in force for the system device
// enumerator through the simulated driver, then starts them. Either way the program runs with
// MORVANE_BENCH and MORVANE_TRACE naming request.bench and request.trace (MORVANE_BENCH unset
// without a bench), within a time limit, and leaves the bench file where request.bench says,
// so the checks can compare it.
class platform {
  public:
    virtual ~platform() = default;
    // The name used in "platforms": "linux" or "windows".
    virtual std::string name() const = 0;
    virtual run_outcome run(const run_request& request) = 0;
    // Whether every run writes a trace. The Windows driver is loaded, and traces, only when a
    // program binds a device of the bench; without a trace no driver object was alive.
    virtual bool always_traces() const { return true; }
};

platform& this_platform();

// The file a run starts for a case's program: the build's morvane-enum or golden-apply, or for
// "enum" the one MORVANE_GOLDEN_ENUM names (an installed morvane-enum playing a case).
std::string program_file(const std::string& program);

// Runs one case on the platform and returns every way in which it differs from its files, or
// nothing. With update set, expected.log and bench.after.json are written from the run instead
// (the trace and the exit code are still checked). output, when given, receives the program's
// standard output unmasked.
std::vector<std::string> run_case(platform& on, const golden_case& c, bool update,
                                  std::string* output = nullptr);

} // namespace golden
