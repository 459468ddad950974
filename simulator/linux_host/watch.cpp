// Device-change events: any change of the bench file's content that the stand-in did not
// make itself. The bench file is replaced by rename when the stand-in writes it, so the watch
// is on its directory, and only events about its own name count. Every symbolic link on the
// way to it (as many as the system follows) is watched in its directory too, and the parent of
// each watched directory for the directory's name, so that a replaced directory is watched
// anew. What decides is bench::ContentWatch: whether the file's content changed.

#include "simulator/linux_host/internal.h"
#include "platform/standin.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace standin::detail {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t watch_mask = IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM |
                                IN_CREATE | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

struct Watch {
    int fd = -1;
    std::string source;                         // as MORVANE_BENCH names it
    std::string path;                           // absolute and normalised
    std::map<int, std::set<std::string>> names; // the names that matter, by watched directory
    bench::ContentWatch seen{read_bench_file};
    std::vector<bench::OwnWrite> own_writes; // the latest ones
    std::function<void()> on_change;
};

std::mutex watch_mutex;

Watch& watch() {
    static Watch instance;
    return instance;
}

std::string normalised(const std::string& path) {
    std::error_code error;
    auto absolute = fs::absolute(path, error);
    return (error ? fs::path(path) : absolute).lexically_normal().string();
}

// Each directory whose entries can change the bench, with the names there that matter: the
// file in its directory and that directory in its parent, and so for every symbolic link met
// on the way, resolved as the system resolves it (component by component, at most 40 links).
std::map<std::string, std::set<std::string>> places(const std::string& path) {
    std::map<std::string, std::set<std::string>> out;
    auto add = [&](const fs::path& dir, const fs::path& name) {
        out[dir.string()].insert(name.string());
        if (dir.has_filename())
            out[dir.parent_path().string()].insert(dir.filename().string());
    };
    const fs::path whole(path);
    std::vector<fs::path> rest(whole.begin(), whole.end());
    std::reverse(rest.begin(), rest.end());
    fs::path at("/");
    for (int links = 0; !rest.empty();) {
        fs::path part = rest.back();
        rest.pop_back();
        std::error_code error;
        if (part == ".." || part == "." || part.empty() || part == at.root_path()) {
            at = part == ".." ? at.parent_path() : at;
            continue;
        }
        if (links < 40 && fs::is_symlink(at / part, error)) {
            ++links;
            add(at, part);
            fs::path to = fs::read_symlink(at / part, error);
            at = to.is_absolute() ? fs::path("/") : at;
            rest.insert(rest.end(), std::make_reverse_iterator(to.end()),
                        std::make_reverse_iterator(to.begin()));
            continue;
        }
        at /= part;
    }
    add(at.parent_path(), at.filename());
    return out;
}

// Watches the places of the bench as they are now and drops the watches no longer needed.
// False when the bench's own directory cannot be watched.
bool arm(Watch& w) {
    std::map<int, std::set<std::string>> names;
    const std::string own_dir = fs::path(w.path).parent_path().string();
    bool own_watched = false;
    for (const auto& [dir, entries] : places(w.path)) {
        int wd = ::inotify_add_watch(w.fd, dir.empty() ? "/" : dir.c_str(), watch_mask);
        if (wd < 0)
            continue; // gone for now: its parent's watch sees it come back
        names[wd].insert(entries.begin(), entries.end());
        own_watched = own_watched || dir == own_dir;
    }
    for (const auto& [wd, unused] : w.names)
        if (!names.count(wd))
            ::inotify_rm_watch(w.fd, wd);
    w.names = std::move(names);
    return own_watched;
}

// Whether the queued events can concern the bench: its name (or a directory's on the way to
// it) in a watched directory, or a watched directory that went away. Drains the queue.
bool drain_relevant(Watch& w) {
    bool relevant = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t n = ::read(w.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            if (relevant)
                continue;
            if (event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                relevant = true;
                continue;
            }
            auto it = w.names.find(event->wd);
            relevant = it != w.names.end() && event->len > 0 && it->second.count(event->name);
        }
    }
    return relevant;
}

void close_watch(Watch& w) {
    if (w.fd >= 0)
        ::close(w.fd);
    w = Watch{};
}

} // namespace

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
    w.fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (w.fd < 0)
        return false;
    w.source = variable;
    w.path = normalised(variable);
    if (!arm(w)) {
        close_watch(w);
        return false;
    }
    w.seen.changed(w.path, w.own_writes);
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
        if (w.fd < 0 || !drain_relevant(w))
            return;
        arm(w); // a link or a directory on the way may lead elsewhere now
        if (!w.seen.changed(w.path, w.own_writes, &read))
            return;
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

// The watch learns of the stand-in's own writes, so that they raise no event.
void sim::host::note_own_write(const std::string& path, const std::string& before,
                               const std::string& after) {
    using namespace standin::detail;
    std::lock_guard lock(watch_mutex);
    Watch& w = watch();
    if (w.fd >= 0 && w.path == normalised(path))
        bench::add_own_write(w.own_writes, before, after);
}
