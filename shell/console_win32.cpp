#ifdef _WIN32

#include "shell/console.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Whether standard error leads somewhere: redirected, or the parent's console.
bool errors_shown = false;

bool leads_somewhere(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void attach_parent_console() {
    const bool output = leads_somewhere(STD_OUTPUT_HANDLE);
    errors_shown = leads_somewhere(STD_ERROR_HANDLE);
    if ((output && errors_shown) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // Each stream is reopened on the console only where it led nowhere. Every line of the
    // log is flushed as it is written, so it shows as it comes.
    if (!output)
        std::freopen("CONOUT$", "w", stdout);
    if (!errors_shown)
        errors_shown = std::freopen("CONOUT$", "w", stderr) != nullptr;
}

void report_failed_start(const char* line) {
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
    if (errors_shown)
        return;
    std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, line, -1, nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line, -1, text.data(), static_cast<int>(text.size()));
    MessageBoxW(nullptr, text.c_str(), L"Morvane Control Center", MB_OK | MB_ICONERROR);
}

#endif // _WIN32
