// The golden cases on Linux: the build's programs run over the stand-in, each in its own
// process, with MORVANE_BENCH and MORVANE_TRACE set for it alone.
#include "golden.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace golden {

namespace {

// A run that takes longer than this has hung.
constexpr auto time_limit = std::chrono::seconds(60);

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class linux_platform : public platform {
  public:
    std::string name() const override { return "linux"; }

    run_outcome run(const run_request& request) override {
        run_outcome outcome;
        const std::string program = program_file(request.program);
        std::vector<std::string> args{program};
        args.insert(args.end(), request.args.begin(), request.args.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        // This process's environment without the stand-in's two variables, then the run's own.
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "MORVANE_BENCH=", 14) != 0 &&
                std::strncmp(*e, "MORVANE_TRACE=", 14) != 0)
                env.emplace_back(*e);
        if (request.bench)
            env.push_back("MORVANE_BENCH=" + request.bench->string());
        env.push_back("MORVANE_TRACE=" + request.trace.string());
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const std::filesystem::path out = request.work / "stdout.txt";
        const std::filesystem::path err = request.work / "stderr.txt";
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t child = 0;
        const int spawned =
            posix_spawn(&child, program.c_str(), &files, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&files);
        if (spawned != 0) {
            outcome.failure = program + " cannot be started: " + std::strerror(spawned);
            return outcome;
        }

        const auto deadline = std::chrono::steady_clock::now() + time_limit;
        int status = 0;
        for (;;) {
            const pid_t done = waitpid(child, &status, WNOHANG);
            if (done == child)
                break;
            if (done < 0 && errno != EINTR) {
                outcome.failure = std::string("waitpid: ") + std::strerror(errno);
                return outcome;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                outcome.failure = program + " did not end within 60 s";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        outcome.output = read_all(out);
        outcome.errors = read_all(err);
        if (outcome.failure.empty()) {
            if (WIFEXITED(status))
                outcome.exit_code = WEXITSTATUS(status);
            else
                outcome.failure = program + " ended by signal " + std::to_string(WTERMSIG(status));
        }
        return outcome;
    }
};

} // namespace

platform& this_platform() {
    static linux_platform instance;
    return instance;
}

} // namespace golden
