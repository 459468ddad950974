#include "panel/core/WindowLayout.h"

#include <algorithm>
#include <stdexcept>

namespace MorvaneControlCenter {

namespace {

using C = ControlId;
using K = ControlKind;
constexpr ControlId kWindow = kWindowItself;
// Every page lies at the same place in the tab control.
constexpr LayoutRect kPageRect{4, 25, 415, 301};

} // namespace

// One row per control: name, kind, parent, text, 96-DPI rectangle, tab index and, for a
// caption, the field it names.
// clang-format off
const std::array<ControlLayout, kControlCount> kWindowLayout = {{
    {C::label7,        "label7",        K::Label,      kWindow, u"Select Device:", {12, 12, 98, 17},    4, C::deviceListBox},
    {C::devicetab,     "devicetab",     K::TabControl, kWindow, u"",               {258, 12, 423, 330}, 1},
    {C::deviceListBox, "deviceListBox", K::ListBox,    kWindow, u"",               {15, 37, 220, 164},  0},

    {C::dvbs_unicable,       "dvbs_unicable",       K::TabPage,  C::devicetab,     u"Unicable Configuration",         kPageRect,           0},
    {C::unicable_info_label, "unicable_info_label", K::Label,    C::dvbs_unicable, u"Unicable Supported Info",        {23, 31, 160, 17},   6},
    {C::unicable_scr,        "unicable_scr",        K::ComboBox, C::dvbs_unicable, u"",                               {26, 212, 147, 24},  5},
    {C::label8,              "label8",              K::Label,    C::dvbs_unicable, u"SCR:",                           {26, 182, 40, 17},   4, C::unicable_scr},
    {C::unicable_save,       "unicable_save",       K::Button,   C::dvbs_unicable, u"Save",                           {317, 31, 75, 23},   3},
    {C::label1,              "label1",              K::Label,    C::dvbs_unicable, u"Select Unicable Frequency (MHz)", {23, 109, 219, 17}, 2, C::unicable_frequency},
    {C::unicable_frequency,  "unicable_frequency",  K::ComboBox, C::dvbs_unicable, u"",                               {26, 138, 147, 24},  1},
    {C::unicable_checkbox,   "unicable_checkbox",   K::CheckBox, C::dvbs_unicable, u"Use Unicable",                   {26, 69, 114, 21},   0},

    {C::dvbs_testastra, "dvbs_testastra", K::TabPage,     C::devicetab,      u"Testastra/hotbird", kPageRect,          1},
    {C::progressBar4,   "progressBar4",   K::ProgressBar, C::dvbs_testastra, u"",                  {29, 237, 100, 23}, 3},
    {C::progressBar3,   "progressBar3",   K::ProgressBar, C::dvbs_testastra, u"",                  {29, 186, 100, 23}, 2},
    {C::progressBar2,   "progressBar2",   K::ProgressBar, C::dvbs_testastra, u"",                  {29, 127, 100, 23}, 1},
    {C::progressBar1,   "progressBar1",   K::ProgressBar, C::dvbs_testastra, u"",                  {29, 71, 100, 23},  0},

    {C::dvbs_scan,    "dvbs_scan",    K::TabPage,     C::devicetab, u"DVB-S/S2 Manual Scan", kPageRect,           2},
    {C::listView1,    "listView1",    K::ListView,    C::dvbs_scan, u"",                     {18, 28, 190, 164},  11},
    {C::label6,       "label6",       K::Label,       C::dvbs_scan, u"Signalstrength:",      {18, 211, 103, 17},  10, C::progressBar5},
    {C::progressBar5, "progressBar5", K::ProgressBar, C::dvbs_scan, u"",                     {18, 246, 202, 23},  9},
    {C::button3,      "button3",      K::Button,      C::dvbs_scan, u"Scan",                 {241, 246, 75, 23},  8},
    {C::label5,       "label5",       K::Label,       C::dvbs_scan, u"DVB-S/S2:",            {241, 28, 75, 17},   7,  C::comboBox4},
    {C::comboBox4,    "comboBox4",    K::ComboBox,    C::dvbs_scan, u"",                     {241, 51, 121, 24},  6},
    {C::comboBox3,    "comboBox3",    K::ComboBox,    C::dvbs_scan, u"",                     {241, 205, 121, 24}, 5},
    {C::label4,       "label4",       K::Label,       C::dvbs_scan, u"Symbolrate",           {241, 184, 79, 17},  4,  C::comboBox3},
    {C::label3,       "label3",       K::Label,       C::dvbs_scan, u"Modulation",           {238, 125, 77, 17},  3,  C::comboBox2},
    {C::comboBox2,    "comboBox2",    K::ComboBox,    C::dvbs_scan, u"",                     {241, 153, 121, 24}, 2},
    {C::textBox1,     "textBox1",     K::TextBox,     C::dvbs_scan, u"",                     {241, 100, 100, 22}, 1},
    {C::label2,       "label2",       K::Label,       C::dvbs_scan, u"Frequency:",           {238, 79, 79, 17},   0,  C::textBox1},

    {C::dvbc_scan, "dvbc_scan", K::TabPage, C::devicetab, u"DVB-C Scan", kPageRect, 3},

    {C::infotab, "infotab", K::TabPage, C::devicetab, u"Info",               kPageRect,           4},
    {C::label9,  "label9",  K::Label,   C::infotab,   u"No Device Detected", {109, 123, 266, 32}, 0},

    {C::dvbt2_scan, "dvbt2_scan", K::TabPage, C::devicetab, u"DVB-T/T2 Scan", kPageRect, 5},
}};
// clang-format on

const ControlLayout& layoutOf(ControlId id) {
    const int index = static_cast<int>(id) - kFirstControlId;
    if (index < 0 || index >= kControlCount || kWindowLayout[static_cast<size_t>(index)].id != id)
        throw std::logic_error("control without a layout row");
    return kWindowLayout[static_cast<size_t>(index)];
}

bool sizesToText(ControlKind kind) {
    return kind == K::Label || kind == K::CheckBox;
}

bool takesFocus(ControlKind kind) {
    return kind != K::Label && kind != K::TabPage && kind != K::ProgressBar;
}

bool isTextBox(ControlKind kind) {
    return kind == K::ComboBox || kind == K::TextBox;
}

std::span<const ControlId> pageOrder() {
    static const std::vector<ControlId> pages = [] {
        std::vector<ControlId> order;
        for (const ControlLayout& row : kWindowLayout)
            if (row.kind == K::TabPage)
                order.push_back(row.id);
        return order;
    }();
    return pages;
}

std::vector<const ControlLayout*> childrenInTabOrder(ControlId parent) {
    std::vector<const ControlLayout*> children;
    for (const ControlLayout& row : kWindowLayout)
        if (row.parent == parent)
            children.push_back(&row);
    std::stable_sort(
        children.begin(), children.end(),
        [](const ControlLayout* a, const ControlLayout* b) { return a->tabIndex < b->tabIndex; });
    return children;
}

namespace {

void appendInFocusOrder(ControlId parent, std::vector<ControlId>& order) {
    for (const ControlLayout* child : childrenInTabOrder(parent)) {
        if (takesFocus(child->kind))
            order.push_back(child->id);
        appendInFocusOrder(child->id, order);
    }
}

} // namespace

const std::vector<ControlId>& focusOrder() {
    static const std::vector<ControlId> order = [] {
        std::vector<ControlId> controls;
        appendInFocusOrder(kWindowItself, controls);
        return controls;
    }();
    return order;
}

} // namespace MorvaneControlCenter
