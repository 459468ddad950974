// The diagnostic log of the tuner access layer. Every line goes through media_printf: narrow
// printf-style text on standard output, flushed at once so that the log is current while the
// program runs, even when standard output is a file or a pipe. Device names and paths are
// printed as UTF-8 (media::to_utf8), so the stream never changes orientation.
#pragma once

#if defined(__GNUC__)
#define MEDIA_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define MEDIA_PRINTF_FORMAT
#endif

void media_printf(const char* format, ...) MEDIA_PRINTF_FORMAT;

// Result codes as printf arguments: %x takes the 32 bits as unsigned, %d as signed (HRESULT is
// a long on Windows and a 32-bit int elsewhere).
template <class T> constexpr unsigned media_hex(T hr) {
    return static_cast<unsigned>(hr);
}
template <class T> constexpr int media_dec(T hr) {
    return static_cast<int>(hr);
}
