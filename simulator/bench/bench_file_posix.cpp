// Reading and replacing a bench file on POSIX systems.

#include "simulator/bench/bench_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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

// The file an open descriptor reads, with every link on the way resolved.
std::string opened_file(int fd, const std::string& path) {
    std::error_code error;
    auto file = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    if (!error && file.is_absolute())
        return file.string();
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string out = resolved ? resolved : path;
    std::free(resolved);
    return out;
}

std::int64_t wall_clock_ns() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

} // namespace

ClosedOnExit::~ClosedOnExit() {
    ::close(fd);
}

bool beyond_size_limit(std::uint64_t end) {
    struct rlimit limit;
    return ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
           end > limit.rlim_cur;
}

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
    const ClosedOnExit closed{fd};
    if (::fstat(fd, &info) != 0)
        return {.reason = cannot_read_reason(std::strerror(errno))};
    if (std::string reason = refusal(info); !reason.empty())
        return {.reason = reason};
    FileRead read;
    read.stamp = stamp_of(info);
    read.read_at_ns = read_at;
    read.file = opened_file(fd, path);
    read.bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {.reason = cannot_read_reason(std::strerror(errno))};
        if (n == 0)
            break;
        // A file that grows while it is read is held to the same limit.
        if (read.bytes.size() + static_cast<std::size_t>(n) > max_bytes)
            return {.reason = too_large_reason(read.bytes.size() + static_cast<std::size_t>(n))};
        read.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    read.ok = true;
    return read;
}

std::string replace_file(const FileRead& read, std::string_view bytes,
                         const std::function<void()>& before_rename) {
    // The file read, as it was read: a link in its place, or any other change, is not it.
    struct stat info;
    if (::lstat(read.file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        stamp_of(info) != read.stamp)
        return unstored::changed;
    // A file nobody may write keeps its content, whoever runs this (root too).
    if ((info.st_mode & 0222) == 0 || ::access(read.file.c_str(), W_OK) != 0)
        return unstored::read_only;
    if (info.st_nlink > 1)
        return unstored::hard_links(info.st_nlink);
    if (beyond_size_limit(bytes.size()))
        return unstored::size_limit;
    const std::filesystem::path target(read.file);
    std::string pattern = (target.parent_path() / temporary_name(target.filename(), 7)).string();
    pattern += ".XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return errno == ENAMETOOLONG ? unstored::name_too_long
                                     : unstored::with_cause(unstored::folder, std::strerror(errno));
    std::string why;
    auto fail = [&](const char* reason) { // with the system's message for errno
        why = unstored::with_cause(reason, std::strerror(errno));
        return false;
    };
    // Owner and group first: changing them may clear the set-id bits of the mode.
    struct stat made;
    bool ok = ::fstat(fd, &made) == 0 || fail(unstored::cannot_write);
    if (ok && (made.st_uid != info.st_uid || made.st_gid != info.st_gid) &&
        ::fchown(fd, info.st_uid, info.st_gid) != 0)
        ok = fail(unstored::keep_owner);
    if (ok && ::fchmod(fd, info.st_mode & 07777) != 0)
        ok = fail(unstored::keep_owner);
    for (std::size_t done = 0; ok && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            ok = fail(unstored::cannot_write);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (::close(fd) != 0 && ok)
        ok = fail(unstored::cannot_write);
    if (ok && before_rename)
        before_rename();
    // Still the file read (as closely as a rename can be made to depend on it).
    if (ok && (::lstat(read.file.c_str(), &info) != 0 || stamp_of(info) != read.stamp))
        ok = false, why = unstored::changed;
    if (ok && ::rename(pattern.c_str(), read.file.c_str()) != 0)
        ok = fail(unstored::cannot_write);
    if (!ok)
        ::unlink(pattern.c_str());
    return why;
}

} // namespace bench
