#include "qt_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>

#include "batched_log_view.h"

namespace zelkor::qt {

namespace {

QString FromWide(const std::wstring& text) { return QString::fromStdWString(text); }

}  // namespace

QtDialog::QtDialog(QDialog& window, const std::map<int, QWidget*>& controls) : window_(window), controls_(controls) {}

QWidget* QtDialog::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

std::wstring QtDialog::GetItemText(int id, std::size_t maxChars) {
    QWidget* widget = Control(id);
    QString text;
    if (auto* log = qobject_cast<BatchedLogView*>(widget)) {
        text = log->Text();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        text = edit->text();
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

void QtDialog::SetItemText(int id, const std::wstring& text) {
    QWidget* widget = Control(id);
    const QString value = FromWide(text);
    if (auto* log = qobject_cast<BatchedLogView*>(widget)) {
        log->SetText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    }
}

void QtDialog::ReplaceSelection(int id, const std::wstring& text) {
    QWidget* widget = Control(id);
    if (auto* log = qobject_cast<BatchedLogView*>(widget)) {
        log->ReplaceSelection(FromWide(text));
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->insert(FromWide(text));
    }
}

bool QtDialog::IsChecked(int id) {
    auto* box = qobject_cast<QCheckBox*>(Control(id));
    return box && box->isChecked();
}

void QtDialog::SetChecked(int id, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(Control(id))) box->setChecked(checked);
}

void QtDialog::SelectorReset(int id) {
    if (auto* combo = qobject_cast<QComboBox*>(Control(id))) combo->clear();
}

void QtDialog::SelectorAdd(int id, const std::wstring& label) {
    if (auto* combo = qobject_cast<QComboBox*>(Control(id))) combo->addItem(FromWide(label));
}

void QtDialog::SelectorSelect(int id, int index) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (!combo) return;
    // An index outside the list clears the selection.
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int QtDialog::SelectorCurrent(int id) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    return combo ? combo->currentIndex() : -1;
}

ScrollInfo QtDialog::GetScrollInfo(int id) {
    ScrollInfo info = scrollInfo_[id];
    info.pos = GetScrollPos(id);
    return info;
}

void QtDialog::SetScrollInfo(int id, const ScrollInfo& info) {
    auto* bar = qobject_cast<QScrollBar*>(Control(id));
    if (!bar) return;
    scrollInfo_[id] = info;
    // With a page of n the last reachable position is max - (n - 1).
    const int lastPosition = qMax(info.min, info.max - qMax(info.page - 1, 0));
    bar->setRange(info.min, lastPosition);
    bar->setPageStep(qMax(info.page, 1));
    bar->setValue(info.pos);
}

void QtDialog::SetScrollPos(int id, int pos) {
    // QScrollBar clamps to its range, as the platform's bar does.
    if (auto* bar = qobject_cast<QScrollBar*>(Control(id))) bar->setValue(pos);
}

int QtDialog::GetScrollPos(int id) {
    auto* bar = qobject_cast<QScrollBar*>(Control(id));
    return bar ? bar->value() : 0;
}

void QtDialog::ShowWarning(const std::wstring& text, const std::wstring& caption) {
    // The box's own loop paints the window behind it: show the log as it is.
    for (const auto& [id, widget] : controls_)
        if (auto* log = qobject_cast<BatchedLogView*>(widget)) log->Flush();
    QMessageBox box(QMessageBox::Warning, FromWide(caption), FromWide(text), QMessageBox::Ok, &window_);
    box.exec();
}

void QtDialog::EndDialog(int result) { window_.done(result); }

bool QtDialog::IsControlKeyDown() {
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

}  // namespace zelkor::qt
