// Device-change events: any change of the bench file's content that the stand-in did not
// make itself. The bench file is replaced by rename when the stand-in writes it, so the watch
// is on its directory; what decides is whether the file's content changed.

#include "platform/internal.h"
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
    std::string path;                 // absolute and normalised
    std::optional<std::string> known; // the content last seen; nullopt: no readable file
    std::function<void()> on_change;
};

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

void watcher_note_own_write(const std::string& path, const std::string& bytes) {
    std::lock_guard lock(watch_mutex);
    Watch& w = watch();
    if (w.fd >= 0 && w.path == normalised(path))
        w.known = bytes;
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
    w.path = path.string();
    w.known = read_file(w.path);
    w.on_change = std::move(on_change);
    return true;
}

int device_change_fd() {
    std::lock_guard lock(watch_mutex);
    return watch().fd;
}

void dispatch_device_changes() {
    std::function<void()> callback;
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
        auto content = read_file(w.path);
        if (content == w.known)
            return;
        w.known = std::move(content);
        callback = w.on_change;
    }
    if (callback)
        callback();
}

void stop_watching_device_changes() {
    std::lock_guard lock(watch_mutex);
    close_watch(watch());
}

} // namespace standin
