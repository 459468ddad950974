// The window as built: every control's class, ID, parent, text and rectangle against the
// layout, the window's frame, the fonts, the items, the focus order, and the layout after a
// change of DPI. Runs at the prefix's DPI (96, and 144 in a second prefix).
#include "window_fixture.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwctype>
#include <vector>

namespace MorvaneControlCenter::testing_support {
namespace {

enum class Size {
    Exact,    // the rectangle as given
    Combo,    // a closed drop-down: the box's rectangle as given
    FitsText, // auto-size: the place as given, the size that of its text
};

struct Expected {
    ControlId id;
    ControlId parent; // ControlId::end_: the window itself
    const wchar_t* className;
    const wchar_t* text;
    int x, y, width, height;
    Size size;
};

constexpr ControlId kWindow = ControlId::end_;

// The layout, written down here on its own: pages are placed relative to the tab control.
const Expected kExpected[] = {
    {ControlId::label7, kWindow, L"Static", L"Select Device:", 12, 12, 98, 17, Size::FitsText},
    {ControlId::devicetab, kWindow, L"SysTabControl32", L"", 258, 12, 423, 330, Size::Exact},
    {ControlId::deviceListBox, kWindow, L"ListBox", L"", 15, 37, 220, 164, Size::Exact},

    {ControlId::dvbs_unicable, ControlId::devicetab, L"MCCFormPage", L"Unicable Configuration", 4,
     25, 415, 301, Size::Exact},
    {ControlId::unicable_info_label, ControlId::dvbs_unicable, L"Static",
     L"Unicable Supported Info", 23, 31, 160, 17, Size::FitsText},
    {ControlId::unicable_scr, ControlId::dvbs_unicable, L"ComboBox", L"", 26, 212, 147, 24,
     Size::Combo},
    {ControlId::label8, ControlId::dvbs_unicable, L"Static", L"SCR:", 26, 182, 40, 17,
     Size::FitsText},
    {ControlId::unicable_save, ControlId::dvbs_unicable, L"Button", L"Save", 317, 31, 75, 23,
     Size::Exact},
    {ControlId::label1, ControlId::dvbs_unicable, L"Static", L"Select Unicable Frequency (MHz)", 23,
     109, 219, 17, Size::FitsText},
    {ControlId::unicable_frequency, ControlId::dvbs_unicable, L"ComboBox", L"", 26, 138, 147, 24,
     Size::Combo},
    {ControlId::unicable_checkbox, ControlId::dvbs_unicable, L"Button", L"Use Unicable", 26, 69,
     114, 21, Size::FitsText},

    {ControlId::dvbs_testastra, ControlId::devicetab, L"MCCFormPage", L"Testastra/hotbird", 4, 25,
     415, 301, Size::Exact},
    {ControlId::progressBar4, ControlId::dvbs_testastra, L"msctls_progress32", L"", 29, 237, 100,
     23, Size::Exact},
    {ControlId::progressBar3, ControlId::dvbs_testastra, L"msctls_progress32", L"", 29, 186, 100,
     23, Size::Exact},
    {ControlId::progressBar2, ControlId::dvbs_testastra, L"msctls_progress32", L"", 29, 127, 100,
     23, Size::Exact},
    {ControlId::progressBar1, ControlId::dvbs_testastra, L"msctls_progress32", L"", 29, 71, 100, 23,
     Size::Exact},

    {ControlId::dvbs_scan, ControlId::devicetab, L"MCCFormPage", L"DVB-S/S2 Manual Scan", 4, 25,
     415, 301, Size::Exact},
    {ControlId::listView1, ControlId::dvbs_scan, L"SysListView32", L"", 18, 28, 190, 164,
     Size::Exact},
    {ControlId::label6, ControlId::dvbs_scan, L"Static", L"Signalstrength:", 18, 211, 103, 17,
     Size::FitsText},
    {ControlId::progressBar5, ControlId::dvbs_scan, L"msctls_progress32", L"", 18, 246, 202, 23,
     Size::Exact},
    {ControlId::button3, ControlId::dvbs_scan, L"Button", L"Scan", 241, 246, 75, 23, Size::Exact},
    {ControlId::label5, ControlId::dvbs_scan, L"Static", L"DVB-S/S2:", 241, 28, 75, 17,
     Size::FitsText},
    {ControlId::comboBox4, ControlId::dvbs_scan, L"ComboBox", L"", 241, 51, 121, 24, Size::Combo},
    {ControlId::comboBox3, ControlId::dvbs_scan, L"ComboBox", L"", 241, 205, 121, 24, Size::Combo},
    {ControlId::label4, ControlId::dvbs_scan, L"Static", L"Symbolrate", 241, 184, 79, 17,
     Size::FitsText},
    {ControlId::label3, ControlId::dvbs_scan, L"Static", L"Modulation", 238, 125, 77, 17,
     Size::FitsText},
    {ControlId::comboBox2, ControlId::dvbs_scan, L"ComboBox", L"", 241, 153, 121, 24, Size::Combo},
    {ControlId::textBox1, ControlId::dvbs_scan, L"Edit", L"", 241, 100, 100, 22, Size::Exact},
    {ControlId::label2, ControlId::dvbs_scan, L"Static", L"Frequency:", 238, 79, 79, 17,
     Size::FitsText},

    {ControlId::dvbc_scan, ControlId::devicetab, L"MCCFormPage", L"DVB-C Scan", 4, 25, 415, 301,
     Size::Exact},
    {ControlId::infotab, ControlId::devicetab, L"MCCFormPage", L"Info", 4, 25, 415, 301,
     Size::Exact},
    {ControlId::label9, ControlId::infotab, L"Static", L"No Device Detected", 109, 123, 266, 32,
     Size::FitsText},
    {ControlId::dvbt2_scan, ControlId::devicetab, L"MCCFormPage", L"DVB-T/T2 Scan", 4, 25, 415, 301,
     Size::Exact},
};

bool sameText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

LOGFONTW fontOf(HWND hwnd) {
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    EXPECT_NE(handle, nullptr) << "no font set";
    if (handle)
        GetObjectW(handle, sizeof(font), &font);
    return font;
}

SIZE textSizeIn(HWND hwnd, const std::wstring& text) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    RECT rect{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return {rect.right, rect.bottom};
}

// A control's client area, as the window shows it now (onScreen) or drawn whole afresh into a
// bitmap of its own (WM_PRINTCLIENT).
std::vector<COLORREF> labelPixels(HWND hwnd, bool onScreen) {
    RECT client;
    GetClientRect(hwnd, &client);
    HDC dc = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (onScreen)
        BitBlt(memory, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    else
        SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                     PRF_CLIENT | PRF_ERASEBKGND);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x)
            pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(hwnd, dc);
    return pixels;
}

// A closed drop-down's text field stands in the middle of the box, as high as a line.
void expectTextCentred(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    RECT box;
    GetClientRect(combo, &box);
    const RECT field = rectIn(info.hwndItem, combo);
    EXPECT_LE(std::abs(field.top + field.bottom - box.bottom), 1)
        << "text field at " << field.top << ".." << field.bottom << " in a box " << box.bottom
        << " high";
}

class Layout : public WindowTest {
  protected:
    // Every control against its row, at the expected DPI. The refresh changes the texts of
    // the Unicable page; checkTexts false leaves texts out.
    void expectLayout(bool checkTexts = true) {
        for (const Expected& row : kExpected) {
            SCOPED_TRACE(testing::Message()
                         << "control " << static_cast<int>(row.id) << " \""
                         << std::string(row.text, row.text + wcslen(row.text)) << "\"");
            HWND hwnd = control(row.id);
            ASSERT_NE(hwnd, nullptr);
            EXPECT_TRUE(sameText(classOf(hwnd), row.className)) << "class";
            EXPECT_EQ(GetDlgCtrlID(hwnd), static_cast<int>(row.id));
            if (checkTexts) {
                EXPECT_EQ(textOf(hwnd), row.text);
            }

            const bool isPage = sameText(row.className, L"MCCFormPage");
            // Pages are siblings of the tab control, placed over its body.
            HWND parent = row.parent == kWindow || isPage ? window() : control(row.parent);
            EXPECT_EQ(GetParent(hwnd), parent) << "parent";
            const RECT rect = rectIn(hwnd, isPage ? control(ControlId::devicetab) : parent);
            EXPECT_EQ(rect.left, scaled(row.x)) << "x";
            EXPECT_EQ(rect.top, scaled(row.y)) << "y";
            switch (row.size) {
            case Size::Exact:
            case Size::Combo:
                EXPECT_EQ(rect.right - rect.left, scaled(row.width)) << "width";
                EXPECT_EQ(rect.bottom - rect.top, scaled(row.height)) << "height";
                if (row.size == Size::Combo)
                    expectTextCentred(hwnd);
                break;
            case Size::FitsText: {
                const SIZE text = textSizeIn(hwnd, textOf(hwnd));
                EXPECT_GE(rect.right - rect.left, text.cx) << "the text is cut off";
                EXPECT_GE(rect.bottom - rect.top, text.cy) << "the text is cut off";
                EXPECT_LE(rect.right - rect.left, text.cx + scaled(30)) << "wider than its text";
                break;
            }
            }
        }
    }
};

TEST_F(Layout, TheWindowHasAFixedFrameTheTitleAndTheClientArea) {
    ASSERT_EQ(form->dpi(), expectedDpi) << "the window is not laid out for the system DPI";
    EXPECT_EQ(textOf(window()), L"Morvane Control Center for Windows");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window(), GWL_STYLE));
    EXPECT_FALSE(style & WS_MAXIMIZEBOX) << "maximise button";
    EXPECT_FALSE(style & WS_THICKFRAME) << "the frame can be dragged";
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    RECT client;
    GetClientRect(window(), &client);
    EXPECT_EQ(client.right, scaled(702));
    EXPECT_EQ(client.bottom, scaled(372));
    // Its minimum and maximum size are both its size.
    RECT outer;
    GetWindowRect(window(), &outer);
    MINMAXINFO limits{};
    SendMessageW(window(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, outer.right - outer.left);
    EXPECT_EQ(limits.ptMaxTrackSize.x, outer.right - outer.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, outer.bottom - outer.top);
    EXPECT_EQ(limits.ptMaxTrackSize.y, outer.bottom - outer.top);
    // The frame cannot be taken hold of to resize the window.
    RECT frame;
    GetWindowRect(window(), &frame);
    const LRESULT hit = SendMessageW(window(), WM_NCHITTEST, 0,
                                     MAKELPARAM(frame.right - 1, (frame.top + frame.bottom) / 2));
    EXPECT_NE(hit, HTRIGHT);
    EXPECT_NE(hit, HTBOTTOMRIGHT);
}

// The program's manifest (this test program carries the same one): the controls are common
// controls 6, and the process is DPI aware, so the window system does not stretch the window.
TEST_F(Layout, TheManifestBringsCommonControls6AndDpiAwareness) {
    // Only the version 6 button answers for its ideal size (the window system's own does not).
    SIZE ideal{0, 0};
    EXPECT_TRUE(SendMessageW(control(ControlId::unicable_save), BCM_GETIDEALSIZE, 0,
                             reinterpret_cast<LPARAM>(&ideal)));
    EXPECT_GT(ideal.cx, 0);
    EXPECT_TRUE(IsProcessDPIAware());
}

TEST_F(Layout, EveryControlHasItsClassIdParentTextAndPlace) {
    expectLayout();
}

TEST_F(Layout, TheTabControlStartsWithoutPagesAndTheListEmpty) {
    EXPECT_TRUE(tabCaptions().empty());
    EXPECT_TRUE(visiblePages().empty());
    EXPECT_TRUE(listEntries().empty());
}

TEST_F(Layout, TheScrBoxOffersZeroToThreeAndTheOtherBoxesNothing) {
    HWND scr = control(ControlId::unicable_scr);
    ASSERT_EQ(SendMessageW(scr, CB_GETCOUNT, 0, 0), 4);
    for (int i = 0; i < 4; ++i) {
        wchar_t item[8] = L"";
        SendMessageW(scr, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        EXPECT_EQ(item, std::to_wstring(i));
    }
    for (ControlId box : {ControlId::unicable_frequency, ControlId::comboBox2, ControlId::comboBox3,
                          ControlId::comboBox4})
        EXPECT_EQ(SendMessageW(control(box), CB_GETCOUNT, 0, 0), 0);
    // Both Unicable boxes take typed text.
    for (ControlId box : {ControlId::unicable_scr, ControlId::unicable_frequency})
        EXPECT_EQ(GetWindowLongPtrW(control(box), GWL_STYLE) & 3, CBS_DROPDOWN);
    EXPECT_FALSE(checked(ControlId::unicable_checkbox));
    EXPECT_EQ(SendMessageW(control(ControlId::progressBar5), PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(control(ControlId::progressBar5), PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageW(control(ControlId::listView1), LVM_GETITEMCOUNT, 0, 0), 0);
    // Rows of the device list are 16 pixels high at 96 DPI.
    EXPECT_EQ(SendMessageW(control(ControlId::deviceListBox), LB_GETITEMHEIGHT, 0, 0), scaled(16));
}

TEST_F(Layout, Label9HasItsOwnFontAndEveryOtherControlTheDialogFont) {
    const LOGFONTW label9 = fontOf(control(ControlId::label9));
    EXPECT_STREQ(label9.lfFaceName, L"Microsoft Sans Serif");
    EXPECT_EQ(label9.lfHeight, -MulDiv(162, static_cast<int>(expectedDpi), 720)); // 16.2 pt
    EXPECT_EQ(label9.lfWeight, FW_NORMAL);
    EXPECT_FALSE(label9.lfItalic);
    EXPECT_EQ(label9.lfCharSet, 0);

    const auto dialogFont = SendMessageW(control(ControlId::deviceListBox), WM_GETFONT, 0, 0);
    const LOGFONTW dialog = fontOf(control(ControlId::deviceListBox));
    EXPECT_EQ(dialog.lfHeight, -MulDiv(11, static_cast<int>(expectedDpi), 96)); // 8.25 pt
    // Both fonts leave the smoothing to the user's setting.
    EXPECT_EQ(dialog.lfQuality, DEFAULT_QUALITY);
    EXPECT_EQ(label9.lfQuality, DEFAULT_QUALITY);
    for (const Expected& row : kExpected) {
        // Pages draw no text of their own.
        if (row.id == ControlId::label9 || sameText(row.className, L"MCCFormPage"))
            continue;
        EXPECT_EQ(SendMessageW(control(row.id), WM_GETFONT, 0, 0), dialogFont)
            << "control " << static_cast<int>(row.id);
    }
}

// The label on screen after a tuner with a longer support line is chosen: drawn whole with the
// new text. (A static control draws a new text at once, in its size of the moment: set before
// the label grows, it wrapped, and growing repainted only the new strip.)
TEST_F(Layout, ALongerSupportLineWidensItsLabelAndMovesNothingElse) {
    attach({{L"Morvane DVB-S", L"\\\\?\\usb#s1", DEVICETYPE_DVBS, 1, 0, 1210, 1},
            {L"Morvane DVB-S", L"\\\\?\\usb#s", DEVICETYPE_DVBS, 0, 0, 1210, 1}});
    refresh();
    UpdateWindow(window());
    selectEntry(1);
    pumpFor(std::chrono::milliseconds(50));
    UpdateWindow(window());
    HWND info = control(ControlId::unicable_info_label);
    EXPECT_TRUE(labelPixels(info, true) == labelPixels(info, false))
        << "the label on screen is not the label drawn whole with its text";
    const RECT label = rectIn(control(ControlId::unicable_info_label), nullptr);
    EXPECT_EQ(textOf(control(ControlId::unicable_info_label)),
              L"Unicable is not supported by this device");
    EXPECT_EQ(label.left, scaled(23));
    EXPECT_EQ(label.top, scaled(31));
    EXPECT_GE(label.right - label.left, textSizeIn(control(ControlId::unicable_info_label),
                                                   L"Unicable is not supported by this device")
                                            .cx);
    expectLayout(false);
}

// Tab walks the list, the tab control and the controls of the page shown, in the layout's
// order; Shift+Tab walks back. The focus starts on the list.
TEST_F(Layout, TabWalksTheListTheTabsAndTheUnicablePageInOrder) {
    attach({{L"Morvane DVB-S", L"\\\\?\\usb#s", DEVICETYPE_DVBS, 1, 1, 1210, 1}});
    refresh();
    HWND list = control(ControlId::deviceListBox);
    ASSERT_EQ(GetFocus(), list) << "the focus does not start on the device list";

    // The editable boxes take the focus in their text field.
    auto focused = [] {
        HWND focus = GetFocus();
        HWND parent = GetParent(focus);
        return classOf(parent) == L"ComboBox" ? parent : focus;
    };
    const std::vector<HWND> order = {
        control(ControlId::devicetab),          control(ControlId::unicable_checkbox),
        control(ControlId::unicable_frequency), control(ControlId::unicable_save),
        control(ControlId::unicable_scr),       list};
    for (HWND expected : order) {
        pressKey(VK_TAB);
        EXPECT_EQ(focused(), expected) << "Tab went to control " << GetDlgCtrlID(focused());
    }
    for (auto it = order.rbegin() + 1; it != order.rend(); ++it) {
        pressKey(VK_TAB, true);
        EXPECT_EQ(focused(), *it) << "Shift+Tab went to control " << GetDlgCtrlID(focused());
    }
}

TEST_F(Layout, WithoutATunerTabSkipsTheEmptyInfoPage) {
    attach({});
    refresh();
    HWND list = control(ControlId::deviceListBox);
    ASSERT_EQ(GetFocus(), list);
    pressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), control(ControlId::devicetab));
    pressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), list);
}

// A move to a monitor of another DPI lays the window out again from the 96-DPI layout.
TEST_F(Layout, AChangeOfDpiLaysTheWindowOutForTheNewDpi) {
    const UINT before = expectedDpi;
    const UINT after = before == 96 ? 144 : 96;
    RECT suggested;
    GetWindowRect(window(), &suggested);
    RECT frame{0, 0, MulDiv(702, static_cast<int>(after), 96),
               MulDiv(372, static_cast<int>(after), 96)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window(), GWL_EXSTYLE)));
    suggested.right = suggested.left + frame.right - frame.left;
    suggested.bottom = suggested.top + frame.bottom - frame.top;
    SendMessageW(window(), WM_DPICHANGED, MAKEWPARAM(after, after),
                 reinterpret_cast<LPARAM>(&suggested));
    expectedDpi = after;
    EXPECT_EQ(form->dpi(), after);
    expectLayout();
    RECT client;
    GetClientRect(window(), &client);
    EXPECT_EQ(client.right, scaled(702));
    EXPECT_EQ(client.bottom, scaled(372));
    EXPECT_EQ(fontOf(control(ControlId::label9)).lfHeight,
              -MulDiv(162, static_cast<int>(after), 720));

    // And back: nothing drifts.
    suggested.right = suggested.left + (suggested.right - suggested.left);
    SendMessageW(window(), WM_DPICHANGED, MAKEWPARAM(before, before),
                 reinterpret_cast<LPARAM>(&suggested));
    expectedDpi = before;
    expectLayout();
}

} // namespace
} // namespace MorvaneControlCenter::testing_support
