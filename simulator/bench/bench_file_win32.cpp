// Reading, stamping and replacing a bench file on Windows (the simulated driver and its
// registration tool). Paths are UTF-8.

#include "simulator/bench/bench_file.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace bench {

std::wstring to_wide(std::string_view utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

namespace {

// A handle closed as it goes out of scope.
using ClosedOnExit = std::unique_ptr<void, decltype(&CloseHandle)>;

// The system's message for an error, on one line, without its trailing period.
std::string system_message(DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out = n > 0 && text ? narrow(std::wstring_view(text, n)) : std::string();
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

// The owner and access list of an open file, as bytes to compare.
std::vector<BYTE> security_of(HANDLE file) {
    std::vector<BYTE> security(1024);
    DWORD needed = 0;
    const SECURITY_INFORMATION kept = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    while (!GetKernelObjectSecurity(file, kept, security.data(),
                                    static_cast<DWORD>(security.size()), &needed)) {
        if (needed <= security.size())
            return {};
        security.resize(needed);
    }
    security.resize(GetSecurityDescriptorLength(security.data()));
    return security;
}

} // namespace

std::optional<FileStamp> stamp_file(const std::string& path) {
    HANDLE file = CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const ClosedOnExit closed(file, CloseHandle);
    return GetFileType(file) == FILE_TYPE_DISK ? stamp_of(file) : std::nullopt;
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
    const ClosedOnExit closed(file, CloseHandle);
    if (DWORD type = GetFileType(file); type != FILE_TYPE_DISK)
        return {.reason = not_regular_reason(type == FILE_TYPE_PIPE   ? "a named pipe"
                                             : type == FILE_TYPE_CHAR ? "a character device"
                                                                      : "not a file")};
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return {.reason = cannot_read_reason(system_message(GetLastError()))};
    if (static_cast<std::uint64_t>(size.QuadPart) > max_bytes)
        return {.reason = too_large_reason(static_cast<std::uint64_t>(size.QuadPart))};
    FileRead read;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr))
            return {.reason = cannot_read_reason(system_message(GetLastError()))};
        if (n == 0)
            break;
        if (read.bytes.size() + n > max_bytes)
            return {.reason = too_large_reason(read.bytes.size() + n)};
        read.bytes.append(buffer, n);
    }
    read.stamp = stamp_of(file).value_or(FileStamp{});
    read.read_at_ns = read_at;
    read.file = narrow(final_path(file).value_or(name));
    read.ok = true;
    return read;
}

std::string replace_file(const FileRead& read, std::string_view bytes,
                         const std::function<void()>& before_rename) {
    auto cause = [](const char* reason) {
        return unstored::with_cause(reason, system_message(GetLastError()));
    };
    // The file read, as it was read: a link in its place, or any other change, is not it.
    const std::wstring target = to_wide(read.file);
    HANDLE original = CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (original == INVALID_HANDLE_VALUE)
        return unstored::changed;
    BY_HANDLE_FILE_INFORMATION info{};
    const std::optional<FileStamp> stamp = stamp_of(original);
    GetFileInformationByHandle(original, &info);
    // Its owner and permissions (under Wine: the owner and mode of the host's file).
    const std::vector<BYTE> security = security_of(original);
    CloseHandle(original);
    if (!stamp || *stamp != read.stamp || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return unstored::changed;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return unstored::read_only;
    if (info.nNumberOfLinks > 1)
        return unstored::hard_links(info.nNumberOfLinks);
    const size_t cut = target.find_last_of(L"\\/") + 1;
    const std::wstring folder = target.substr(0, cut);
    const std::string name = temporary_name(narrow(target.substr(cut)), 20);
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    // A new file beside the bench, under a name nobody else uses.
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folder + to_wide(name) + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                    std::to_wstring(GetTickCount() + attempt);
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE | READ_CONTROL, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_EXISTS)
            continue;
        return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? unstored::name_too_long
                                                            : cause(unstored::folder);
    }
    if (file == INVALID_HANDLE_VALUE)
        return unstored::with_cause(unstored::folder, "no free name for a temporary file");
    // A new file cannot be given them: it has to have them from the start.
    std::string why;
    if (security_of(file) != security)
        why = unstored::with_cause(unstored::keep_owner, "a new file beside it gets other ones");
    for (size_t done = 0; why.empty() && done < bytes.size();) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            why = cause(unstored::cannot_write);
        done += written;
    }
    if (!CloseHandle(file) && why.empty())
        why = cause(unstored::cannot_write);
    if (why.empty() && before_rename)
        before_rename();
    if (why.empty() && stamp_file(read.file) != read.stamp)
        why = unstored::changed;
    // A file open elsewhere (a watcher reading it) cannot be replaced for that moment.
    for (int attempt = 0; why.empty(); ++attempt) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            break;
        DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 50)
            why = cause(unstored::cannot_write);
        Sleep(10);
    }
    if (!why.empty())
        DeleteFileW(temporary.c_str());
    return why;
}

} // namespace bench
