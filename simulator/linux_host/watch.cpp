// Device-change events: any change of the bench file's content that the stand-in did not
// make itself. The bench file is replaced by rename when the stand-in writes it, so the watch
// is on its directory; what decides is whether the file's content changed.

#include "simulator/linux_host/internal.h"
#include "platform/standin.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace standin::detail {

namespace {

struct Watch {
    int fd = -1;
    std::string source;               // as MORVANE_BENCH names it
    std::string path;                 // absolute and normalised
    std::optional<std::string> known; // the content last seen; nullopt: no readable file
    std::function<void()> on_change;
};

// The content of the bench file, or nothing when it cannot be read as a bench. Never waits:
// a named pipe or a device in the bench's place is refused at once.
std::optional<std::string> content(const bench::FileRead& read) {
    return read.ok ? std::optional<std::string>(read.bytes) : std::nullopt;
}

std::mutex watch_mutex;

Watch& watch() {
    static Watch instance;
    return instance;
}

std::string normalised(const std::string& path) {
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

void close_watch(Watch& w) {
    if (w.fd >= 0)
        ::close(w.fd);
    w = Watch{};
}

} // namespace

void watcher_note_own_write(const std::string& path, const std::string& before,
                            const std::string& after) {
    std::lock_guard lock(watch_mutex);
    Watch& w = watch();
    // When the watch has not seen the content that was replaced yet, that content was an
    // outside change, still to be reported.
    if (w.fd >= 0 && w.path == normalised(path) && w.known == before)
        w.known = after;
}

} // namespace standin::detail

namespace standin {

using namespace detail;

bool watch_device_changes(std::function<void()> on_change) {
    const char* fault = std::getenv("MORVANE_FAULT_DEVICE_WATCH");
    if (fault && std::strcmp(fault, "1") == 0)
        return false;
    std::lock_guard lock(watch_mutex);
    Watch& w = watch();
    close_watch(w);
    const char* variable = std::getenv("MORVANE_BENCH");
    if (!variable)
        return true; // nothing can change: no device file
    std::filesystem::path path = normalised(variable);
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return false;
    std::string dir = path.parent_path().string();
    if (::inotify_add_watch(fd, dir.empty() ? "/" : dir.c_str(),
                            IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                IN_DELETE | IN_ATTRIB) < 0) {
        ::close(fd);
        return false;
    }
    w.fd = fd;
    w.source = variable;
    w.path = path.string();
    w.known = content(read_bench_file(w.path));
    w.on_change = std::move(on_change);
    return true;
}

int device_change_fd() {
    std::lock_guard lock(watch_mutex);
    return watch().fd;
}

void dispatch_device_changes() {
    std::function<void()> callback;
    bench::FileRead read;
    std::string source;
    {
        std::lock_guard lock(watch_mutex);
        Watch& w = watch();
        if (w.fd < 0)
            return;
        // Drain the events; whatever they were about, the content decides.
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            ssize_t n = ::read(w.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
        }
        read = read_bench_file(w.path);
        auto now = content(read);
        if (now == w.known)
            return;
        w.known = std::move(now);
        source = w.source;
        callback = w.on_change;
    }
    // A device change: what it brought is in force from now on (or warned about). Outside
    // the watch's lock, as storing a property takes the bench's lock and then the watch's.
    take_up_bench(source, read);
    if (callback)
        callback();
}

void stop_watching_device_changes() {
    std::lock_guard lock(watch_mutex);
    close_watch(watch());
}

} // namespace standin
