#ifdef _WIN32

#include "panel/win32/WindowSupport.h"

#include <algorithm>
#include <iterator>

namespace MorvaneControlCenter {

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// A function of user32 by name, null when this Windows lacks it.
template <typename Function> Function user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

} // namespace

std::wstring windowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    const int length = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    return text;
}

std::wstring toWide(const std::u16string& text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
    return std::wstring(text.begin(), text.end());
}

std::u16string fromWide(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

UINT dpiForWindow(HWND hwnd) {
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi != 0)
            return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void adjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjust =
        user32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    if (adjust && adjust(&rect, style, FALSE, exStyle, dpi))
        return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

namespace {
const MSAAPROPID kAnnotatedProperties[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION,
                                           PROPID_ACC_ROLE};
} // namespace

AccessibleAnnotations::AccessibleAnnotations() {
    CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                     services_.put_void());
}

void AccessibleAnnotations::setText(HWND hwnd, const MSAAPROPID& property,
                                    const std::wstring& text) {
    if (!services_ || !hwnd)
        return;
    if (SUCCEEDED(services_->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                            property, text.c_str())) &&
        std::find(annotated_.begin(), annotated_.end(), hwnd) == annotated_.end())
        annotated_.push_back(hwnd);
}

void AccessibleAnnotations::setRole(HWND hwnd, long role) {
    if (!services_ || !hwnd)
        return;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = role;
    if (SUCCEEDED(services_->SetHwndProp(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                         PROPID_ACC_ROLE, value)) &&
        std::find(annotated_.begin(), annotated_.end(), hwnd) == annotated_.end())
        annotated_.push_back(hwnd);
}

void AccessibleAnnotations::clear() {
    if (services_)
        for (HWND hwnd : annotated_)
            services_->ClearHwndProps(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                      kAnnotatedProperties,
                                      static_cast<int>(std::size(kAnnotatedProperties)));
    annotated_.clear();
}

} // namespace MorvaneControlCenter

#endif // _WIN32
