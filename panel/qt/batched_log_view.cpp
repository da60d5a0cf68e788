#include "batched_log_view.h"

#include <utility>

namespace zelkor::qt {

namespace {

QString ToPlatformLines(QString text) { return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")); }
QString FromPlatformLines(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

}  // namespace

BatchedLogView::BatchedLogView(QWidget* parent, std::function<bool()> holdEdits)
    : QPlainTextEdit(parent), holdEdits_(std::move(holdEdits)) {
    setReadOnly(true);
    // Insertions into the log cannot be undone.
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

QString BatchedLogView::Text() const { return ToPlatformLines(pending_ ? text_ : toPlainText()); }

void BatchedLogView::SetText(const QString& text) {
    BeginEdit();
    text_ = FromPlatformLines(text);
    selectionStart_ = selectionEnd_ = 0;
    EndEdit();
}

void BatchedLogView::ReplaceSelection(const QString& text) {
    BeginEdit();
    const QString inserted = FromPlatformLines(text);
    text_.replace(selectionStart_, selectionEnd_ - selectionStart_, inserted);
    selectionStart_ = selectionEnd_ = selectionStart_ + int(inserted.size());
    EndEdit();
}

void BatchedLogView::BeginEdit() {
    if (pending_) return;
    text_ = toPlainText();
    const QTextCursor cursor = textCursor();
    selectionStart_ = cursor.selectionStart();
    selectionEnd_ = cursor.selectionEnd();
    pending_ = true;
}

void BatchedLogView::EndEdit() {
    if (!holdEdits_ || !holdEdits_()) Flush();
}

void BatchedLogView::Flush() {
    if (!pending_) return;
    pending_ = false;
    // A refresh usually ends with the lines it started with: keep the layout.
    if (toPlainText() != text_) setPlainText(text_);
    QTextCursor cursor(document());
    cursor.setPosition(selectionStart_);
    setTextCursor(cursor);
    ensureCursorVisible();
}

}  // namespace zelkor::qt
