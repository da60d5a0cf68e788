#include "panel_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "batched_log_view.h"
#include "digits_edit.h"
#include "events.h"
#include "resource.h"
#include "selector_style.h"
#include "spinner_bar.h"

namespace zelkor::qt {

namespace {

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
    gate_.SetIdleHook([this] {
        if (auto* log = qobject_cast<BatchedLogView*>(Control(IDC_LOG))) log->Flush();
    });
    setFixedSize(MulDiv(kDialogWidth, units_.cx, 4), MulDiv(kDialogHeight, units_.cy, 8));
    // No owner: the panel opens at the top-left corner of the screen.
    move(0, 0);
}

PanelWindow::~PanelWindow() { gate_.Destroy(); }

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
            connect(button, &QPushButton::clicked, this, [this, id] { gate_.Command(id, kButtonClicked); });
            widget = button;
            break;
        }
        case Kind::Log:
            // Edits made while a handler runs are shown when it is done.
            widget = new BatchedLogView(this, [this] { return gate_.Busy(); });
            break;
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
            connect(box, &QCheckBox::clicked, this, [this, id] { gate_.Command(id, kButtonClicked); });
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
            connect(spinner, &SpinnerBar::SpinnerMessage, this,
                    [this, id](ScrollCode code, int thumb) { gate_.VScroll(id, code, thumb); });
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

void PanelWindow::Initialize() { gate_.InitDialog(); }

void PanelWindow::NotifyDeviceChange() { gate_.DeviceChange(); }

void PanelWindow::reject() { gate_.Command(kIdCancel, kButtonClicked); }

}  // namespace zelkor::qt
