// The status log's edit control. Its edits can be held back: the text and
// caret are then kept here and shown at Flush, so a refresh's 35 log edits
// lay the view out once. Seen from the dialog seam it behaves as the
// platform's multi-line edit: lines end in "\r\n", new text puts the caret
// at the start, and insertions go in at the caret.
#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace zelkor::qt {

class BatchedLogView final : public QPlainTextEdit {
    Q_OBJECT
public:
    // `holdEdits` says whether an edit may wait for the next Flush.
    BatchedLogView(QWidget* parent, std::function<bool()> holdEdits);

    QString Text() const;
    void SetText(const QString& text);
    void ReplaceSelection(const QString& text);
    // Shows the held edits, if any.
    void Flush();

private:
    void BeginEdit();
    void EndEdit();

    std::function<bool()> holdEdits_;
    bool pending_ = false;
    QString text_;
    int selectionStart_ = 0;
    int selectionEnd_ = 0;
};

}  // namespace zelkor::qt
