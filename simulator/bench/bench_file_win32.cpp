// Reading, stamping and replacing a bench file on Windows (the simulated driver and its
// registration tool). Paths are UTF-8.

#include "simulator/bench/bench_file.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace bench {

namespace {

std::wstring to_wide(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// The system's message for an error, on one line, without its trailing period.
std::string system_message(DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr,
                                       nullptr);
        out.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), size, nullptr,
                            nullptr);
    }
    if (text)
        LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    if (out.empty())
        out = "error " + std::to_string(error);
    return out;
}

// The path of the file an open handle reads, with every symbolic link on the way resolved
// ("\\?\C:\..."), or nothing.
std::optional<std::wstring> final_path(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= path.size()) {
        path.resize(n);
        n = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (n == 0 || n >= path.size())
        return std::nullopt;
    path.resize(n);
    return path;
}

// The file that path names: through a symbolic link, the file the link leads to; path itself
// when it does not exist (yet).
std::wstring resolved(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return path;
    std::optional<std::wstring> target = final_path(file);
    CloseHandle(file);
    return target.value_or(path);
}

// Nanoseconds of the wall clock since 1970 from a count of 100 ns since 1601.
std::int64_t nanoseconds(std::int64_t filetime) {
    return (filetime - 116444736000000000LL) * 100;
}

std::int64_t wall_clock_ns() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return nanoseconds((std::int64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
}

std::optional<FileStamp> stamp_of(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandle(file, &info) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return std::nullopt;
    FileStamp stamp;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.modified_ns = nanoseconds(basic.LastWriteTime.QuadPart);
    stamp.changed_ns = nanoseconds(basic.ChangeTime.QuadPart);
    return stamp;
}

} // namespace

std::optional<FileStamp> stamp_file(const std::string& path) {
    HANDLE file = CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<FileStamp> stamp;
    if (GetFileType(file) == FILE_TYPE_DISK)
        stamp = stamp_of(file);
    CloseHandle(file);
    return stamp;
}

FileRead read_file(const std::string& path) {
    const std::int64_t read_at = wall_clock_ns();
    std::wstring name = to_wide(path);
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {.reason = not_regular_reason("a directory")};
    // A named pipe or a device of the host opens here without waiting (Wine opens them without
    // blocking); what it is decides before a byte is read.
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {.reason = cannot_read_reason(system_message(GetLastError()))};
    if (DWORD type = GetFileType(file); type != FILE_TYPE_DISK) {
        CloseHandle(file);
        return {.reason = not_regular_reason(type == FILE_TYPE_PIPE   ? "a named pipe"
                                             : type == FILE_TYPE_CHAR ? "a character device"
                                                                      : "not a file")};
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        return {.reason = cannot_read_reason(system_message(error))};
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > max_bytes) {
        CloseHandle(file);
        return {.reason = too_large_reason(static_cast<std::uint64_t>(size.QuadPart))};
    }
    FileRead read;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            DWORD error = GetLastError();
            CloseHandle(file);
            return {.reason = cannot_read_reason(system_message(error))};
        }
        if (n == 0)
            break;
        if (read.bytes.size() + n > max_bytes) {
            CloseHandle(file);
            return {.reason = too_large_reason(read.bytes.size() + n)};
        }
        read.bytes.append(buffer, n);
    }
    read.stamp = stamp_of(file).value_or(FileStamp{});
    read.read_at_ns = read_at;
    CloseHandle(file);
    read.ok = true;
    return read;
}

bool replace_file(const std::string& path, std::string_view bytes, std::string& error,
                  const std::function<void()>& before_rename) {
    // Through a symbolic link, the file it names is replaced, and the link stays.
    std::wstring target = resolved(to_wide(path));
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = read_only_reason;
        return false;
    }
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    // A new file beside the bench, under a name nobody else uses.
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                    std::to_wstring(GetTickCount() + attempt) + L".tmp";
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            error = system_message(GetLastError());
            return false;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "no free name for a temporary file";
        return false;
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0) {
            error = system_message(GetLastError());
            CloseHandle(file);
            DeleteFileW(temporary.c_str());
            return false;
        }
        p += written;
        left -= written;
    }
    if (!CloseHandle(file)) {
        error = system_message(GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (before_rename)
        before_rename();
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = system_message(GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace bench
