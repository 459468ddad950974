// The window's layout: every control with its class, ID, parent, text, items, place and size,
// the focus order, the fonts, and the scaling for the DPI of the window's monitor. Creation
// and placement only; the behaviour is in MCCForm.cpp and panel/core.
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

enum class Kind {
    Label,
    ListBox,
    TabControl,
    Page,
    ComboBox,
    CheckBox,
    Button,
    ProgressBar,
    ListView,
    TextBox
};

constexpr ControlId kForm = ControlId::end_; // the window itself, as a parent

// One control. Positions and sizes are in pixels at 96 DPI, relative to the parent's client
// area; a page's are relative to the tab control it belongs to (the page window itself is a
// sibling of the tab control, see below). Labels and the check box take the size of their
// text: their width and height are the designed ones.
struct Row {
    ControlId id;
    ControlId parent;
    Kind kind;
    const wchar_t* text;
    int x, y, width, height;
};

// In focus order within each parent: Tab follows the order in which controls are created.
// The pages follow the tab control at once, so that Tab moves from the tab control into the
// page shown; a parent comes before its children.
//
// The creation order is also the windows' order that names a field for a screen reader: a
// caption (static text) created directly before its field, with no tab stop between, names
// it. Captions take no focus, so their place here changes no focus order. The list view and
// the tab control have no caption: each follows a tab stop.
constexpr Row kLayout[] = {
    {ControlId::label7, kForm, Kind::Label, L"Select Device:", 12, 12, 98, 17},
    {ControlId::deviceListBox, kForm, Kind::ListBox, L"", 15, 37, 220, 164},
    {ControlId::devicetab, kForm, Kind::TabControl, L"", 258, 12, 423, 330},

    {ControlId::dvbs_unicable, ControlId::devicetab, Kind::Page, L"Unicable Configuration", 4, 25,
     415, 301},
    {ControlId::unicable_checkbox, ControlId::dvbs_unicable, Kind::CheckBox, L"Use Unicable", 26,
     69, 114, 21},
    {ControlId::label1, ControlId::dvbs_unicable, Kind::Label, L"Select Unicable Frequency (MHz)",
     23, 109, 219, 17},
    {ControlId::unicable_frequency, ControlId::dvbs_unicable, Kind::ComboBox, L"", 26, 138, 147,
     24},
    {ControlId::unicable_save, ControlId::dvbs_unicable, Kind::Button, L"Save", 317, 31, 75, 23},
    {ControlId::label8, ControlId::dvbs_unicable, Kind::Label, L"SCR:", 26, 182, 40, 17},
    {ControlId::unicable_scr, ControlId::dvbs_unicable, Kind::ComboBox, L"", 26, 212, 147, 24},
    {ControlId::unicable_info_label, ControlId::dvbs_unicable, Kind::Label,
     L"Unicable Supported Info", 23, 31, 160, 17},

    {ControlId::dvbs_testastra, ControlId::devicetab, Kind::Page, L"Testastra/hotbird", 4, 25, 415,
     301},
    {ControlId::progressBar1, ControlId::dvbs_testastra, Kind::ProgressBar, L"", 29, 71, 100, 23},
    {ControlId::progressBar2, ControlId::dvbs_testastra, Kind::ProgressBar, L"", 29, 127, 100, 23},
    {ControlId::progressBar3, ControlId::dvbs_testastra, Kind::ProgressBar, L"", 29, 186, 100, 23},
    {ControlId::progressBar4, ControlId::dvbs_testastra, Kind::ProgressBar, L"", 29, 237, 100, 23},

    {ControlId::dvbs_scan, ControlId::devicetab, Kind::Page, L"DVB-S/S2 Manual Scan", 4, 25, 415,
     301},
    {ControlId::label2, ControlId::dvbs_scan, Kind::Label, L"Frequency:", 238, 79, 79, 17},
    {ControlId::textBox1, ControlId::dvbs_scan, Kind::TextBox, L"", 241, 100, 100, 22},
    {ControlId::label3, ControlId::dvbs_scan, Kind::Label, L"Modulation", 238, 125, 77, 17},
    {ControlId::comboBox2, ControlId::dvbs_scan, Kind::ComboBox, L"", 241, 153, 121, 24},
    {ControlId::label4, ControlId::dvbs_scan, Kind::Label, L"Symbolrate", 241, 184, 79, 17},
    {ControlId::comboBox3, ControlId::dvbs_scan, Kind::ComboBox, L"", 241, 205, 121, 24},
    {ControlId::label5, ControlId::dvbs_scan, Kind::Label, L"DVB-S/S2:", 241, 28, 75, 17},
    {ControlId::comboBox4, ControlId::dvbs_scan, Kind::ComboBox, L"", 241, 51, 121, 24},
    {ControlId::button3, ControlId::dvbs_scan, Kind::Button, L"Scan", 241, 246, 75, 23},
    {ControlId::listView1, ControlId::dvbs_scan, Kind::ListView, L"", 18, 28, 190, 164},
    {ControlId::label6, ControlId::dvbs_scan, Kind::Label, L"Signalstrength:", 18, 211, 103, 17},
    {ControlId::progressBar5, ControlId::dvbs_scan, Kind::ProgressBar, L"", 18, 246, 202, 23},

    {ControlId::dvbc_scan, ControlId::devicetab, Kind::Page, L"DVB-C Scan", 4, 25, 415, 301},

    {ControlId::infotab, ControlId::devicetab, Kind::Page, L"Info", 4, 25, 415, 301},
    {ControlId::label9, ControlId::infotab, Kind::Label, L"No Device Detected", 109, 123, 266, 32},

    {ControlId::dvbt2_scan, ControlId::devicetab, Kind::Page, L"DVB-T/T2 Scan", 4, 25, 415, 301},
};
static_assert(std::size(kLayout) == kControlCount, "one row per control");

// The pages in the order in which the layout puts them into the tab control.
constexpr ControlId kPages[] = {ControlId::dvbs_unicable, ControlId::dvbs_testastra,
                                ControlId::dvbs_scan,     ControlId::dvbc_scan,
                                ControlId::infotab,       ControlId::dvbt2_scan};

// Rows of the device list, and the open list of a drop-down below its box.
constexpr int kDeviceListItemHeight = 16;
constexpr int kDropDownListHeight = 5 * 16;

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
    case Kind::Page:
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

size_t slot(ControlId id) {
    return static_cast<size_t>(static_cast<int>(id) - kFirstControlId);
}

const Row& rowOf(ControlId id) {
    for (const Row& row : kLayout)
        if (row.id == id)
            return row;
    throw std::logic_error("control without a layout row");
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

// label9: "Microsoft Sans Serif", 16.2 point, regular, character set 0.
LOGFONTW label9FontFor(UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(162, static_cast<int>(dpi), 720);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    font.lfQuality = DEFAULT_QUALITY; // the user's font smoothing
    wcscpy_s(font.lfFaceName, L"Microsoft Sans Serif");
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
    for (const wchar_t* item : {L"0", L"1", L"2", L"3"})
        SendMessageW(control(ControlId::unicable_scr), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(item));

    // The progress bars run from 0 to 100 and stand at 0.
    for (ControlId bar : {ControlId::progressBar1, ControlId::progressBar2, ControlId::progressBar3,
                          ControlId::progressBar4, ControlId::progressBar5}) {
        SendMessageW(control(bar), PBM_SETRANGE32, 0, 100);
        SendMessageW(control(bar), PBM_SETPOS, 0, 0);
    }

    // All six pages go into the tab control, the first one selected.
    HWND tab = control(ControlId::devicetab);
    int position = 0;
    for (ControlId page : kPages) {
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
    for (ControlId page : kPages)
        SetWindowPos(control(page), control(ControlId::deviceListBox), 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    shownPage_ = control(kPages[0]);
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
    for (const Row& row : kLayout) {
        const ClassAndStyle cs = classAndStyle(row.kind);
        // Pages are siblings of the tab control, at the window's level.
        HWND parent = row.parent == kForm || row.kind == Kind::Page ? hwnd_ : control(row.parent);
        HWND hwnd = CreateWindowExW(cs.exStyle, cs.className, row.text, cs.style, 0, 0, 0, 0,
                                    parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                                    instance, nullptr);
        if (!hwnd)
            throw std::runtime_error("the window system refused a control of the window (error " +
                                     std::to_string(GetLastError()) + ")");
        controls_[slot(row.id)] = hwnd;
    }
}

std::vector<HWND> MCCForm::tabStops() const {
    std::vector<HWND> stops;
    for (const Row& row : kLayout) {
        HWND hwnd = control(row.id);
        if ((GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(hwnd) &&
            IsWindowEnabled(hwnd))
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

    const Row& tab = rowOf(ControlId::devicetab);
    for (const Row& row : kLayout) {
        HWND hwnd = control(row.id);
        HFONT font = row.id == ControlId::label9 ? label9Font_.get() : dialogFont_.get();
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

        int x = row.x;
        int y = row.y;
        if (row.kind == Kind::Page) {
            x += tab.x;
            y += tab.y;
        }
        int height = scale(row.height);
        if (row.kind == Kind::ComboBox)
            height += scale(kDropDownListHeight); // the open list's room
        SetWindowPos(hwnd, nullptr, scale(x), scale(y), scale(row.width), height,
                     SWP_NOZORDER | SWP_NOACTIVATE);

        switch (row.kind) {
        case Kind::ComboBox:
            fitComboHeight(hwnd, scale(row.height));
            centreComboText(hwnd);
            break;
        case Kind::ListBox:
            // A new font resets the row height.
            SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, scale(kDeviceListItemHeight));
            break;
        case Kind::Label:
        case Kind::CheckBox:
            autoSize(row.id);
            break;
        default:
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
    if (rowOf(id).kind == Kind::CheckBox) {
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
        size.cy = std::max<LONG>(size.cy, scale(rowOf(id).height));
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
