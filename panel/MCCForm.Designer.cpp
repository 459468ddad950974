// The window's layout as Qt widgets: every control of the layout table (panel/core), made as
// its kind is in Qt, and the two control events the window handles. Construction only; the
// behaviour is in MCCForm.cpp.
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

// Pages of the tab control lie where the layout puts them in it, whatever the style's own tab
// bar and frame would make of it. Everything else is drawn as the application's style draws
// it.
class TabPagePlacement : public QProxyStyle {
  public:
    explicit TabPagePlacement(const LayoutRect& tabControl)
        : QProxyStyle(QApplication::style()->name()), tabControl_(tabControl) {}

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        if (element == SE_TabWidgetTabContents && option) {
            const LayoutRect page = layoutOf(pageOrder().front()).rect;
            return option->rect.adjusted(page.x, page.y, page.x + page.width - tabControl_.width,
                                         page.y + page.height - tabControl_.height);
        }
        return QProxyStyle::subElementRect(element, option, widget);
    }

  private:
    LayoutRect tabControl_;
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

QString textOf(const ControlLayout& row) {
    return QString::fromUtf16(row.text);
}

// One control of the layout, as its kind is made in Qt, at its place and with its text.
QWidget* makeControl(const ControlLayout& row, QWidget* parent) {
    QWidget* widget = nullptr;
    switch (row.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(textOf(row), parent);
        if (row.id == ControlId::label9) {
            QFont font(QString::fromUtf16(kLabel9FontFamily));
            font.setPointSizeF(kLabel9FontTenthsOfAPoint / 10.0);
            font.setWeight(QFont::Normal);
            font.setStyle(QFont::StyleNormal);
            label->setFont(font);
        }
        widget = label;
        break;
    }
    case ControlKind::ListBox: {
        auto* list = new SingleSelectionListBox(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setItemDelegate(new FixedRowHeightDelegate(kDeviceListItemHeight, list));
        list->setUniformItemSizes(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = list;
        break;
    }
    case ControlKind::TabControl: {
        auto* tabs = new QTabWidget(parent);
        auto* pagePlacement = new TabPagePlacement(row.rect);
        pagePlacement->setParent(tabs);
        tabs->setStyle(pagePlacement);
        widget = tabs;
        break;
    }
    case ControlKind::TabPage:
        // A page keeps its caption as its window title, so it can be put back into the tab
        // control after it was taken out.
        widget = new QWidget(parent);
        widget->setWindowTitle(textOf(row));
        widget->setAccessibleName(textOf(row));
        widget->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
        break;
    case ControlKind::ComboBox: {
        // Keeps what is typed as it is: no completion, and Enter does not add the text to
        // the items.
        auto* box = new QComboBox(parent);
        box->setEditable(true);
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
        widget = box;
        break;
    }
    case ControlKind::CheckBox:
        widget = new QCheckBox(textOf(row), parent);
        break;
    case ControlKind::Button: {
        auto* button = new PushButton(textOf(row), parent);
        button->setAutoDefault(false);
        widget = button;
        break;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        widget = bar;
        break;
    }
    case ControlKind::ListView:
        widget = new QListWidget(parent);
        break;
    case ControlKind::TextBox:
        widget = new QLineEdit(parent);
        break;
    }
    widget->setObjectName(QString::fromLatin1(row.name));
    widget->setGeometry(row.rect.x, row.rect.y, row.rect.width, row.rect.height);
    // It takes the size of its text; the designed size is where it starts.
    if (sizesToText(row.kind))
        widget->adjustSize();
    return widget;
}

template <typename Widget> void bind(Widget*& member, QWidget* widget) {
    member = qobject_cast<Widget*>(widget);
    Q_ASSERT(member);
}

} // namespace

void MCCForm::InitializeComponent() {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(mainWindowAccessible);
        return true;
    }();
    (void)factoryInstalled;

    // Every control of the layout, each added to its parent in the layout's order.
    for (const ControlLayout& row : kWindowLayout) {
        QWidget* parent = row.parent == kWindowItself ? this : controlWidget(row.parent);
        controls_[static_cast<size_t>(static_cast<int>(row.id) - kFirstControlId)] =
            makeControl(row, parent);
    }
    bind(devicetab, controlWidget(ControlId::devicetab));
    bind(deviceListBox, controlWidget(ControlId::deviceListBox));
    bind(dvbs_unicable, controlWidget(ControlId::dvbs_unicable));
    bind(unicable_info_label, controlWidget(ControlId::unicable_info_label));
    bind(unicable_scr, controlWidget(ControlId::unicable_scr));
    bind(unicable_save, controlWidget(ControlId::unicable_save));
    bind(unicable_frequency, controlWidget(ControlId::unicable_frequency));
    bind(unicable_checkbox, controlWidget(ControlId::unicable_checkbox));

    for (const char16_t* item : kScrItems)
        unicable_scr->addItem(QString::fromUtf16(item));
    unicable_scr->setEditText(QString());
    unicable_checkbox->setChecked(false);

    for (ControlId page : pageOrder())
        addPage(controlWidget(page));
    devicetab->setCurrentIndex(0);

    // Captions name their fields; no text, place or focus order changes.
    for (const ControlLayout& row : kWindowLayout)
        if (row.names != ControlId::end_)
            labelField(qobject_cast<QLabel*>(controlWidget(row.id)), controlWidget(row.names));

    // Keyboard focus order: the list, the tab control, then the controls of the pages.
    // Labels and progress bars take no focus.
    const std::vector<ControlId>& order = focusOrder();
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(controlWidget(order[i - 1]), controlWidget(order[i]));

    // The two control events the window handles.
    connect(deviceListBox, &QListWidget::itemSelectionChanged, this,
            &MCCForm::deviceListBox_SelectedIndexChanged);
    connect(unicable_save, &QPushButton::clicked, this, &MCCForm::unicable_save_Click);

    // The window itself: fixed client area, no maximise button.
    setObjectName(QString::fromLatin1(kWindowName));
    setWindowTitle(QString::fromUtf16(kWindowTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
}

QWidget* MCCForm::controlWidget(ControlId id) const {
    const int index = static_cast<int>(id) - kFirstControlId;
    if (index < 0 || index >= kControlCount)
        return nullptr;
    return controls_[static_cast<size_t>(index)];
}

} // namespace MorvaneControlCenter
