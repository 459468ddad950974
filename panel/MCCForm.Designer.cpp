// The window's layout: every control, its place, text, items and focus order, and the two
// control events the window handles. Construction only; the behaviour is in MCCForm.cpp.
#include "panel/MCCForm.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTabWidget>

namespace MorvaneControlCenter {

namespace {

// Rows of the device list are 16 pixels high, whatever the font.
class FixedRowHeightDelegate : public QStyledItemDelegate {
  public:
    FixedRowHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

  private:
    int height_;
};

// A list box with one entry selected at a time: the user moves the selection to another entry
// but cannot take it away - Qt would let Ctrl and a click, Ctrl and Space, or a click below the
// last entry deselect it. Only the window clears it, by emptying the list.
class SingleSelectionListBox : public QListWidget {
  public:
    using QListWidget::QListWidget;

  protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        if (!index.isValid())
            return QItemSelectionModel::NoUpdate;
        const QItemSelectionModel::SelectionFlags command =
            QListWidget::selectionCommand(index, event);
        if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
            return QItemSelectionModel::ClearAndSelect;
        return command;
    }
};

// A push button that Enter presses, like Space, while it has the focus - as a focused push
// button is pressed on Windows. Qt's own button only does that as a dialog's default button.
// A held key presses it once.
class PushButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (enter && modifiers == Qt::NoModifier) {
            if (!event->isAutoRepeat())
                click();
            event->accept();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// Pages of the tab control lie 4 pixels inside its left, right and bottom edges and 25 below
// its top, whatever the style's own tab bar and frame would make of it. Everything else is
// drawn as the application's style draws it.
class TabPagePlacement : public QProxyStyle {
  public:
    TabPagePlacement() : QProxyStyle(QApplication::style()->name()) {}

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        if (element == SE_TabWidgetTabContents && option)
            return option->rect.adjusted(4, 25, -4, -4);
        return QProxyStyle::subElementRect(element, option, widget);
    }
};

// The main window is read by assistive technology as a window (a plain widget at the top would
// be a nameless "filler"); its name is its title.
QAccessibleInterface* mainWindowAccessible(const QString&, QObject* object) {
    if (auto* form = qobject_cast<MCCForm*>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

// A caption names the field it stands for: a screen reader reads the field with the caption
// (the label-for / labelled-by relations, and the field's accessible name where the field
// takes one: an editable combo box keeps its text as its name and is read by the relation).
void labelField(QLabel* caption, QWidget* field) {
    caption->setBuddy(field);
    field->setAccessibleName(caption->text());
}

// A label takes the size of its text; x and y are fixed, the designed size is where it starts.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int width,
                  int height) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setText(text);
    label->setGeometry(x, y, width, height);
    label->adjustSize();
    return label;
}

// An editable drop-down that keeps what is typed as it is: no completion, and Enter does not
// add the text to the items.
QComboBox* makeComboBox(QWidget* parent, const char* name, int x, int y, int width, int height) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setGeometry(x, y, width, height);
    return box;
}

QProgressBar* makeProgressBar(QWidget* parent, const char* name, int x, int y, int width,
                              int height) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setGeometry(x, y, width, height);
    return bar;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, int x, int y,
                        int width, int height) {
    auto* button = new PushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setAutoDefault(false);
    button->setGeometry(x, y, width, height);
    return button;
}

// A tab page keeps its caption as its window title, so it can be put back into the tab
// control after it was taken out.
QWidget* makePage(QWidget* parent, const char* name, const QString& caption) {
    auto* page = new QWidget(parent);
    page->setObjectName(QString::fromLatin1(name));
    page->setWindowTitle(caption);
    page->setAccessibleName(caption);
    page->setContentsMargins(3, 3, 3, 3);
    return page;
}

} // namespace

void MCCForm::InitializeComponent() {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(mainWindowAccessible);
        return true;
    }();
    (void)factoryInstalled;

    // label7
    label7 = makeLabel(this, "label7", QStringLiteral("Select Device:"), 12, 12, 98, 17);

    // devicetab and its six pages, in the order they are added.
    devicetab = new QTabWidget(this);
    devicetab->setObjectName(QStringLiteral("devicetab"));
    auto* pagePlacement = new TabPagePlacement;
    pagePlacement->setParent(devicetab);
    devicetab->setStyle(pagePlacement);
    devicetab->setGeometry(258, 12, 423, 330);

    // dvbs_unicable
    dvbs_unicable = makePage(devicetab, "dvbs_unicable", QStringLiteral("Unicable Configuration"));
    unicable_info_label = makeLabel(dvbs_unicable, "unicable_info_label",
                                    QStringLiteral("Unicable Supported Info"), 23, 31, 160, 17);
    unicable_scr = makeComboBox(dvbs_unicable, "unicable_scr", 26, 212, 147, 24);
    unicable_scr->addItems(
        {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    unicable_scr->setEditText(QString());
    label8 = makeLabel(dvbs_unicable, "label8", QStringLiteral("SCR:"), 26, 182, 40, 17);
    unicable_save =
        makeButton(dvbs_unicable, "unicable_save", QStringLiteral("Save"), 317, 31, 75, 23);
    label1 = makeLabel(dvbs_unicable, "label1", QStringLiteral("Select Unicable Frequency (MHz)"),
                       23, 109, 219, 17);
    unicable_frequency = makeComboBox(dvbs_unicable, "unicable_frequency", 26, 138, 147, 24);
    unicable_checkbox = new QCheckBox(dvbs_unicable);
    unicable_checkbox->setObjectName(QStringLiteral("unicable_checkbox"));
    unicable_checkbox->setText(QStringLiteral("Use Unicable"));
    unicable_checkbox->setChecked(false);
    unicable_checkbox->setGeometry(26, 69, 114, 21);
    unicable_checkbox->adjustSize();

    // dvbs_testastra
    dvbs_testastra = makePage(devicetab, "dvbs_testastra", QStringLiteral("Testastra/hotbird"));
    progressBar4 = makeProgressBar(dvbs_testastra, "progressBar4", 29, 237, 100, 23);
    progressBar3 = makeProgressBar(dvbs_testastra, "progressBar3", 29, 186, 100, 23);
    progressBar2 = makeProgressBar(dvbs_testastra, "progressBar2", 29, 127, 100, 23);
    progressBar1 = makeProgressBar(dvbs_testastra, "progressBar1", 29, 71, 100, 23);

    // dvbs_scan
    dvbs_scan = makePage(devicetab, "dvbs_scan", QStringLiteral("DVB-S/S2 Manual Scan"));
    listView1 = new QListWidget(dvbs_scan);
    listView1->setObjectName(QStringLiteral("listView1"));
    listView1->setGeometry(18, 28, 190, 164);
    label6 = makeLabel(dvbs_scan, "label6", QStringLiteral("Signalstrength:"), 18, 211, 103, 17);
    progressBar5 = makeProgressBar(dvbs_scan, "progressBar5", 18, 246, 202, 23);
    button3 = makeButton(dvbs_scan, "button3", QStringLiteral("Scan"), 241, 246, 75, 23);
    label5 = makeLabel(dvbs_scan, "label5", QStringLiteral("DVB-S/S2:"), 241, 28, 75, 17);
    comboBox4 = makeComboBox(dvbs_scan, "comboBox4", 241, 51, 121, 24);
    comboBox3 = makeComboBox(dvbs_scan, "comboBox3", 241, 205, 121, 24);
    label4 = makeLabel(dvbs_scan, "label4", QStringLiteral("Symbolrate"), 241, 184, 79, 17);
    label3 = makeLabel(dvbs_scan, "label3", QStringLiteral("Modulation"), 238, 125, 77, 17);
    comboBox2 = makeComboBox(dvbs_scan, "comboBox2", 241, 153, 121, 24);
    textBox1 = new QLineEdit(dvbs_scan);
    textBox1->setObjectName(QStringLiteral("textBox1"));
    textBox1->setGeometry(241, 100, 100, 22);
    label2 = makeLabel(dvbs_scan, "label2", QStringLiteral("Frequency:"), 238, 79, 79, 17);

    // dvbc_scan: no controls.
    dvbc_scan = makePage(devicetab, "dvbc_scan", QStringLiteral("DVB-C Scan"));

    // infotab
    infotab = makePage(devicetab, "infotab", QStringLiteral("Info"));
    label9 = new QLabel(infotab);
    label9->setObjectName(QStringLiteral("label9"));
    QFont label9Font(QStringLiteral("Microsoft Sans Serif"));
    label9Font.setPointSizeF(16.2);
    label9Font.setWeight(QFont::Normal);
    label9Font.setStyle(QFont::StyleNormal);
    label9->setFont(label9Font);
    label9->setText(QStringLiteral("No Device Detected"));
    label9->setGeometry(109, 123, 266, 32);
    label9->adjustSize();

    // dvbt2_scan: no controls.
    dvbt2_scan = makePage(devicetab, "dvbt2_scan", QStringLiteral("DVB-T/T2 Scan"));

    for (QWidget* page : {dvbs_unicable, dvbs_testastra, dvbs_scan, dvbc_scan, infotab, dvbt2_scan})
        addPage(page);
    devicetab->setCurrentIndex(0);

    // deviceListBox
    deviceListBox = new SingleSelectionListBox(this);
    deviceListBox->setObjectName(QStringLiteral("deviceListBox"));
    deviceListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    deviceListBox->setItemDelegate(new FixedRowHeightDelegate(16, deviceListBox));
    deviceListBox->setUniformItemSizes(true);
    deviceListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    deviceListBox->setGeometry(15, 37, 220, 164);

    // Captions name their fields; no text, place or focus order changes.
    labelField(label7, deviceListBox);
    labelField(label1, unicable_frequency);
    labelField(label8, unicable_scr);
    labelField(label2, textBox1);
    labelField(label3, comboBox2);
    labelField(label4, comboBox3);
    labelField(label5, comboBox4);
    labelField(label6, progressBar5);

    // Keyboard focus order: the list, the tab control, then the controls of the page shown.
    // Labels and progress bars take no focus.
    QWidget::setTabOrder(deviceListBox, devicetab);
    QWidget::setTabOrder(devicetab, unicable_checkbox);
    QWidget::setTabOrder(unicable_checkbox, unicable_frequency);
    QWidget::setTabOrder(unicable_frequency, unicable_save);
    QWidget::setTabOrder(unicable_save, unicable_scr);
    QWidget::setTabOrder(unicable_scr, textBox1);
    QWidget::setTabOrder(textBox1, comboBox2);
    QWidget::setTabOrder(comboBox2, comboBox3);
    QWidget::setTabOrder(comboBox3, comboBox4);
    QWidget::setTabOrder(comboBox4, button3);
    QWidget::setTabOrder(button3, listView1);

    // The two control events the window handles.
    connect(deviceListBox, &QListWidget::itemSelectionChanged, this,
            &MCCForm::deviceListBox_SelectedIndexChanged);
    connect(unicable_save, &QPushButton::clicked, this, &MCCForm::unicable_save_Click);

    // The window itself: fixed client area, no maximise button.
    setObjectName(QStringLiteral("MCCForm"));
    setWindowTitle(QStringLiteral("Morvane Control Center for Windows"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(702, 372);
}

} // namespace MorvaneControlCenter
