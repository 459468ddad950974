// The window's controls against the layout tables: kind, parent, name, text, place, size,
// items, fonts and the keyboard focus order.
#include "panel_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QScreen>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <string>
#include <vector>

namespace panel_test {
namespace {

using MorvaneControlCenter::MCCForm;

struct Control {
    const char* name;
    const char* kind;   // Qt class standing in for the control kind
    const char* parent; // "MCCForm" or a page
    const char* text;   // caption; nullptr for controls without one
    int x, y, width, height;
    bool autoSize; // sizes itself to its text: only its position is fixed
};

// Written from the layout tables.
const std::vector<Control> kControls = {
    {"label7", "QLabel", "MCCForm", "Select Device:", 12, 12, 98, 17, true},
    {"devicetab", "QTabWidget", "MCCForm", nullptr, 258, 12, 423, 330, false},
    {"deviceListBox", "QListWidget", "MCCForm", nullptr, 15, 37, 220, 164, false},

    {"unicable_info_label", "QLabel", "dvbs_unicable", "Unicable Supported Info", 23, 31, 160, 17,
     true},
    {"unicable_scr", "QComboBox", "dvbs_unicable", "", 26, 212, 147, 24, false},
    {"label8", "QLabel", "dvbs_unicable", "SCR:", 26, 182, 40, 17, true},
    {"unicable_save", "QPushButton", "dvbs_unicable", "Save", 317, 31, 75, 23, false},
    {"label1", "QLabel", "dvbs_unicable", "Select Unicable Frequency (MHz)", 23, 109, 219, 17,
     true},
    {"unicable_frequency", "QComboBox", "dvbs_unicable", "", 26, 138, 147, 24, false},
    {"unicable_checkbox", "QCheckBox", "dvbs_unicable", "Use Unicable", 26, 69, 114, 21, true},

    {"progressBar4", "QProgressBar", "dvbs_testastra", nullptr, 29, 237, 100, 23, false},
    {"progressBar3", "QProgressBar", "dvbs_testastra", nullptr, 29, 186, 100, 23, false},
    {"progressBar2", "QProgressBar", "dvbs_testastra", nullptr, 29, 127, 100, 23, false},
    {"progressBar1", "QProgressBar", "dvbs_testastra", nullptr, 29, 71, 100, 23, false},

    {"listView1", "QListWidget", "dvbs_scan", nullptr, 18, 28, 190, 164, false},
    {"label6", "QLabel", "dvbs_scan", "Signalstrength:", 18, 211, 103, 17, true},
    {"progressBar5", "QProgressBar", "dvbs_scan", nullptr, 18, 246, 202, 23, false},
    {"button3", "QPushButton", "dvbs_scan", "Scan", 241, 246, 75, 23, false},
    {"label5", "QLabel", "dvbs_scan", "DVB-S/S2:", 241, 28, 75, 17, true},
    {"comboBox4", "QComboBox", "dvbs_scan", "", 241, 51, 121, 24, false},
    {"comboBox3", "QComboBox", "dvbs_scan", "", 241, 205, 121, 24, false},
    {"label4", "QLabel", "dvbs_scan", "Symbolrate", 241, 184, 79, 17, true},
    {"label3", "QLabel", "dvbs_scan", "Modulation", 238, 125, 77, 17, true},
    {"comboBox2", "QComboBox", "dvbs_scan", "", 241, 153, 121, 24, false},
    {"textBox1", "QLineEdit", "dvbs_scan", "", 241, 100, 100, 22, false},
    {"label2", "QLabel", "dvbs_scan", "Frequency:", 238, 79, 79, 17, true},

    {"label9", "QLabel", "infotab", "No Device Detected", 109, 123, 266, 32, true},
};

struct Page {
    const char* name;
    const char* caption;
    std::vector<const char*> children; // in the order they are added
};

const std::vector<Page> kPages = {
    {"dvbs_unicable",
     "Unicable Configuration",
     {"unicable_info_label", "unicable_scr", "label8", "unicable_save", "label1",
      "unicable_frequency", "unicable_checkbox"}},
    {"dvbs_testastra",
     "Testastra/hotbird",
     {"progressBar4", "progressBar3", "progressBar2", "progressBar1"}},
    {"dvbs_scan",
     "DVB-S/S2 Manual Scan",
     {"listView1", "label6", "progressBar5", "button3", "label5", "comboBox4", "comboBox3",
      "label4", "label3", "comboBox2", "textBox1", "label2"}},
    {"dvbc_scan", "DVB-C Scan", {}},
    {"infotab", "Info", {"label9"}},
    {"dvbt2_scan", "DVB-T/T2 Scan", {}},
};

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    return {};
}

// The object names of a widget's own child widgets, in the order they were added.
std::vector<std::string> childWidgetNames(const QWidget* parent) {
    std::vector<std::string> names;
    for (QObject* child : parent->children())
        if (child->isWidgetType() && !child->objectName().isEmpty() &&
            !child->objectName().startsWith(QStringLiteral("qt_")))
            names.push_back(child->objectName().toStdString());
    return names;
}

class LayoutTest : public PanelTest {};

TEST_F(LayoutTest, WindowIsFixedAt702By372WithoutMaximiseButton) {
    MCCForm& form = makeForm(false);
    EXPECT_EQ(form.objectName(), QStringLiteral("MCCForm"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Morvane Control Center for Windows"));
    EXPECT_TRUE(form.isWindow());
    EXPECT_EQ(form.size(), QSize(702, 372));
    EXPECT_EQ(form.minimumSize(), QSize(702, 372));
    EXPECT_EQ(form.maximumSize(), QSize(702, 372));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));

    // A resize request leaves the client area as it is.
    form.resize(900, 600);
    EXPECT_EQ(form.size(), QSize(702, 372));

    EXPECT_EQ(childWidgetNames(&form),
              (std::vector<std::string>{"label7", "devicetab", "deviceListBox"}));
}

TEST_F(LayoutTest, EveryControlHasItsKindParentTextAndGeometry) {
    MCCForm& form = makeForm(false);
    for (const Control& c : kControls) {
        SCOPED_TRACE(c.name);
        auto* widget = form.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.kind);
        ASSERT_NE(widget->parentWidget(), nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(c.parent));
        if (c.text) {
            EXPECT_EQ(textOf(widget), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(widget->pos(), QPoint(c.x, c.y));
        if (c.autoSize) {
            EXPECT_EQ(widget->size(), widget->sizeHint()) << "sized to its text";
        } else {
            EXPECT_EQ(widget->size(), QSize(c.width, c.height));
        }
    }
}

TEST_F(LayoutTest, PagesHoldTheirControlsInOrderAndBelongToTheTabControl) {
    MCCForm& form = makeForm(false);
    auto* devicetab = form.findChild<QTabWidget*>(QStringLiteral("devicetab"));
    ASSERT_NE(devicetab, nullptr);
    for (const Page& p : kPages) {
        SCOPED_TRACE(p.name);
        auto* page = form.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(page, nullptr);
        EXPECT_STREQ(page->metaObject()->className(), "QWidget");
        EXPECT_TRUE(devicetab->isAncestorOf(page));
        // Taken out of the tab control, a page still knows the caption it is shown with.
        EXPECT_EQ(page->windowTitle(), QString::fromUtf8(p.caption));
        std::vector<std::string> expected(p.children.begin(), p.children.end());
        EXPECT_EQ(childWidgetNames(page), expected);
    }
}

// A page shown in the tab control lies at 4,25 inside it and measures 415 x 301, whichever
// page it is and however often the pages were swapped.
TEST_F(LayoutTest, ShownPageLiesAt4By25AndMeasures415By301) {
    useBench("satellites.json");
    MCCForm& form = makeForm();
    auto* devicetab = form.findChild<QTabWidget*>(QStringLiteral("devicetab"));
    ASSERT_NE(devicetab, nullptr);
    for (int row : {0, 2, 3, 0}) {
        clickEntry(row);
        ASSERT_EQ(devicetab->count(), 1);
        QWidget* page = devicetab->currentWidget();
        ASSERT_NE(page, nullptr);
        SCOPED_TRACE(page->objectName().toStdString());
        EXPECT_EQ(QRect(page->mapTo(devicetab, QPoint(0, 0)), page->size()),
                  QRect(4, 25, 415, 301));
        EXPECT_EQ(page->contentsMargins(), QMargins(3, 3, 3, 3));
    }
    form.UpdateTabMenu(-1);
    QWidget* info = devicetab->currentWidget();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(QRect(info->mapTo(devicetab, QPoint(0, 0)), info->size()), QRect(4, 25, 415, 301));
}

// Under another application style the page keeps its place, and the tab control is drawn in
// that style like every other control.
TEST_F(LayoutTest, PagePlaceHoldsUnderAnotherStyleDrawnInThatStyle) {
    const QString before = QApplication::style()->name();
    QApplication::setStyle(QStringLiteral("Windows"));
    useBench("types_1_0_3.json");
    MCCForm& form = makeForm();
    auto* devicetab = form.findChild<QTabWidget*>(QStringLiteral("devicetab"));
    ASSERT_NE(devicetab, nullptr);
    QWidget* page = devicetab->currentWidget();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(QRect(page->mapTo(devicetab, QPoint(0, 0)), page->size()), QRect(4, 25, 415, 301));
    QStyle* drawnWith = devicetab->style();
    if (auto* proxy = qobject_cast<QProxyStyle*>(drawnWith))
        drawnWith = proxy->baseStyle();
    EXPECT_EQ(drawnWith->name(), QStringLiteral("windows"));
    form_.reset();
    QApplication::setStyle(before);
}

TEST_F(LayoutTest, ItemsRangesAndFonts) {
    MCCForm& form = makeForm(false);

    auto* scr = form.findChild<QComboBox*>(QStringLiteral("unicable_scr"));
    ASSERT_NE(scr, nullptr);
    QStringList items;
    for (int i = 0; i < scr->count(); ++i)
        items << scr->itemText(i);
    EXPECT_EQ(items, (QStringList{"0", "1", "2", "3"}));

    for (const char* name :
         {"unicable_scr", "unicable_frequency", "comboBox2", "comboBox3", "comboBox4"}) {
        SCOPED_TRACE(name);
        auto* box = form.findChild<QComboBox*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isEditable()) << "accepts typed text";
        EXPECT_EQ(box->currentText(), QString());
        if (box != scr) {
            EXPECT_EQ(box->count(), 0);
        }
    }

    for (const char* name :
         {"progressBar1", "progressBar2", "progressBar3", "progressBar4", "progressBar5"}) {
        SCOPED_TRACE(name);
        auto* bar = form.findChild<QProgressBar*>(QString::fromLatin1(name));
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
    }

    auto* listView1 = form.findChild<QListWidget*>(QStringLiteral("listView1"));
    ASSERT_NE(listView1, nullptr);
    EXPECT_EQ(listView1->count(), 0);
    auto* checkbox = form.findChild<QCheckBox*>(QStringLiteral("unicable_checkbox"));
    ASSERT_NE(checkbox, nullptr);
    EXPECT_FALSE(checkbox->isChecked());

    for (QLabel* label : form.findChildren<QLabel*>())
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << label->objectName().toStdString();

    auto* label9 = form.findChild<QLabel*>(QStringLiteral("label9"));
    ASSERT_NE(label9, nullptr);
    EXPECT_EQ(label9->font().family(), QStringLiteral("Microsoft Sans Serif"));
    EXPECT_DOUBLE_EQ(label9->font().pointSizeF(), 16.2);
    EXPECT_FALSE(label9->font().bold());
    EXPECT_FALSE(label9->font().italic());
    // No other control asks for a font of its own.
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        if (widget != label9 && !widget->objectName().isEmpty()) {
            EXPECT_FALSE(widget->testAttribute(Qt::WA_SetFont))
                << widget->objectName().toStdString();
        }
    }
}

TEST_F(LayoutTest, LongerSupportTextWidensTheLabelAndMovesNothing) {
    useBench("satellites.json");
    MCCForm& form = makeForm();
    ASSERT_EQ(pageCaptions(tabs()), QStringList{"Unicable Configuration"});

    QLabel* label = infoLabel();
    EXPECT_EQ(label->text(), QStringLiteral("This device supports Unicable"));
    EXPECT_EQ(label->pos(), QPoint(23, 31));
    EXPECT_EQ(label->size(), label->sizeHint());
    const int supportedWidth = label->width();

    clickEntry(1); // the tuner whose switch cannot be set
    EXPECT_EQ(label->text(), QStringLiteral("Unicable is not supported by this device"));
    EXPECT_EQ(label->pos(), QPoint(23, 31));
    EXPECT_GT(label->width(), supportedWidth);
    EXPECT_EQ(label->size(), label->sizeHint());
    EXPECT_EQ(saveButton()->geometry(), QRect(317, 31, 75, 23));
    EXPECT_EQ(form.size(), QSize(702, 372));

    // What is on screen (the window's backing store) is the label drawn whole with its new
    // text: the window drawn afresh shows the same pixels there.
    const QRect onScreen(label->mapTo(&form, QPoint(0, 0)), label->size());
    auto screenPixels = [&] {
        return form.screen()
            ->grabWindow(form.winId())
            .toImage()
            .copy(onScreen)
            .convertToFormat(QImage::Format_RGB32);
    };
    const QImage fresh = form.grab().toImage().copy(onScreen).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenPixels() == fresh; }, 2000))
        << "the label on screen is not the label drawn afresh";
}

TEST_F(LayoutTest, DeviceListRowsAreSixteenPixelsHigh) {
    useBench("types_1_0_3.json");
    makeForm();
    ASSERT_EQ(list()->count(), 2);
    EXPECT_EQ(list()->visualItemRect(list()->item(0)).height(), 16);
    EXPECT_EQ(list()->visualItemRect(list()->item(1)).top(),
              list()->visualItemRect(list()->item(0)).top() + 16);
}

// The focus order is checked with real Tab key presses on the shown Unicable page.
TEST_F(LayoutTest, TabMovesFromCheckBoxToFrequencyToSaveToScr) {
    useBench("satellites.json");
    MCCForm& form = makeForm();
    ASSERT_EQ(pageCaptions(tabs()), QStringList{"Unicable Configuration"});
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    auto holdsFocus = [](QWidget* control) {
        QWidget* focus = QApplication::focusWidget();
        return focus && (focus == control || control->isAncestorOf(focus));
    };

    checkBox()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return holdsFocus(checkBox()); }, 2000));
    const std::vector<QWidget*> order = {frequencyBox(), saveButton(), scrBox()};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(holdsFocus(next))
            << "expected " << next->objectName().toStdString() << ", focus is on "
            << (QApplication::focusWidget()
                    ? QApplication::focusWidget()->objectName().toStdString()
                    : std::string("nothing"));
    }

    // After the SCR box the focus goes round to the list, which comes first in the window;
    // the tab control comes next, then the page's check box.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(holdsFocus(list()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(holdsFocus(tabs()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(holdsFocus(checkBox()));

    // Backwards the same way.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_TRUE(holdsFocus(tabs()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_TRUE(holdsFocus(list()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_TRUE(holdsFocus(scrBox()));
}

// The list comes first in the focus order, so it has the focus as soon as the window is
// active - before and after the first refresh - and Down moves the selection at once.
TEST_F(LayoutTest, WindowOpensWithTheFocusOnTheListWhereDownMovesTheSelection) {
    useBench("satellites.json");
    MCCForm& form = makeForm(false);
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto focusName = [] {
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus->metaObject()->className() + std::string(" ") +
                           focus->objectName().toStdString()
                     : std::string("nothing");
    };
    EXPECT_EQ(QApplication::focusWidget(), list()) << focusName();

    waitForTick();
    ASSERT_EQ(list()->count(), 6);
    ASSERT_EQ(list()->currentRow(), 0);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_EQ(focus, list()) << focusName();

    QTest::keyClick(focus, Qt::Key_Down);
    EXPECT_EQ(list()->selectedItems(), QList<QListWidgetItem*>{list()->item(1)});
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"Unicable Configuration"});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(list()->selectedItems(), QList<QListWidgetItem*>{list()->item(2)});
    EXPECT_EQ(pageCaptions(tabs()), QStringList{"DVB-C Scan"});
    EXPECT_EQ(QApplication::focusWidget(), list()) << focusName();
}

} // namespace
} // namespace panel_test
