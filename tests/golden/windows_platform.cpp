// The golden cases on Windows (and under Wine): a run's bench is put in force for the system
// device enumerator by the simulated driver's morvane-register, the build's program runs with
// MORVANE_BENCH and MORVANE_TRACE set for it, and the registration is removed again. A run
// without a bench registers nothing: a PC without broadcast devices.
#include "golden.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace golden {

namespace {

// A run that takes longer than this has hung.
constexpr DWORD time_limit_ms = 60000;

std::wstring wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class handle {
  public:
    explicit handle(HANDLE h = nullptr) : h_(h) {}
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    ~handle() {
        if (h_ && h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

handle inheritable(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Runs program with args, its standard output and error into out and err; the exit code, or
// the reason there is none in failure.
int start(const std::string& program, const std::vector<std::string>& args,
          const std::filesystem::path& out, const std::filesystem::path& err,
          std::string& failure) {
    std::wstring command = quoted(std::filesystem::path(wide(program)).make_preferred());
    for (const std::string& arg : args)
        command += L" " + quoted(wide(arg));
    const handle in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const handle output = inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
    const handle errors = inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errors.get();
    PROCESS_INFORMATION process{};
    // Without a console of its own: its output goes to the files alone, and no console host
    // outlives it holding them.
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        failure = program + " cannot be started (error " + std::to_string(GetLastError()) + ")";
        return -1;
    }
    const handle process_handle(process.hProcess), thread(process.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, time_limit_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        failure = program + " did not end within 60 s";
    }
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

void set_variable(const wchar_t* name, const std::optional<std::filesystem::path>& value) {
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

class windows_platform : public platform {
  public:
    std::string name() const override { return "windows"; }
    bool always_traces() const override { return false; }

    run_outcome run(const run_request& request) override {
        run_outcome outcome;
        set_variable(L"MORVANE_BENCH", request.bench);
        set_variable(L"MORVANE_TRACE", request.trace);
        SetEnvironmentVariableW(L"MORVANE_BENCH_LABEL", nullptr);
        const std::filesystem::path out = request.work / "stdout.txt";
        const std::filesystem::path err = request.work / "stderr.txt";
        const std::filesystem::path err_unregister = request.work / "unregister.err";
        const std::string driver = std::filesystem::path(GOLDEN_DRIVER).make_preferred().string();
        if (request.bench) {
            const int registered =
                start(GOLDEN_REGISTER_PROGRAM, {driver}, out, err, outcome.failure);
            if (registered != 0 && outcome.failure.empty())
                outcome.failure = "registering the bench's devices failed (exit " +
                                  std::to_string(registered) + ")";
        }
        if (outcome.failure.empty()) {
            const std::string program = program_file(request.program);
            outcome.exit_code = start(program, request.args, out, err, outcome.failure);
            outcome.output = read_all(out);
        }
        outcome.errors = read_all(err);
        // The next run finds the prefix as this one found it.
        if (request.bench) {
            std::string failure;
            const int removed = start(GOLDEN_REGISTER_PROGRAM, {"--unregister", driver},
                                      request.work / "unregister.out", err_unregister, failure);
            if (removed != 0 && outcome.failure.empty())
                outcome.failure = failure.empty() ? "removing the registration failed: " +
                                                        read_all(err_unregister)
                                                  : failure;
        }
        return outcome;
    }
};

} // namespace

platform& this_platform() {
    static windows_platform instance;
    return instance;
}

} // namespace golden
