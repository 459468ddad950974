// The window's layout as native controls: every control of the layout table (panel/core) with
// the class and styles of its kind, the fonts, and the scaling for the DPI of the window's
// monitor. Creation and placement only; the behaviour is in MCCForm.cpp and panel/core.
#ifdef _WIN32

#include "panel/win32/MCCForm.h"

#include "panel/win32/WindowSupport.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

namespace MorvaneControlCenter {

namespace {

using Kind = ControlKind;

// The open list of a drop-down below its box.
constexpr int kDropDownListHeight = 5 * 16;

// The order in which the controls are created. Pages are siblings of the tab control (see
// below) and follow it at once, a parent before its children; among siblings, the controls
// that take the focus come first, by tab index, then the others. The windows' order is also
// what names a field for a screen reader: a caption (static text) created directly before its
// field names it, so every caption goes directly before the field it names. Tab does not
// follow this order but the layout's focus order (focusOrder).
void appendInCreationOrder(ControlId parent, std::vector<ControlId>& order) {
    std::vector<const ControlLayout*> children = childrenInTabOrder(parent);
    std::stable_partition(children.begin(), children.end(),
                          [](const ControlLayout* child) { return takesFocus(child->kind); });
    for (const ControlLayout* child : children) {
        if (child->names != ControlId::end_)
            continue; // placed with its field
        for (const ControlLayout& row : kWindowLayout)
            if (row.names == child->id)
                order.push_back(row.id);
        order.push_back(child->id);
        appendInCreationOrder(child->id, order);
    }
}

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle classAndStyle(Kind kind) {
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
    case Kind::Label:
        return {WC_STATICW, child | SS_LEFT | SS_NOPREFIX, 0};
    case Kind::ListBox:
        // Whole rows would shrink it; the height is fixed.
        return {WC_LISTBOXW, child | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                WS_EX_CLIENTEDGE};
    case Kind::TabControl:
        // The pages are its siblings, drawn on top of its body.
        return {WC_TABCONTROLW, child | WS_TABSTOP | WS_CLIPSIBLINGS, 0};
    case Kind::TabPage:
        // Hidden until chosen; Tab walks into its controls.
        return {L"MCCFormPage", WS_CHILD | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
    case Kind::ComboBox:
        return {WC_COMBOBOXW, child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0};
    case Kind::CheckBox:
        return {WC_BUTTONW, child | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case Kind::Button:
        // BS_NOTIFY: the window hears when it takes and loses the focus (it is then drawn as
        // the default button, the one Enter presses).
        return {WC_BUTTONW, child | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY, 0};
    case Kind::ProgressBar:
        return {PROGRESS_CLASSW, child, 0};
    case Kind::ListView:
        return {WC_LISTVIEWW, child | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case Kind::TextBox:
        return {WC_EDITW, child | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    }
    return {WC_STATICW, child, 0};
}

// The default dialog font: the 8.25 point sans serif the layout is drawn for. One place
// decides it.
LOGFONTW dialogFontFor(UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(11, static_cast<int>(dpi), 96);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY; // the user's font smoothing
    wcscpy_s(font.lfFaceName, L"MS Shell Dlg");
    return font;
}

// label9's own font: regular, character set 0.
LOGFONTW label9FontFor(UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(kLabel9FontTenthsOfAPoint, static_cast<int>(dpi), 720);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    font.lfQuality = DEFAULT_QUALITY; // the user's font smoothing
    wcscpy_s(font.lfFaceName, wide(kLabel9FontFamily));
    return font;
}

// The size of a text in a control's font, on one line.
SIZE textExtent(HWND hwnd, const std::wstring& text) {
    RECT rect{0, 0, 0, 0};
    HDC dc = GetDC(hwnd);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &rect,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_TOP);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    if (text.empty())
        rect.right = 0;
    return {rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

void MCCForm::InitializeComponent() {
    createFonts();
    createControls();

    // The SCR box offers 0 to 3 and takes typed text; the frequency box offers nothing.
    for (const char16_t* item : kScrItems)
        SendMessageW(control(ControlId::unicable_scr), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(wide(item)));

    // The progress bars run from 0 to 100 and stand at 0.
    for (const ControlLayout& row : kWindowLayout) {
        if (row.kind != Kind::ProgressBar)
            continue;
        SendMessageW(control(row.id), PBM_SETRANGE32, 0, 100);
        SendMessageW(control(row.id), PBM_SETPOS, 0, 0);
    }

    // All six pages go into the tab control, the first one selected.
    HWND tab = control(ControlId::devicetab);
    int position = 0;
    for (ControlId page : pageOrder()) {
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        const std::wstring caption = windowText(control(page));
        item.pszText = const_cast<wchar_t*>(caption.c_str());
        item.lParam = static_cast<LPARAM>(page);
        SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(position++),
                     reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(tab, TCM_SETCURSEL, 0, 0);
    // The pages lie above the tab control, whose body they cover: the tab control is drawn
    // around them (it clips its siblings above it), never over them.
    for (ControlId page : pageOrder())
        SetWindowPos(control(page), control(ControlId::deviceListBox), 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    shownPage_ = control(pageOrder().front());
    ShowWindow(shownPage_, SW_SHOWNA);

    layOut();
}

void MCCForm::createFonts() {
    const LOGFONTW dialog = dialogFontFor(dpi_);
    const LOGFONTW label9 = label9FontFor(dpi_);
    FontHandle dialogFont(CreateFontIndirectW(&dialog));
    FontHandle label9Font(CreateFontIndirectW(&label9));
    if (!dialogFont || !label9Font)
        throw std::runtime_error("the window's fonts cannot be made");
    // The controls are given the new fonts before the old ones go (layOut).
    dialogFont_.swap(dialogFont);
    label9Font_.swap(label9Font);
    oldFonts_[0] = std::move(dialogFont);
    oldFonts_[1] = std::move(label9Font);
}

void MCCForm::createControls() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    std::vector<ControlId> order;
    appendInCreationOrder(kWindowItself, order);
    for (ControlId id : order) {
        const ControlLayout& row = layoutOf(id);
        const ClassAndStyle cs = classAndStyle(row.kind);
        // Pages are siblings of the tab control, at the window's level.
        HWND parent =
            row.parent == kWindowItself || row.kind == Kind::TabPage ? hwnd_ : control(row.parent);
        HWND hwnd = CreateWindowExW(cs.exStyle, cs.className, wide(row.text), cs.style, 0, 0, 0, 0,
                                    parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                                    instance, nullptr);
        if (!hwnd)
            throw std::runtime_error("the window system refused a control of the window (error " +
                                     std::to_string(GetLastError()) + ")");
        controls_[static_cast<size_t>(static_cast<int>(id) - kFirstControlId)] = hwnd;
    }
}

std::vector<HWND> MCCForm::tabStops() const {
    std::vector<HWND> stops;
    for (ControlId id : focusOrder()) {
        HWND hwnd = control(id);
        if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd))
            stops.push_back(hwnd);
    }
    return stops;
}

// Places every control for the window's DPI, from the 96-DPI table (never from values scaled
// before), and gives each its font.
void MCCForm::layOut() {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    RECT frame{0, 0, scale(kClientWidth), scale(kClientHeight)};
    adjustWindowRectForDpi(frame, style, exStyle, dpi_);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    // The frame as the window system actually draws it may differ from its own estimate at
    // this DPI: the client area is what must come out exact.
    for (int attempt = 0; attempt < 2; ++attempt) {
        frameSize_ = {width, height}; // the minimum and maximum size (WM_GETMINMAXINFO)
        SetWindowPos(hwnd_, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client;
        GetClientRect(hwnd_, &client);
        const int dx = scale(kClientWidth) - client.right;
        const int dy = scale(kClientHeight) - client.bottom;
        if (dx == 0 && dy == 0)
            break;
        width += dx;
        height += dy;
    }

    const LayoutRect tab = layoutOf(ControlId::devicetab).rect;
    for (const ControlLayout& row : kWindowLayout) {
        HWND hwnd = control(row.id);
        HFONT font = row.id == ControlId::label9 ? label9Font_.get() : dialogFont_.get();
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

        int x = row.rect.x;
        int y = row.rect.y;
        if (row.kind == Kind::TabPage) {
            x += tab.x;
            y += tab.y;
        }
        int height = scale(row.rect.height);
        if (row.kind == Kind::ComboBox)
            height += scale(kDropDownListHeight); // the open list's room
        SetWindowPos(hwnd, nullptr, scale(x), scale(y), scale(row.rect.width), height,
                     SWP_NOZORDER | SWP_NOACTIVATE);

        switch (row.kind) {
        case Kind::ComboBox:
            fitComboHeight(hwnd, scale(row.rect.height));
            centreComboText(hwnd);
            break;
        case Kind::ListBox:
            // A new font resets the row height.
            SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, scale(kDeviceListItemHeight));
            break;
        default:
            if (sizesToText(row.kind))
                autoSize(row.id);
            break;
        }
    }
    oldFonts_[0].reset();
    oldFonts_[1].reset();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// A drop-down's box takes its height from its font; its text field is made as high as the
// layout wants the closed box to be.
void MCCForm::fitComboHeight(HWND combo, int height) {
    // What the field's height turns into differs between implementations (one adds a margin to
    // the value set, another does not): the value set is corrected by what comes out.
    auto requested = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
    if (requested == CB_ERR)
        return;
    for (int attempt = 0; attempt < 4; ++attempt) {
        RECT rect;
        GetWindowRect(combo, &rect);
        const int difference = height - (rect.bottom - rect.top);
        if (difference == 0 || requested + difference <= 0)
            return;
        requested += difference;
        SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), requested);
    }
}

// The text field of an editable drop-down draws its text at its top: it is made as high as a
// line and put in the middle of the box, so the text stands centred as in a box of the
// font's own height. The box puts the field back when its size, font or item height changes:
// layOut calls this after those.
void MCCForm::centreComboText(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!GetComboBoxInfo(combo, &info) || !info.hwndItem)
        return;
    HWND field = info.hwndItem;
    TEXTMETRICW metrics{};
    HDC dc = GetDC(field);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    GetTextMetricsW(dc, &metrics);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(field, dc);

    RECT box;
    GetClientRect(combo, &box);
    RECT place;
    GetWindowRect(field, &place);
    MapWindowPoints(HWND_DESKTOP, combo, reinterpret_cast<POINT*>(&place), 2);
    const int boxHeight = box.bottom - box.top;
    const int height = std::min<int>(metrics.tmHeight, boxHeight);
    if (height <= 0)
        return;
    SetWindowPos(field, nullptr, place.left, (boxHeight - height) / 2, place.right - place.left,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MCCForm::autoSize(ControlId id) {
    autoSize(id, windowText(control(id)));
}

// Labels and the check box take the size of their text; their place stays.
void MCCForm::autoSize(ControlId id, const std::wstring& text) {
    HWND hwnd = control(id);
    SIZE size = textExtent(hwnd, text);
    if (layoutOf(id).kind == Kind::CheckBox) {
        SIZE ideal{0, 0};
        if (SendMessageW(hwnd, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)) &&
            ideal.cx > size.cx) {
            size = ideal;
        } else {
            // The box, a gap and the text.
            size.cx += scale(13 + 6);
            size.cy = std::max<LONG>(size.cy, scale(13));
        }
        size.cx += scale(2); // room for the focus frame
        size.cy = std::max<LONG>(size.cy, scale(layoutOf(id).rect.height));
    }
    SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MCCForm::control(ControlId id) const {
    const int index = static_cast<int>(id) - kFirstControlId;
    if (index < 0 || index >= kControlCount)
        return nullptr;
    return controls_[static_cast<size_t>(index)];
}

} // namespace MorvaneControlCenter

#endif // _WIN32
