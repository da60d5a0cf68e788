#include "panel_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>

#include "events.h"
#include "resource.h"
#include "spinner_bar.h"

namespace zelkor::qt {

namespace {

// The entry takes only digit keys; pasted text goes in as it is, as with
// the platform's digits-only edit.
class DigitsEdit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QString text = event->text();
        const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!command && text.size() == 1 && text.at(0).isPrint() && !text.at(0).isDigit()) {
            event->accept();
            QApplication::beep();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

// The selectors' text starts near the frame and runs up to the arrow, as in
// the platform's combo box, so the longest band label fits the template width.
class SelectorStyle final : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control != CC_ComboBox) return QProxyStyle::subControlRect(control, option, part, widget);
        const QRect frame = option->rect.adjusted(1, 1, -1, -1);
        const int arrowWidth = 12;
        switch (part) {
        case SC_ComboBoxArrow: return QRect(frame.right() - arrowWidth + 1, frame.top(), arrowWidth, frame.height());
        case SC_ComboBoxEditField: return frame.adjusted(1, 0, -arrowWidth, 0);
        default: return QProxyStyle::subControlRect(control, option, part, widget);
        }
    }
};

enum class Kind {
    FrequencyEntry,
    DefaultButton,
    Button,
    Log,
    BigLabel,
    Diagram,
    CheckBox,
    Selector,
    Label,
    NumberDisplay,
    Spinner,
    TextDisplay,
};

struct ControlDef {
    int id;
    const char* name;
    Kind kind;
    const char* text;
    int x, y, w, h;  // dialog units
};

// The dialog template, in template order (which is the tab order).
const ControlDef kTemplate[] = {
    {IDC_FREQUENCY, "IDC_FREQUENCY", Kind::FrequencyEntry, "", 7, 7, 130, 34},
    {IDC_SET_FREQUENCY, "IDC_SET_FREQUENCY", Kind::DefaultButton, "Set &frequency", 139, 27, 58, 14},
    {IDC_EXIT, "IDC_EXIT", Kind::Button, "E&xit", 317, 181, 74, 14},
    {IDC_LOG, "IDC_LOG", Kind::Log, "", 209, 7, 182, 57},
    {IDC_KHZ_LABEL, "IDC_KHZ_LABEL", Kind::BigLabel, "kHz", 139, 7, 57, 17},
    {IDC_DIAGRAM, "IDC_DIAGRAM", Kind::Diagram, "", 7, 67, 15, 13},
    {IDC_SET_DEFAULTS, "IDC_SET_DEFAULTS", Kind::Button, "Set &defaults", 317, 147, 74, 14},
    {IDC_BIAS_T, "IDC_BIAS_T", Kind::CheckBox, "Bias T", 7, 47, 37, 8},
    {IDC_RF_FILTER, "IDC_RF_FILTER", Kind::Selector, "", 7, 167, 67, 65},
    {IDC_STATIC, "IDC_STATIC", Kind::Label, "RF Filter", 18, 185, 40, 10},
    {IDC_LNA_ENABLE, "IDC_LNA_ENABLE", Kind::CheckBox, "", 92, 168, 10, 10},
    {IDC_MIXER_GAIN, "IDC_MIXER_GAIN", Kind::CheckBox, "", 145, 168, 9, 10},
    {IDC_IF_FILTER, "IDC_IF_FILTER", Kind::Selector, "", 192, 166, 46, 65},
    {IDC_STATIC, "IDC_STATIC", Kind::Label, "IF filter", 200, 185, 30, 10},
    {IDC_STATIC, "IDC_STATIC", Kind::Label, "IF gain", 264, 185, 38, 10},
    {IDC_IF_GAIN_VALUE, "IDC_IF_GAIN_VALUE", Kind::NumberDisplay, "", 259, 166, 32, 13},
    {IDC_IF_GAIN_SPIN, "IDC_IF_GAIN_SPIN", Kind::Spinner, "", 293, 166, 10, 14},
    {IDC_STATIC, "IDC_STATIC", Kind::Label, "LNA Enable", 77, 185, 38, 10},
    {IDC_STATIC, "IDC_STATIC", Kind::Label, "Mixer Gain", 132, 185, 39, 10},
    {IDC_CURRENT_FREQUENCY, "IDC_CURRENT_FREQUENCY", Kind::TextDisplay, "", 57, 44, 80, 14},
    {IDC_STATIC, "IDC_STATIC", Kind::Label, "Current frequency", 139, 42, 42, 19},
    {IDC_BOOTLOADER, "IDC_BOOTLOADER", Kind::Button, "Switch to &bootloader", 317, 164, 74, 14},
};

constexpr int kDialogWidth = 401;  // dialog units
constexpr int kDialogHeight = 202;
constexpr int kDialogFontPoints = 8;
constexpr int kEntryCellHeight = 48;  // pixels

// "MS Shell Dlg" and "Arial" are not on Linux; Liberation Sans has Arial's metrics.
const char* const kFontFamily = "Liberation Sans";

QString FromWide(const std::wstring& text) { return QString::fromStdWString(text); }

}  // namespace

PanelWindow::PanelWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_CONTROL_PANEL"));
    setWindowTitle(QStringLiteral("Zelkor Control V2.0"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    QFont dialogFont(QString::fromLatin1(kFontFamily));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPixelSize(PointsToPixels(kDialogFontPoints, logicalDpiY()));
    setFont(dialogFont);
    units_ = BaseUnitsFor(dialogFont);

    BuildControls();
    setFixedSize(MulDiv(kDialogWidth, units_.cx, 4), MulDiv(kDialogHeight, units_.cy, 8));
    // No owner: the panel opens at the top-left corner of the screen.
    move(0, 0);
}

PanelWindow::~PanelWindow() {
    if (initialized_) OnDestroy(*this);
}

void PanelWindow::BuildControls() {
    QFont bigFont(QString::fromLatin1(kFontFamily));
    bigFont.setStyleHint(QFont::SansSerif);
    bigFont.setPixelSize(EmPixelsForCellHeight(bigFont, kEntryCellHeight));

    auto* selectorStyle = new SelectorStyle;
    selectorStyle->setParent(this);

    for (const ControlDef& def : kTemplate) {
        const QRect rect = DialogUnitsToPixels(units_, def.x, def.y, def.w, def.h);
        const QString text = QString::fromLatin1(def.text);
        QWidget* widget = nullptr;
        switch (def.kind) {
        case Kind::FrequencyEntry: {
            auto* edit = new DigitsEdit(this);
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            edit->setFont(bigFont);
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, Qt::black);
            palette.setColor(QPalette::Text, QColor(0, 255, 0));
            edit->setPalette(palette);
            widget = edit;
            break;
        }
        case Kind::DefaultButton:
        case Kind::Button: {
            auto* button = new QPushButton(text, this);
            button->setDefault(def.kind == Kind::DefaultButton);
            const int id = def.id;
            connect(button, &QPushButton::clicked, this,
                    [this, id] { Dispatch([this, id] { OnCommand(*this, id, kButtonClicked); }); });
            widget = button;
            break;
        }
        case Kind::Log: {
            log_ = new QPlainTextEdit(this);
            log_->setReadOnly(true);
            // Insertions into the log cannot be undone.
            log_->setUndoRedoEnabled(false);
            log_->setTabChangesFocus(true);
            log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            widget = log_;
            break;
        }
        case Kind::BigLabel: {
            auto* label = new QLabel(text, this);
            label->setFont(bigFont);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            widget = label;
            break;
        }
        case Kind::Diagram: {
            auto* label = new QLabel(this);
            const QPixmap bitmap(QStringLiteral(":/zelkor/signal_chain.bmp"));
            label->setPixmap(bitmap);
            widget = label;
            break;
        }
        case Kind::CheckBox: {
            auto* box = new QCheckBox(text, this);
            const int id = def.id;
            connect(box, &QCheckBox::clicked, this,
                    [this, id] { Dispatch([this, id] { OnCommand(*this, id, kButtonClicked); }); });
            widget = box;
            break;
        }
        case Kind::Selector: {
            auto* combo = new QComboBox(this);
            combo->setStyle(selectorStyle);
            combo->setEnabled(false);
            widget = combo;
            break;
        }
        case Kind::Label: {
            auto* label = new QLabel(text, this);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // Captions wrap at word breaks where the box has room for it.
            label->setWordWrap(rect.height() >= 2 * label->fontMetrics().lineSpacing());
            widget = label;
            break;
        }
        case Kind::NumberDisplay:
        case Kind::TextDisplay: {
            auto* edit = def.kind == Kind::NumberDisplay ? new DigitsEdit(this) : new QLineEdit(this);
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            edit->setEnabled(false);
            widget = edit;
            break;
        }
        case Kind::Spinner: {
            auto* spinner = new SpinnerBar(this);
            const int id = def.id;
            connect(spinner, &SpinnerBar::spinnerMessage, this, [this, id](ScrollCode code, int thumb) {
                Dispatch([this, id, code, thumb] { OnVScroll(*this, id, code, thumb); });
            });
            widget = spinner;
            break;
        }
        }
        widget->setObjectName(QString::fromLatin1(def.name));
        widget->setProperty("controlId", def.id);
        QRect geometry = rect;
        if (def.kind == Kind::Diagram) {
            // A bitmap static takes the bitmap's size.
            geometry.setSize(static_cast<QLabel*>(widget)->pixmap().size());
        } else if (def.kind == Kind::Label && !static_cast<QLabel*>(widget)->wordWrap()) {
            // The stand-in font runs a little wider than the template's: a
            // one-line caption may overhang its box rather than be cut.
            geometry.setWidth(qMax(rect.width(), widget->sizeHint().width()));
        } else if (def.kind == Kind::Selector) {
            // The template's height is that of the dropped-down list.
            geometry.setHeight(qMin(rect.height(), widget->sizeHint().height()));
        }
        widget->setGeometry(geometry);
        if (def.id != IDC_STATIC) controls_[def.id] = widget;
    }
}

void PanelWindow::Initialize() {
    initialized_ = true;
    Dispatch([this] { OnInitDialog(*this); });
}

QWidget* PanelWindow::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

template <typename Handler>
void PanelWindow::Dispatch(Handler&& handler) {
    ++depth_;
    handler();
    --depth_;
    if (depth_ > 0) return;
    while (heldNotices_ > 0 && !ended_) {
        --heldNotices_;
        ++depth_;
        OnDeviceChange(*this);
        --depth_;
    }
    FlushLog();
}

void PanelWindow::NotifyDeviceChange() {
    if (!initialized_ || ended_) return;
    if (depth_ > 0) {
        ++heldNotices_;
        return;
    }
    Dispatch([this] { OnDeviceChange(*this); });
}

void PanelWindow::reject() {
    Dispatch([this] { OnCommand(*this, kIdCancel, kButtonClicked); });
}

std::wstring PanelWindow::GetItemText(int id, std::size_t maxChars) {
    QWidget* widget = Control(id);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        text = edit->text();
    } else if (widget && widget == log_) {
        text = (logPending_ ? logText_ : log_->toPlainText()).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        text = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        text = combo->currentText();
    }
    std::wstring result = text.toStdWString();
    if (maxChars == 0) return {};
    if (result.size() > maxChars - 1) result.resize(maxChars - 1);
    return result;
}

void PanelWindow::SetItemText(int id, const std::wstring& text) {
    QWidget* widget = Control(id);
    const QString value = FromWide(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(value);
    } else if (widget && widget == log_) {
        // As with the platform's edit, new text puts the caret at the start.
        BeginLogEdit();
        logText_ = QString(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        logSelectionStart_ = logSelectionEnd_ = 0;
        if (depth_ == 0) FlushLog();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    }
}

void PanelWindow::ReplaceSelection(int id, const std::wstring& text) {
    if (Control(id) != log_) {
        if (auto* edit = qobject_cast<QLineEdit*>(Control(id))) edit->insert(FromWide(text));
        return;
    }
    BeginLogEdit();
    const QString inserted = FromWide(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    logText_.replace(logSelectionStart_, logSelectionEnd_ - logSelectionStart_, inserted);
    logSelectionStart_ = logSelectionEnd_ = logSelectionStart_ + int(inserted.size());
    if (depth_ == 0) FlushLog();
}

void PanelWindow::BeginLogEdit() {
    if (logPending_) return;
    logText_ = log_->toPlainText();
    const QTextCursor cursor = log_->textCursor();
    logSelectionStart_ = cursor.selectionStart();
    logSelectionEnd_ = cursor.selectionEnd();
    logPending_ = true;
}

void PanelWindow::FlushLog() {
    if (!logPending_) return;
    logPending_ = false;
    // A refresh usually ends with the lines it started with: keep the layout.
    if (log_->toPlainText() != logText_) log_->setPlainText(logText_);
    QTextCursor cursor(log_->document());
    cursor.setPosition(logSelectionStart_);
    log_->setTextCursor(cursor);
    log_->ensureCursorVisible();
}

bool PanelWindow::IsChecked(int id) {
    auto* box = qobject_cast<QCheckBox*>(Control(id));
    return box && box->isChecked();
}

void PanelWindow::SetChecked(int id, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(Control(id))) box->setChecked(checked);
}

void PanelWindow::SelectorReset(int id) {
    if (auto* combo = qobject_cast<QComboBox*>(Control(id))) combo->clear();
}

void PanelWindow::SelectorAdd(int id, const std::wstring& label) {
    if (auto* combo = qobject_cast<QComboBox*>(Control(id))) combo->addItem(FromWide(label));
}

void PanelWindow::SelectorSelect(int id, int index) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (!combo) return;
    // An index outside the list clears the selection.
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int PanelWindow::SelectorCurrent(int id) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    return combo ? combo->currentIndex() : -1;
}

ScrollInfo PanelWindow::GetScrollInfo(int id) {
    ScrollInfo info = scrollInfo_[id];
    info.pos = GetScrollPos(id);
    return info;
}

void PanelWindow::SetScrollInfo(int id, const ScrollInfo& info) {
    auto* bar = qobject_cast<QScrollBar*>(Control(id));
    if (!bar) return;
    scrollInfo_[id] = info;
    // With a page of n the last reachable position is max - (n - 1).
    const int lastPosition = qMax(info.min, info.max - qMax(info.page - 1, 0));
    bar->setRange(info.min, lastPosition);
    bar->setPageStep(qMax(info.page, 1));
    bar->setValue(info.pos);
}

void PanelWindow::SetScrollPos(int id, int pos) {
    // QScrollBar clamps to its range, as the platform's bar does.
    if (auto* bar = qobject_cast<QScrollBar*>(Control(id))) bar->setValue(pos);
}

int PanelWindow::GetScrollPos(int id) {
    auto* bar = qobject_cast<QScrollBar*>(Control(id));
    return bar ? bar->value() : 0;
}

void PanelWindow::ShowWarning(const std::wstring& text, const std::wstring& caption) {
    FlushLog();
    QMessageBox box(QMessageBox::Warning, FromWide(caption), FromWide(text), QMessageBox::Ok, this);
    box.exec();
}

void PanelWindow::EndDialog(int result) {
    ended_ = true;
    done(result);
}

bool PanelWindow::IsControlKeyDown() {
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

}  // namespace zelkor::qt
