#include "media/text.h"

#include <cstdlib>
#include <cstring>

namespace media {

std::size_t wide_length(const WCHAR* s) {
    std::size_t n = 0;
    if (s)
        while (s[n])
            ++n;
    return n;
}

bool wide_equal(const WCHAR* a, const WCHAR* b) {
    static const WCHAR empty[1] = {0};
    if (!a)
        a = empty;
    if (!b)
        b = empty;
    for (;; ++a, ++b) {
        if (*a != *b)
            return false;
        if (!*a)
            return true;
    }
}

bool wide_contains(const WCHAR* haystack, const WCHAR* needle) {
    const std::size_t n = wide_length(needle);
    const std::size_t h = wide_length(haystack);
    if (n == 0)
        return true;
    for (std::size_t i = 0; i + n <= h; ++i)
        if (std::memcmp(haystack + i, needle, n * sizeof(WCHAR)) == 0)
            return true;
    return false;
}

WCHAR* wide_duplicate(const WCHAR* s) {
    static const WCHAR empty[1] = {0};
    if (!s)
        s = empty;
#ifdef _WIN32
    return _wcsdup(s);
#else
    const std::size_t bytes = (wide_length(s) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(std::malloc(bytes));
    if (copy)
        std::memcpy(copy, s, bytes);
    return copy;
#endif
}

std::string to_utf8(const WCHAR* s) {
    std::string out;
    if (!s)
        return out;
    for (std::size_t i = 0; s[i]; ++i) {
        char32_t c = static_cast<char16_t>(s[i]);
        if (c >= 0xD800 && c <= 0xDBFF) {
            const char32_t low = static_cast<char16_t>(s[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace media
