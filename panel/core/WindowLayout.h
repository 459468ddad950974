// The window's layout, free of any toolkit: every control with its name, kind, parent, text,
// place and size at 96 DPI and place in the focus order; the pages of the tab control and
// their order; the window's own title and size. Both windows (Qt, native Win32) build their
// controls from this table and nothing else: a change here changes both.
//
// The control names (label7, comboBox2, progressBar5, devicetab, ...), like timer1,
// devlistdata and n_devitems in MCCFormCore, are those of the window's designed form: they are
// its controls' object names and member names, and assistive clients and tests find the
// controls by them. Do not rename them, however plain they look.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace MorvaneControlCenter {

// Every control, in the order in which it is added to its parent. The numbers start at 1000
// so that the native window can use them as its control IDs (1 and 2 are Enter's and Esc's).
enum class ControlId : int {
    label7 = 1000,
    devicetab,
    deviceListBox,

    dvbs_unicable,
    unicable_info_label,
    unicable_scr,
    label8,
    unicable_save,
    label1,
    unicable_frequency,
    unicable_checkbox,

    dvbs_testastra,
    progressBar4,
    progressBar3,
    progressBar2,
    progressBar1,

    dvbs_scan,
    listView1,
    label6,
    progressBar5,
    button3,
    label5,
    comboBox4,
    comboBox3,
    label4,
    label3,
    comboBox2,
    textBox1,
    label2,

    dvbc_scan,

    infotab,
    label9,

    dvbt2_scan,

    end_ // one past the last; as a parent, the window itself; as a control, none
};

inline constexpr int kFirstControlId = static_cast<int>(ControlId::label7);
inline constexpr int kControlCount = static_cast<int>(ControlId::end_) - kFirstControlId;
// The window itself, where a control's parent is asked for.
inline constexpr ControlId kWindowItself = ControlId::end_;

enum class ControlKind {
    Label,       // static text; sizes itself to its text
    ListBox,     // single selection of text items
    TabControl,  // shows one of its pages at a time
    TabPage,     // one page of the tab control, with a caption
    ComboBox,    // editable drop-down: typed text or one of its items
    CheckBox,    // two states; sizes itself to its text
    Button,      // push button
    ProgressBar, // range 0 to 100, at 0
    ListView,    // no columns, no items
    TextBox,     // single line
};

// Pixels at 96 DPI in the parent's client area; a page's in the tab control's.
struct LayoutRect {
    int x, y, width, height;
};

struct ControlLayout {
    ControlId id;
    const char* name; // the object name, the same word as the member name
    ControlKind kind;
    ControlId parent;     // kWindowItself, the tab control (for a page) or a page
    const char16_t* text; // caption or text; empty for none
    LayoutRect rect;      // for a control that sizes itself to its text, the designed size
    int tabIndex;         // place in the focus order among its siblings
    ControlId names = ControlId::end_; // a caption: the field it names for assistive clients
};

// Every control, one row each, in ControlId order.
extern const std::array<ControlLayout, kControlCount> kWindowLayout;

const ControlLayout& layoutOf(ControlId id);
// Labels and the check box take the size of their text.
bool sizesToText(ControlKind kind);
// The kinds a user reaches with the keyboard.
bool takesFocus(ControlKind kind);
// A box the user types a number or text into.
bool isTextBox(ControlKind kind);

// The children of a control (of the window for kWindowItself), by tab index.
std::vector<const ControlLayout*> childrenInTabOrder(ControlId parent);
// The pages of devicetab, in the order in which they are put into it.
std::span<const ControlId> pageOrder();
// Every control that takes the focus, in the window's keyboard focus order: depth first, the
// children of each control in tab index order (the tab control's pages in their order, each
// with its controls, follow the tab control).
const std::vector<ControlId>& focusOrder();

// The window itself.
inline constexpr char kWindowName[] = "MCCForm";
inline constexpr char16_t kWindowTitle[] = u"Morvane Control Center for Windows";
inline constexpr int kClientWidth = 702;
inline constexpr int kClientHeight = 372;
// Rows of deviceListBox.
inline constexpr int kDeviceListItemHeight = 16;
// The items of unicable_scr, in order; no other box has items.
inline constexpr const char16_t* kScrItems[] = {u"0", u"1", u"2", u"3"};
// label9's font, the one control with a font of its own: regular style, character set 0.
inline constexpr char16_t kLabel9FontFamily[] = u"Microsoft Sans Serif";
inline constexpr int kLabel9FontTenthsOfAPoint = 162;
// Each page's inner margin on every side.
inline constexpr int kPageMargin = 3;

} // namespace MorvaneControlCenter
