// Reading, stamping and replacing a bench file, and the watch's rule: the only part of the
// bench code that touches the file system. Both hosts provide the same functions with the same
// reasons (bench_file_posix.cpp, bench_file_win32.cpp: a regular file opened without waiting,
// its size checked before reading; its stamp from the file's identity, size and times; a
// temporary file beside it moved over it); bench_file.cpp holds what they share.
#pragma once

#include "simulator/bench/bench_model.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// What tells one content of a file from another without reading it: the file's identity,
// size, and its modification and status-change times (nanoseconds of the wall clock). A
// write or a rename over the file changes the stamp, unless it falls into the same tick of
// the file system's clock as the stamp's change time.
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified_ns = 0, changed_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

// True when a file whose stamp is now `now` certainly still holds what a read that began at
// read_at_ns found under read_stamp: the same stamp, and its last change lying so long (two
// seconds) before that read that no later write can share the change's tick of the clock.
inline bool settled_since(const FileStamp& now, const FileStamp& read_stamp,
                          std::int64_t read_at_ns) {
    constexpr std::int64_t settled_ns = std::int64_t{2} * 1000000000;
    return now == read_stamp && now.changed_ns + settled_ns < read_at_ns &&
           now.modified_ns + settled_ns < read_at_ns;
}

// What reading a bench file gave: its bytes, or the reason it cannot be used (one printable
// line, the REASON of "bench: FILE: REASON"); with the stamp of what was read, the wall clock
// time the read began, and the file read (every symbolic link on the way resolved), which a
// store replaces.
struct FileRead {
    bool ok = false;
    std::string bytes{}, reason{};
    FileStamp stamp{};
    std::int64_t read_at_ns = 0;
    std::string file{};
};

// The stamp of the file at path as it is now, without opening it; nothing when it has none.
std::optional<FileStamp> stamp_file(const std::string& path);

// Reads the whole file at path when it is a regular file of at most max_bytes. Never
// blocks and never reads from anything else: a named pipe, a device, a socket or a directory
// is refused before a byte is read, and so is a file larger than the limit.
FileRead read_file(const std::string& path);
// Reads and loads the bench file at path: the reason is read_file's or load's.
Loaded load_file(const std::string& path);

namespace unstored {
// Why a stored value stays in memory instead of in the file, worded alike on both hosts; a
// reason with a cause takes the system's message: with_cause(folder, message).
inline constexpr const char* read_only = "cannot write it (the file is read-only)";
inline constexpr const char* changed = "the file changed or moved while the value was stored";
inline constexpr const char* size_limit = "the new content exceeds the file-size limit (ulimit -f)";
inline constexpr const char* name_too_long = "the name is too long for a temporary file beside it";
inline constexpr const char* cannot_write = "cannot write it";
inline constexpr const char* folder = "its folder takes no new file";
inline constexpr const char* keep_owner = "its owner, group and mode cannot be kept";
inline std::string with_cause(const char* reason, std::string_view message) {
    return reason + (" (" + printable(message, 200) + ")");
}
inline std::string hard_links(std::uint64_t names) {
    return "it has " + std::to_string(names) + " names (hard links), which a new file would split";
}
} // namespace unstored

// Replaces the content of the file that `read` read, atomically: writes bytes into a new file
// beside it (with its owner, group and mode), runs before_rename, and renames the new file
// over it only while it is still the file read, unchanged. A link is never replaced, and
// neither is a file without write permission (for anyone, or for this user) or with more
// than one name. Returns the reason (one of unstored) when the file is left as it was, else
// an empty string; no temporary file stays behind.
std::string replace_file(const FileRead& read, std::string_view bytes,
                         const std::function<void()>& before_rename = {});

// A file name for a temporary file beside name: name's own with ".~" in front, cut so that
// it and suffix_chars more fit into a name of at most 255 bytes.
std::string temporary_name(const std::string& name, std::size_t suffix_chars);

#ifdef _WIN32
// UTF-8 and the system's wide strings, one into the other.
std::wstring to_wide(std::string_view utf8);
std::string narrow(std::wstring_view wide);
#else
// Whether a file written up to byte end would pass the process's file-size limit (ulimit -f),
// where a write ends the process with SIGXFSZ.
bool beyond_size_limit(std::uint64_t end);
// Closes a file descriptor as it goes out of scope.
struct ClosedOnExit {
    int fd;
    ~ClosedOnExit();
};
#endif

// A fingerprint of a file's content, to tell one content from another without keeping it.
std::uint64_t fingerprint(std::string_view bytes);

// The simulator's own write into the bench: the content replaced and the content written
// (fingerprints), numbered in the order of the writes.
struct OwnWrite {
    std::uint64_t number = 0, before = 0, after = 0;
};
// Adds the write from before to after to writes, which keep the latest 64.
void add_own_write(std::vector<OwnWrite>& writes, std::string_view before, std::string_view after);

// What a watch of the bench decides at each look at the file: whether it is a device change.
// Another content is, and so is the file becoming unusable or usable again; the simulator's
// own writes are not (each recognised once, and only where it replaced the content seen last).
// A settled file whose stamp did not change is not read.
class ContentWatch {
  public:
    using Reader = FileRead (*)(const std::string& path);
    explicit ContentWatch(Reader reader = read_file) : reader_(reader) {}

    // Looks at the file; own_writes are those noted so far, oldest first. What was read (if
    // it was) goes to read. The first look only learns what the file holds.
    bool changed(const std::string& path, const std::vector<OwnWrite>& own_writes,
                 FileRead* read = nullptr);

  private:
    Reader reader_;
    bool looked_ = false;
    std::optional<std::uint64_t> known_; // nothing: unusable
    std::optional<FileStamp> stamp_;
    std::int64_t read_at_ = 0;
    std::uint64_t taken_ = 0; // own writes up to this number are taken into account
};

} // namespace bench
