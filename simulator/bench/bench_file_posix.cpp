// Reading and replacing a bench file on POSIX systems.

#include "simulator/bench/bench_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace bench {

namespace {

// What a file that is not a regular file is, for the reason that refuses it.
const char* kind_of(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a file";
}

// The reason for a file that cannot be read as a bench, or empty when it can.
std::string refusal(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return cannot_read_reason(std::strerror(EISDIR));
    if (!S_ISREG(info.st_mode))
        return not_regular_reason(kind_of(info.st_mode));
    if (static_cast<std::uint64_t>(info.st_size) > max_bytes)
        return too_large_reason(static_cast<std::uint64_t>(info.st_size));
    return std::string();
}

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileStamp stamp_of(const struct stat& info) {
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modified_ns = nanoseconds(info.st_mtim);
    stamp.changed_ns = nanoseconds(info.st_ctim);
    return stamp;
}

std::int64_t wall_clock_ns() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

} // namespace

std::optional<FileStamp> stamp_file(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return stamp_of(info);
}

FileRead read_file(const std::string& path) {
    const std::int64_t read_at = wall_clock_ns();
    // Looked at before it is opened: opening a device or a pipe can wait or have effects.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return {.reason = cannot_read_reason(std::strerror(errno))};
    if (std::string reason = refusal(info); !reason.empty())
        return {.reason = reason};
    // Whatever took its place since cannot make the open wait either, and is looked at again.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {.reason = cannot_read_reason(std::strerror(errno))};
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        return {.reason = cannot_read_reason(std::strerror(error))};
    }
    if (std::string reason = refusal(info); !reason.empty()) {
        ::close(fd);
        return {.reason = reason};
    }
    FileRead read;
    read.stamp = stamp_of(info);
    read.read_at_ns = read_at;
    read.bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int error = errno;
            ::close(fd);
            return {.reason = cannot_read_reason(std::strerror(error))};
        }
        if (n == 0)
            break;
        // A file that grows while it is read is held to the same limit.
        if (read.bytes.size() + static_cast<std::size_t>(n) > max_bytes) {
            ::close(fd);
            return {.reason = too_large_reason(read.bytes.size() + static_cast<std::size_t>(n))};
        }
        read.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    read.ok = true;
    return read;
}

bool replace_file(const std::string& path, std::string_view bytes, std::string& error,
                  const std::function<void()>& before_rename) {
    namespace fs = std::filesystem;
    // Through a symbolic link, the file it names is replaced, and the link stays.
    fs::path target(path);
    std::error_code resolve_error;
    if (fs::is_symlink(target, resolve_error)) {
        fs::path resolved = fs::canonical(target, resolve_error);
        if (!resolve_error)
            target = resolved;
    }
    struct stat info;
    const bool exists = ::stat(target.c_str(), &info) == 0;
    // A file nobody may write keeps its content, whoever runs this (root too).
    if (exists && ((info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        error = read_only_reason;
        return false;
    }
    fs::path dir = target.parent_path();
    std::string pattern =
        (dir.empty() ? fs::path(".") : dir) / ("." + target.filename().string() + ".XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (exists)
        ::fchmod(fd, info.st_mode & 07777);
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            ::close(fd);
            ::unlink(name.data());
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        error = std::strerror(errno);
        ::unlink(name.data());
        return false;
    }
    if (before_rename)
        before_rename();
    if (::rename(name.data(), target.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(name.data());
        return false;
    }
    return true;
}

} // namespace bench
