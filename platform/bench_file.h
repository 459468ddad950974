// Reading and replacing a bench file: the only part of the bench code that touches the file
// system. This is the POSIX implementation's interface; a Windows implementation provides the
// same two functions (a regular disk file opened without waiting, its size checked before
// reading; a temporary file beside it moved over it), with the same reasons.
#pragma once

#include "platform/bench_model.h"

#include <functional>
#include <string>
#include <string_view>

namespace bench {

// What reading a bench file gave: its bytes, or the reason it cannot be used (one printable
// line, the REASON of "bench: FILE: REASON").
struct FileRead {
    bool ok = false;
    std::string bytes;
    std::string reason;
};

// Reads the whole file at path when it is a regular file of at most max_bytes. Never
// blocks and never reads from anything else: a named pipe, a device, a socket or a directory
// is refused before a byte is read, and so is a file larger than the limit.
FileRead read_file(const std::string& path);

// Replaces the file's content atomically: writes bytes into a new file beside it (with the
// old file's permissions), runs before_rename, then renames the new file over path. False,
// with the reason in error, when that fails; the file is then unchanged.
bool replace_file(const std::string& path, std::string_view bytes, std::string& error,
                  const std::function<void()>& before_rename = {});

} // namespace bench
