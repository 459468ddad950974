// The window's messages: control notifications turned into calls on the core, the refresh
// timer, focus, DPI changes and closing; and the view through which the core fills and reads
// the controls.
#ifdef _WIN32

#include "panel/win32/MCCForm.h"

#include "panel/win32/WindowSupport.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <vector>

namespace MorvaneControlCenter {

namespace {

constexpr const wchar_t* kPageClassName = L"MCCFormPage";
// timer1, the one-shot refresh delay.
constexpr UINT_PTR kTimer1Id = 1;

constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN; // fixed border
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

HINSTANCE moduleInstance() {
    return GetModuleHandleW(nullptr);
}

void registerClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = moduleInstance();
    // The program's own icon (resource 1) in the title bar and on the taskbar, each at the size
    // the system asks for; a program without one (a test program) shows the generic icon.
    wc.hIcon = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0,
                                             LR_DEFAULTSIZE | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!wc.hIcon)
        wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
    if (!wc.hIconSm)
        wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("the window class cannot be registered (error " +
                                 std::to_string(GetLastError()) + ")");
}

// The visual-style functions, from UxTheme.dll loaded from System32 only: it is not one of
// the system's known DLLs, so a static import would be looked for in the program's folder
// first. All null when it cannot be loaded (the window then draws without a theme).
struct ThemeFunctions {
    decltype(&OpenThemeData) open = nullptr;
    decltype(&DrawThemeBackground) draw = nullptr;
    decltype(&CloseThemeData) close = nullptr;
};

template <typename Function> void loadFunction(HMODULE module, const char* name, Function& to) {
    // Through void(*)(), the one cast between function pointer types the compiler accepts.
    to = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const ThemeFunctions& themeFunctions() {
    static const ThemeFunctions functions = [] {
        ThemeFunctions loaded;
        if (HMODULE module =
                LoadLibraryExW(L"uxtheme.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
            loadFunction(module, "OpenThemeData", loaded.open);
            loadFunction(module, "DrawThemeBackground", loaded.draw);
            loadFunction(module, "CloseThemeData", loaded.close);
        }
        return loaded.open && loaded.draw && loaded.close ? loaded : ThemeFunctions{};
    }();
    return functions;
}

// The colour of the tab control's body under the desktop theme (pages take it as their
// background), or the dialog colour without a theme.
COLORREF tabBodyColour(HWND tab) {
    const COLORREF dialog = GetSysColor(COLOR_BTNFACE);
    const ThemeFunctions& themes = themeFunctions();
    HTHEME theme = themes.open ? themes.open(tab, L"TAB") : nullptr;
    if (!theme)
        return dialog;
    COLORREF colour = dialog;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    if (dc && bitmap) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT rect{0, 0, 16, 16};
        FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
        if (SUCCEEDED(themes.draw(theme, dc, TABP_BODY, 0, &rect, nullptr))) {
            const COLORREF centre = GetPixel(dc, 8, 8);
            if (centre != CLR_INVALID)
                colour = centre;
        }
        SelectObject(dc, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (dc)
        DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    themes.close(theme);
    return colour;
}

// An editable drop-down's or an edit control's text, selected whole: the next key replaces it.
void selectWholeText(HWND box) {
    wchar_t className[32] = L"";
    GetClassNameW(box, className, 32);
    if (lstrcmpiW(className, WC_COMBOBOXW) == 0)
        SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    else if (lstrcmpiW(className, WC_EDITW) == 0)
        SendMessageW(box, EM_SETSEL, 0, -1);
}

bool usable(HWND hwnd) {
    return hwnd && IsWindow(hwnd) && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

} // namespace

void MCCForm::FontDeleter::operator()(HFONT font) const {
    DeleteObject(font);
}

void MCCForm::BrushDeleter::operator()(HBRUSH brush) const {
    DeleteObject(brush);
}

void MCCForm::registerClasses() {
    registerClass(kClassName, windowProc);
    registerClass(kPageClassName, pageProc);
}

MCCForm::MCCForm() {
    registerClasses();
    hwnd_ =
        CreateWindowExW(kFormExStyle, kClassName, kTitle, kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, moduleInstance(), this);
    if (!hwnd_)
        throw std::runtime_error("the window system refused the main window (error " +
                                 std::to_string(GetLastError()) + ")");
    dpi_ = dpiForWindow(hwnd_);
    try {
        InitializeComponent();
    } catch (...) {
        DestroyWindow(hwnd_);
        throw;
    }

    updatePageBackground();

    // Each page is read as a property page named by its caption.
    annotations_ = std::make_unique<AccessibleAnnotations>();
    for (ControlId page : pageOrder()) {
        annotations_->setText(control(page), PROPID_ACC_NAME, windowText(control(page)));
        annotations_->setRole(control(page), ROLE_SYSTEM_PROPERTYPAGE);
    }

    // Until the first refresh the tab control shows no page and the list is empty.
    showPage(Page::None);
    core_.updateDevicelistMember();
}

// The controls go with the window, before the fonts they use.
MCCForm::~MCCForm() {
    quitOnClose_ = false;
    if (hwnd_)
        DestroyWindow(hwnd_);
}

void MCCForm::show() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    SetFocus(control(ControlId::deviceListBox));
}

void MCCForm::setEnumerator(MCCFormCore::Enumerator enumerator) {
    core_.setEnumerator(std::move(enumerator));
}

void MCCForm::setApplyOperation(MCCFormCore::ApplyOperation apply) {
    core_.setApplyOperation(std::move(apply));
}

int MCCForm::scale(int value) const {
    return MulDiv(value, static_cast<int>(dpi_), 96);
}

LRESULT CALLBACK MCCForm::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* form = static_cast<MCCForm*>(create->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<MCCForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    // Nothing may unwind through the window system's frames.
    try {
        return form->handle(message, wParam, lParam);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "morvane-control-center: %s\n", failure.what());
    } catch (...) {
        std::fputs("morvane-control-center: unexpected failure in the main window\n", stderr);
    }
    return 0;
}

// A page passes its controls' notifications on to the window, so one handler sees them all,
// and fills its background with the brush the window gave it (the tab body's colour).
LRESULT CALLBACK MCCForm::pageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        RECT rect;
        GetClientRect(hwnd, &rect);
        FillRect(reinterpret_cast<HDC>(wParam), &rect,
                 brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        if (HWND owner = GetParent(hwnd))
            return SendMessageW(owner, message, wParam, lParam);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT MCCForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == control(ControlId::devicetab) &&
            header->code == static_cast<UINT>(TCN_SELCHANGE)) {
            // The tab control holds at most one page; show the one chosen all the same.
            HWND tab = control(ControlId::devicetab);
            TCITEMW item{};
            item.mask = TCIF_PARAM;
            const auto selected = static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0));
            if (selected >= 0 && SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(selected),
                                              reinterpret_cast<LPARAM>(&item))) {
                HWND page = control(static_cast<ControlId>(item.lParam));
                for (ControlId id : pageOrder())
                    if (control(id) != page)
                        ShowWindow(control(id), SW_HIDE);
                SetWindowPos(page, control(ControlId::deviceListBox), 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
                shownPage_ = page;
            }
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam == kTimer1Id) {
            timer1_Tick();
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus))
                savedFocus_ = focus;
        }
        break;
    case WM_SETFOCUS: {
        HWND target = usable(savedFocus_) && IsChild(hwnd_, savedFocus_)
                          ? savedFocus_
                          : control(ControlId::deviceListBox);
        if (usable(target))
            SetFocus(target);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        // Labels, the check box and buttons on a page stand on the page's background.
        if (pageBrush_ && isPage(GetParent(reinterpret_cast<HWND>(lParam)))) {
            SetBkColor(reinterpret_cast<HDC>(wParam), pageColour_);
            return reinterpret_cast<LRESULT>(pageBrush_.get());
        }
        break;
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
        updatePageBackground();
        break;
    case WM_GETMINMAXINFO:
        // The window keeps its size: the minimum and maximum are both the laid-out frame,
        // also where that is larger than the screen.
        if (frameSize_.cx > 0) {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {frameSize_.cx, frameSize_.cy};
            limits->ptMaxTrackSize = {frameSize_.cx, frameSize_.cy};
            return 0;
        }
        break;
    case WM_DPICHANGED:
        onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_QUERYENDSESSION:
        // Asked before the session ends, or by Restart Manager (ENDSESSION_CLOSEAPP) for an
        // installer that replaces the program: nothing is ever left unsaved, so it may.
        return TRUE;
    case WM_ENDSESSION:
        // Then it closes as for WM_CLOSE: the message loop ends, every platform object is
        // given back and the program exits with 0.
        if (wParam)
            SendMessageW(hwnd_, WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd_, kTimer1Id);
        if (annotations_)
            annotations_->clear();
        destroying_ = true;
        if (quitOnClose_)
            PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        controls_.fill(nullptr);
        shownPage_ = savedFocus_ = focusBeforeBusy_ = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

bool MCCForm::isDialogMessage(MSG* msg) {
    if (!hwnd_ || !msg)
        return false;
    // Tab and Shift+Tab follow the layout's focus order. The dialog manager would follow the
    // windows' stacking order, in which a page lies above the tab control whose body it
    // covers, and so would reach the page's controls before the tab control.
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB &&
        (msg->hwnd == hwnd_ || IsChild(hwnd_, msg->hwnd)) && GetKeyState(VK_CONTROL) >= 0 &&
        GetKeyState(VK_MENU) >= 0) {
        const LRESULT code =
            SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if (!(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
            moveFocus(GetKeyState(VK_SHIFT) < 0);
            return true;
        }
    }
    // The arrow keys on a control that does not use them (the check box, a push button) move
    // the focus to the next or previous control of its group, as in a dialog: the group is the
    // controls of one page, or those of the window outside the pages.
    if (msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT || msg->wParam == VK_UP ||
         msg->wParam == VK_DOWN) &&
        IsChild(hwnd_, msg->hwnd) && GetKeyState(VK_MENU) >= 0) {
        const LRESULT code =
            SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if (!(code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
            moveFocusInGroup(msg->hwnd, msg->wParam == VK_LEFT || msg->wParam == VK_UP);
            return true;
        }
    }
    return IsDialogMessageW(hwnd_, msg) != FALSE;
}

void MCCForm::moveFocusInGroup(HWND from, bool backward) {
    std::vector<HWND> group;
    for (HWND stop : tabStops())
        if (GetParent(stop) == GetParent(from))
            group.push_back(stop);
    const auto at = std::find(group.begin(), group.end(), from);
    if (at == group.end() || group.size() < 2)
        return;
    const size_t i = static_cast<size_t>(at - group.begin());
    focusControl(group[backward ? (i + group.size() - 1) % group.size() : (i + 1) % group.size()]);
}

void MCCForm::moveFocus(bool backward) {
    const std::vector<HWND> stops = tabStops();
    if (stops.empty())
        return;
    HWND focus = GetFocus();
    // An editable drop-down has the focus in its text field, a child of the box.
    auto isStop = [&stops](HWND hwnd) {
        return std::find(stops.begin(), stops.end(), hwnd) != stops.end();
    };
    if (focus && !isStop(focus) && isStop(GetParent(focus)))
        focus = GetParent(focus);
    size_t next = backward ? stops.size() - 1 : 0;
    for (size_t i = 0; i < stops.size(); ++i) {
        if (stops[i] == focus) {
            next = backward ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
            break;
        }
    }
    focusControl(stops[next]);
}

// A text reached from the keyboard is selected whole, as in a dialog.
void MCCForm::focusControl(HWND target) {
    SetFocus(target);
    selectWholeText(target);
}

bool MCCForm::isPage(HWND hwnd) const {
    for (ControlId page : pageOrder())
        if (hwnd && control(page) == hwnd)
            return true;
    return false;
}

void MCCForm::updatePageBackground() {
    pageColour_ = tabBodyColour(control(ControlId::devicetab));
    BrushHandle brush(CreateSolidBrush(pageColour_));
    for (ControlId page : pageOrder()) {
        SetWindowLongPtrW(control(page), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(brush.get()));
        InvalidateRect(control(page), nullptr, TRUE);
    }
    pageBrush_ = std::move(brush);
}

void MCCForm::onCommand(int id, int code, HWND source) {
    if (source == control(ControlId::deviceListBox) && code == LBN_SELCHANGE) {
        deviceListBox_SelectedIndexChanged();
        return;
    }
    if (source == control(ControlId::unicable_save) && code == BN_CLICKED) {
        unicable_save_Click();
        return;
    }
    // A push button with the focus is the one Enter presses, and is drawn so.
    if ((code == BN_SETFOCUS || code == BN_KILLFOCUS) &&
        (source == control(ControlId::unicable_save) || source == control(ControlId::button3))) {
        showAsDefaultButton(source, code == BN_SETFOCUS);
        return;
    }
    // Enter: a focused push button is pressed by Enter as by Space. Esc and Enter elsewhere
    // do nothing.
    if (id == IDOK && source == nullptr) {
        HWND save = control(ControlId::unicable_save);
        if (GetFocus() == save && usable(save))
            unicable_save_Click();
    }
}

void MCCForm::showAsDefaultButton(HWND button, bool isDefault) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(button, GWL_STYLE));
    const DWORD type = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((style & BS_TYPEMASK) != type)
        SendMessageW(button, BM_SETSTYLE, (style & 0xFFFF & ~BS_TYPEMASK) | type, TRUE);
}

void MCCForm::onDpiChanged(UINT dpi, const RECT& suggested) {
    if (dpi == 0 || dpi == dpi_)
        return;
    dpi_ = dpi;
    // Where the window system suggests; the size is the one the layout gives the client area.
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    createFonts();
    layOut();
}

void MCCForm::timer1_Tick() {
    core_.timer1_Tick();
}

void MCCForm::deviceListBox_SelectedIndexChanged() {
    core_.deviceListBox_SelectedIndexChanged();
}

void MCCForm::unicable_save_Click() {
    core_.unicable_save_Click();
}

// A control that went out of sight (its page was taken away) cannot keep the keyboard focus.
void MCCForm::keepFocusVisible() {
    HWND focus = GetFocus();
    if (!focus || !IsChild(hwnd_, focus) || IsWindowVisible(focus))
        return;
    HWND list = control(ControlId::deviceListBox);
    SetFocus(IsWindowEnabled(list) ? list : control(ControlId::devicetab));
}

// ---- MCCFormView -------------------------------------------------------------------------

void MCCForm::clearDeviceList() {
    SendMessageW(control(ControlId::deviceListBox), LB_RESETCONTENT, 0, 0);
}

void MCCForm::insertDeviceListEntry(int32_t position, const std::u16string& text) {
    const std::wstring entry = toWide(text);
    SendMessageW(control(ControlId::deviceListBox), LB_INSERTSTRING, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(entry.c_str()));
}

void MCCForm::selectDeviceListEntry(int32_t position) {
    SendMessageW(control(ControlId::deviceListBox), LB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int32_t MCCForm::selectedDeviceListEntry() const {
    const auto selected =
        static_cast<int32_t>(SendMessageW(control(ControlId::deviceListBox), LB_GETCURSEL, 0, 0));
    return selected < 0 ? -1 : selected;
}

void MCCForm::showPage(Page page) {
    HWND tab = control(ControlId::devicetab);
    const ControlId id = pageControl(page);
    HWND shown = id == ControlId::end_ ? nullptr : control(id);

    SendMessageW(tab, TCM_DELETEALLITEMS, 0, 0);
    if (shown) {
        const std::wstring caption = windowText(shown);
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = const_cast<wchar_t*>(caption.c_str());
        item.lParam = static_cast<LPARAM>(id);
        SendMessageW(tab, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        SendMessageW(tab, TCM_SETCURSEL, 0, 0);
        // Above the tab control, whose body it covers.
        SetWindowPos(shown, control(ControlId::deviceListBox), 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    for (ControlId other : pageOrder())
        if (control(other) != shown)
            ShowWindow(control(other), SW_HIDE);
    shownPage_ = shown;
    keepFocusVisible();
}

void MCCForm::setUnicableDisplay(const UnicableDisplay& display) {
    // The label takes the size of the new text before it shows it: a static control draws a
    // new text at once, in the size it has then (a narrow one wraps it), and growing repaints
    // only the strip it gains.
    HWND info = control(ControlId::unicable_info_label);
    const std::wstring infoText = toWide(display.infoText);
    autoSize(ControlId::unicable_info_label, infoText);
    SetWindowTextW(info, infoText.c_str());
    InvalidateRect(info, nullptr, TRUE);
    // Whether the tuner supports Unicable is read out with the check box and the page, which
    // the keyboard reaches; the label itself takes no focus.
    if (annotations_) {
        annotations_->setText(control(ControlId::unicable_checkbox), PROPID_ACC_DESCRIPTION,
                              infoText);
        annotations_->setText(control(ControlId::dvbs_unicable), PROPID_ACC_DESCRIPTION, infoText);
    }
    SendMessageW(control(ControlId::unicable_checkbox), BM_SETCHECK,
                 display.useUnicable ? BST_CHECKED : BST_UNCHECKED, 0);
    SetWindowTextW(control(ControlId::unicable_frequency), toWide(display.frequencyText).c_str());
    SetWindowTextW(control(ControlId::unicable_scr), toWide(display.scrText).c_str());
}

UnicableEntry MCCForm::unicableEntry() const {
    UnicableEntry entry;
    entry.useUnicable =
        SendMessageW(control(ControlId::unicable_checkbox), BM_GETCHECK, 0, 0) == BST_CHECKED;
    entry.frequencyText = fromWide(windowText(control(ControlId::unicable_frequency)));
    entry.scrText = fromWide(windowText(control(ControlId::unicable_scr)));
    return entry;
}

void MCCForm::reportSaveRefused(const std::u16string& message) {
    MessageBoxW(hwnd_, toWide(message).c_str(), toWide(kSaveRefusedCaption).c_str(),
                MB_OK | MB_ICONWARNING);
}

void MCCForm::startRefreshTimer(int32_t milliseconds) {
    if (!hwnd_)
        return;
    KillTimer(hwnd_, kTimer1Id);
    SetTimer(hwnd_, kTimer1Id, static_cast<UINT>(milliseconds), nullptr);
}

void MCCForm::stopRefreshTimer() {
    if (hwnd_)
        KillTimer(hwnd_, kTimer1Id);
}

void MCCForm::setBusy(bool busy) {
    if (!hwnd_)
        return;
    HWND list = control(ControlId::deviceListBox);
    HWND save = control(ControlId::unicable_save);
    if (busy) {
        // Disabling the control that has the focus takes the focus away; it comes back.
        HWND focus = GetFocus();
        focusBeforeBusy_ = focus && IsChild(hwnd_, focus) ? focus : nullptr;
    }
    EnableWindow(list, !busy);
    EnableWindow(save, !busy);
    if (busy)
        return;
    HWND back = focusBeforeBusy_;
    focusBeforeBusy_ = nullptr;
    if (!usable(back))
        back = usable(list) ? list : nullptr;
    if (!back)
        return;
    if (GetActiveWindow() == hwnd_)
        SetFocus(back);
    else
        savedFocus_ = back; // given back when the window is activated again
}

bool MCCForm::isWindowOpen() const {
    return hwnd_ != nullptr && !destroying_;
}

ControlId MCCForm::focusedControl() const {
    HWND focus = GetFocus();
    if (!focus || !IsChild(hwnd_, focus))
        focus = savedFocus_; // the window is not active: the control that gets it back
    // An editable drop-down has the focus in its text field, a child of the box.
    for (HWND hwnd = focus; hwnd && hwnd != hwnd_; hwnd = GetParent(hwnd)) {
        const auto it = std::find(controls_.begin(), controls_.end(), hwnd);
        if (it != controls_.end())
            return static_cast<ControlId>(kFirstControlId + (it - controls_.begin()));
    }
    return ControlId::end_;
}

void MCCForm::setFocusTo(ControlId id, bool wholeText) {
    HWND target = control(id);
    if (!usable(target))
        return;
    if (GetActiveWindow() == hwnd_)
        SetFocus(target);
    else
        savedFocus_ = target; // given back when the window is activated again
    if (wholeText)
        selectWholeText(target);
}

} // namespace MorvaneControlCenter

#endif // _WIN32
