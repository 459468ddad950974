// Small helpers of the tuner access layer for platform strings and variants: wide literals,
// NUL-terminated UTF-16 string operations, UTF-8 conversion for the log, and holders that give
// back variants, platform strings and task-memory strings on every path.
#pragma once

#include "platform/com.h"

#include <cstddef>
#include <string>

// A wide string literal of the platform's WCHAR type.
#ifdef _WIN32
#define MEDIA_W(s) L##s
#else
#define MEDIA_W(s) u##s
#endif

namespace media {

// Length in code units; null counts as empty.
std::size_t wide_length(const WCHAR* s);
// Equality code unit by code unit, terminator included; null counts as empty.
bool wide_equal(const WCHAR* a, const WCHAR* b);
// Case-sensitive substring test; null counts as empty.
bool wide_contains(const WCHAR* haystack, const WCHAR* needle);
// A heap copy (malloc) of s, to be released with free(); null is copied as an empty string.
// Null only when memory runs out.
WCHAR* wide_duplicate(const WCHAR* s);
// UTF-8 form of a UTF-16 string, for the log; null gives an empty string, an unpaired
// surrogate becomes U+FFFD.
std::string to_utf8(const WCHAR* s);

// A VARIANT that is initialised on construction and cleared on destruction.
class variant {
  public:
    variant() { VariantInit(&v_); }
    ~variant() { VariantClear(&v_); }
    variant(const variant&) = delete;
    variant& operator=(const variant&) = delete;

    VARIANT* get() { return &v_; }
    bool is_string() const { return v_.vt == VT_BSTR; }
    // The string it holds, or null when it holds no string.
    const WCHAR* string() const { return is_string() ? v_.bstrVal : nullptr; }
    // Clears it before the holder ends.
    void clear() { VariantClear(&v_); }

  private:
    VARIANT v_;
};

// A platform string (BSTR) freed on destruction.
class bstr {
  public:
    bstr() = default;
    explicit bstr(const WCHAR* s) : b_(SysAllocString(s)) {}
    ~bstr() { SysFreeString(b_); }
    bstr(const bstr&) = delete;
    bstr& operator=(const bstr&) = delete;

    BSTR get() const { return b_; }
    BSTR* put() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }

  private:
    BSTR b_ = nullptr;
};

// A string from the runtime's task allocator (StringFromIID, StringFromCLSID), freed with
// CoTaskMemFree.
class task_string {
  public:
    task_string() = default;
    ~task_string() { CoTaskMemFree(s_); }
    task_string(const task_string&) = delete;
    task_string& operator=(const task_string&) = delete;

    LPOLESTR* put() {
        CoTaskMemFree(s_);
        s_ = nullptr;
        return &s_;
    }

  private:
    LPOLESTR s_ = nullptr;
};

} // namespace media
