// Runs a program as a child process with its own environment, and records each line of its
// standard output with the moment it arrived, and all of its standard error.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;
    struct Line {
        std::string text;
        Clock::time_point at;
    };

    // Starts program with the test's environment, where each entry of env is set (or, with
    // an empty optional, removed).
    ChildProcess(const std::string& program,
                 const std::map<std::string, std::optional<std::string>>& env);
    ~ChildProcess(); // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    Clock::time_point started() const { return started_; }

    // Waits until `count` stdout lines satisfy the predicate; the time of the last of them.
    std::optional<Clock::time_point>
    wait_for_lines(const std::function<bool(const std::string&)>& match, int count,
                   std::chrono::milliseconds timeout);
    std::optional<Clock::time_point> wait_for_line(const std::string& text,
                                                   std::chrono::milliseconds timeout) {
        return wait_for_lines([&](const std::string& line) { return line == text; }, 1, timeout);
    }

    // Lines of standard output so far, and standard error so far.
    std::vector<Line> lines() const;
    std::string standard_error() const;
    // Times of the stdout lines equal to text.
    std::vector<Clock::time_point> times_of(const std::string& text) const;

    void send(int signal_number) const;
    // The exit code, -N when ended by signal N, or nothing when still running at the timeout.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout);

  private:
    void read_output(int out_fd, int err_fd);

    pid_t pid_ = -1;
    std::optional<int> exit_code_;
    Clock::time_point started_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Line> lines_;
    std::string partial_;
    std::string stderr_;
    bool closed_ = false;
};
