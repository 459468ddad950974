// The window as assistive technology and the keyboard reach it: what MSAA (oleacc) reads for
// each control, the windows' order from which Windows names a field after its caption, and
// the arrow keys and the default button as in a dialog.
#include "window_fixture.h"

#include <oleacc.h>

#include <iterator>
#include <string>

namespace MorvaneControlCenter::testing_support {
namespace {

const Tuner kSatellite{
    L"Morvane DVB-S2 Stick", L"\\\\?\\usb#vid_1f4d&pid_0001#s1", DEVICETYPE_DVBS, 1, 1, 1210, 2};

// What MSAA reads for a window's client object (or the window object itself).
struct Read {
    bool found = false;
    std::wstring name;
    long role = 0;
};

// __uuidof: mingw-w64's oleacc import library holds an import thunk named IID_IAccessible.
Read readOverMsaa(HWND hwnd, LONG object = OBJID_CLIENT) {
    Read read;
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(object), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&accessible))) ||
        !accessible)
        return read;
    read.found = true;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (accessible->get_accName(self, &name) == S_OK && name) {
        read.name = name;
        SysFreeString(name);
    }
    VARIANT role;
    VariantInit(&role);
    if (SUCCEEDED(accessible->get_accRole(self, &role)) && role.vt == VT_I4)
        read.role = role.lVal;
    accessible->Release();
    return read;
}

// The caption Windows' oleacc names a field after: the static text control directly before
// the field in the windows' (z-) order, the search stopping at a tab stop or a group's start.
std::wstring captionByWindowOrder(HWND field) {
    for (HWND before = GetWindow(field, GW_HWNDPREV); before;
         before = GetWindow(before, GW_HWNDPREV)) {
        if (classOf(before) == L"Static")
            return textOf(before);
        if (GetWindowLongPtrW(before, GWL_STYLE) & (WS_TABSTOP | WS_GROUP))
            break;
    }
    return L"";
}

using Reading = WindowTest;

// Every control that takes the focus, on every page, is read with its caption or its own text
// as its name. Wine's oleacc names only edit controls after their caption and reads every
// other control as a plain "client" named by its window text (a combo box by the text in it,
// a list by nothing): for the fields it cannot name, the test checks the windows' order that
// Windows' rule reads instead. The pages' role and the support line as the check box's
// description are annotations (IAccPropServices), which Wine's oleacc takes but never reports:
// they are not read here.
TEST_F(Reading, EveryFocusableControlIsNamedByItsCaptionOrItsText) {
    const struct {
        ControlId id;
        const wchar_t* caption; // from the window order; empty: none (the control's own text)
        const wchar_t* ownText; // the name a button, check box or page reads itself
    } controls[] = {
        {ControlId::deviceListBox, L"Select Device:", nullptr},
        {ControlId::devicetab, L"", nullptr},
        {ControlId::unicable_checkbox, L"", L"Use Unicable"},
        {ControlId::unicable_frequency, L"Select Unicable Frequency (MHz)", nullptr},
        {ControlId::unicable_save, L"", L"Save"},
        {ControlId::unicable_scr, L"SCR:", nullptr},
        {ControlId::textBox1, L"Frequency:", nullptr},
        {ControlId::comboBox2, L"Modulation", nullptr},
        {ControlId::comboBox3, L"Symbolrate", nullptr},
        {ControlId::comboBox4, L"DVB-S/S2:", nullptr},
        {ControlId::button3, L"", L"Scan"},
        {ControlId::listView1, L"", nullptr},
    };
    int tabStops = 0;
    for (int id = kFirstControlId; id < kFirstControlId + kControlCount; ++id)
        if (GetWindowLongPtrW(control(static_cast<ControlId>(id)), GWL_STYLE) & WS_TABSTOP)
            ++tabStops;
    EXPECT_EQ(tabStops, static_cast<int>(std::size(controls))) << "a focusable control is missing";

    for (const auto& c : controls) {
        SCOPED_TRACE(testing::Message() << "control " << static_cast<int>(c.id));
        HWND hwnd = control(c.id);
        EXPECT_EQ(captionByWindowOrder(hwnd), c.caption);
        const Read read = readOverMsaa(hwnd);
        ASSERT_TRUE(read.found) << "no MSAA object";
        if (c.ownText) {
            EXPECT_EQ(read.name, c.ownText);
        }
        if (classOf(hwnd) == L"Edit") { // the class Wine names after its caption
            EXPECT_EQ(read.name, c.caption);
        }
    }

    // The pages carry their captions; the top level is read as a window named by its title.
    for (ControlId page :
         {ControlId::dvbs_unicable, ControlId::dvbs_testastra, ControlId::dvbs_scan,
          ControlId::dvbc_scan, ControlId::infotab, ControlId::dvbt2_scan})
        EXPECT_EQ(readOverMsaa(control(page)).name, textOf(control(page)));
    // Every top-level HWND is a window to MSAA (its window object's role is
    // ROLE_SYSTEM_WINDOW on Windows; Wine's window object reports no role): its client is
    // named by the title.
    EXPECT_EQ(readOverMsaa(window()).name, L"Morvane Control Center for Windows");
}

using Keyboard = WindowTest;

// The arrow keys on the check box and on Save move the focus through the page's controls as in
// a dialog; a box keeps them for its text. Save with the focus is drawn as the default button
// (Enter presses it), and plain again once the focus moves on.
TEST_F(Keyboard, ArrowsMoveThroughThePageAndTheFocusedSaveIsTheDefaultButton) {
    attach({kSatellite});
    refresh();
    HWND checkBox = control(ControlId::unicable_checkbox);
    HWND save = control(ControlId::unicable_save);
    auto focused = [] {
        HWND focus = GetFocus();
        return classOf(GetParent(focus)) == L"ComboBox" ? GetParent(focus) : focus;
    };
    auto isDefault = [&] {
        return (GetWindowLongPtrW(save, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    };
    EXPECT_FALSE(isDefault());

    SetFocus(checkBox);
    pressKey(VK_DOWN);
    EXPECT_EQ(focused(), control(ControlId::unicable_frequency)) << "Down on the check box";
    pressKey(VK_RIGHT);
    EXPECT_EQ(focused(), control(ControlId::unicable_frequency)) << "the box keeps Right";
    SetFocus(save);
    EXPECT_TRUE(isDefault()) << "the focused Save is not drawn as the default button";
    pressKey(VK_RIGHT);
    EXPECT_EQ(focused(), control(ControlId::unicable_scr)) << "Right on Save";
    EXPECT_FALSE(isDefault());
    SetFocus(checkBox);
    pressKey(VK_UP);
    EXPECT_EQ(focused(), control(ControlId::unicable_scr)) << "Up on the check box goes round";
    SetFocus(save);
    pressKey(VK_LEFT);
    EXPECT_EQ(focused(), control(ControlId::unicable_frequency)) << "Left on Save";

    // Enter on the focused default button saves once.
    SetFocus(save);
    pressKey(VK_RETURN);
    EXPECT_EQ(applies.size(), 1u);
}

} // namespace
} // namespace MorvaneControlCenter::testing_support
