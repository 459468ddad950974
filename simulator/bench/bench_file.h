// Reading, stamping and replacing a bench file: the only part of the bench code that touches
// the file system. This is the POSIX implementation's interface; a Windows implementation
// provides the same functions (a regular disk file opened without waiting, its size checked
// before reading; its stamp from the file's index, size and times; a temporary file beside it
// moved over it), with the same reasons.
#pragma once

#include "simulator/bench/bench_model.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace bench {

// What tells one content of a file from another without reading it: the file's identity,
// size, and its modification and status-change times (nanoseconds of the wall clock). A
// write or a rename over the file changes the stamp, unless it falls into the same tick of
// the file system's clock as the stamp's change time.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
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
// line, the REASON of "bench: FILE: REASON"); with the stamp of what was read and the wall
// clock time the read began.
struct FileRead {
    bool ok = false;
    std::string bytes{};
    std::string reason{};
    FileStamp stamp{};
    std::int64_t read_at_ns = 0;
};

// The stamp of the file at path as it is now, without opening it; nothing when it has none.
std::optional<FileStamp> stamp_file(const std::string& path);

// Reads the whole file at path when it is a regular file of at most max_bytes. Never
// blocks and never reads from anything else: a named pipe, a device, a socket or a directory
// is refused before a byte is read, and so is a file larger than the limit.
FileRead read_file(const std::string& path);

// The reason replace_file gives for a file without write permission.
inline constexpr const char* read_only_reason = "the file is read-only";

// Replaces the file's content atomically: writes bytes into a new file beside it (with the
// old file's permissions), runs before_rename, then renames the new file over path. When path
// is a symbolic link, the file it names is replaced and the link stays. A file without write
// permission (for anyone, or for this user) is not replaced: read_only_reason. False, with the
// reason in error, when that fails; the file is then unchanged.
bool replace_file(const std::string& path, std::string_view bytes, std::string& error,
                  const std::function<void()>& before_rename = {});

} // namespace bench
