#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<std::string>
make_environment(const std::map<std::string, std::optional<std::string>>& changes) {
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
            env[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            env[name] = *value;
        else
            env.erase(name);
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : env)
        result.push_back(name + "=" + value);
    return result;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program,
                           const std::map<std::string, std::optional<std::string>>& env) {
    std::vector<std::string> environment = make_environment(env);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program_copy = program;
    char* argv[] = {program_copy.data(), nullptr};

    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");

    started_ = Clock::now();
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork");
    if (pid_ == 0) {
        const int null_in = open("/dev/null", O_RDONLY);
        dup2(null_in, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    reader_ =
        std::thread([this, out_fd = out[0], err_fd = err[0]] { read_output(out_fd, err_fd); });
}

ChildProcess::~ChildProcess() {
    if (!exit_code_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (reader_.joinable())
        reader_.join();
}

void ChildProcess::read_output(int out_fd, int err_fd) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    int open_fds = 2;
    char buffer[4096];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (pollfd& p : fds) {
            if (p.fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            const ssize_t n = read(p.fd, buffer, sizeof(buffer));
            const Clock::time_point now = Clock::now();
            if (n <= 0) {
                close(p.fd);
                p.fd = -1;
                --open_fds;
                continue;
            }
            std::lock_guard lock(mutex_);
            if (p.fd == err_fd) {
                stderr_.append(buffer, static_cast<size_t>(n));
                continue;
            }
            partial_.append(buffer, static_cast<size_t>(n));
            size_t end;
            while ((end = partial_.find('\n')) != std::string::npos) {
                lines_.push_back({partial_.substr(0, end), now});
                partial_.erase(0, end + 1);
            }
            changed_.notify_all();
        }
    }
    std::lock_guard lock(mutex_);
    if (!partial_.empty())
        lines_.push_back({partial_, Clock::now()});
    partial_.clear();
    closed_ = true;
    changed_.notify_all();
}

std::optional<ChildProcess::Clock::time_point>
ChildProcess::wait_for_lines(const std::function<bool(const std::string&)>& match, int count,
                             std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<Clock::time_point> found;
    changed_.wait_for(lock, timeout, [&] {
        int seen = 0;
        for (const Line& line : lines_) {
            if (match(line.text) && ++seen == count) {
                found = line.at;
                return true;
            }
        }
        return closed_;
    });
    return found;
}

std::vector<ChildProcess::Line> ChildProcess::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string ChildProcess::standard_error() const {
    std::lock_guard lock(mutex_);
    return stderr_;
}

std::vector<ChildProcess::Clock::time_point> ChildProcess::times_of(const std::string& text) const {
    std::vector<Clock::time_point> times;
    for (const Line& line : lines())
        if (line.text == text)
            times.push_back(line.at);
    return times;
}

void ChildProcess::send(int signal_number) const {
    if (!exit_code_)
        kill(pid_, signal_number);
}

std::optional<int> ChildProcess::wait_exit(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!exit_code_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            break;
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Everything the child wrote is read once both pipes are closed.
    if (reader_.joinable())
        reader_.join();
    return exit_code_;
}
