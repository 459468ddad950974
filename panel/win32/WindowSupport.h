// Small helpers of the native window: texts in and out of controls, and the DPI functions of
// newer Windows versions, looked up at run time so that the program also starts on versions
// without them (it then runs at the system DPI).
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <oleacc.h>

#include "media/com_ptr.h"

#include <string>
#include <vector>

namespace MorvaneControlCenter {

// A control's text.
std::wstring windowText(HWND hwnd);
// UTF-16 text of the core as the window system's wide text, and back.
std::wstring toWide(const std::u16string& text);
std::u16string fromWide(const std::wstring& text);
// A NUL-terminated UTF-16 text of the core as the window system's wide text, in place.
inline const wchar_t* wide(const char16_t* text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
    return reinterpret_cast<const wchar_t*>(text);
}

// The DPI a window is drawn for: GetDpiForWindow where it exists, else the system DPI.
UINT dpiForWindow(HWND hwnd);
// The frame around a client rectangle at that DPI: AdjustWindowRectExForDpi where it exists.
void adjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

// Dynamic annotation (oleacc's IAccPropServices): what a screen reader reads for a window
// beyond what Windows derives from it - a page's name and role, a control's description.
// Needs COM on the thread; without it, or without the service, nothing is annotated and the
// window works as before.
class AccessibleAnnotations {
  public:
    AccessibleAnnotations();
    void setText(HWND hwnd, const MSAAPROPID& property, const std::wstring& text);
    void setRole(HWND hwnd, long role);
    // Takes every annotation off the windows annotated (before they are destroyed).
    void clear();

  private:
    com_ptr<IAccPropServices> services_;
    std::vector<HWND> annotated_;
};

} // namespace MorvaneControlCenter

#endif // _WIN32
