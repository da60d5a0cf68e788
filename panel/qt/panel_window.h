// The control panel as a Qt dialog: the template's controls laid out in
// dialog units, the dialog seam over them, and Qt's signals, keys and device
// notices turned into calls of the panel's dialog procedure. No behaviour of
// its own beyond what the platform's controls do.
#pragma once

#include <QDialog>
#include <map>

#include "dialog.h"
#include "dialog_units.h"

class QPlainTextEdit;

namespace zelkor::qt {

class PanelWindow final : public QDialog, public zelkor::Dialog {
    Q_OBJECT
public:
    explicit PanelWindow(QWidget* parent = nullptr);
    ~PanelWindow() override;

    // The initialisation message: fills the selectors and refreshes the
    // panel from the receiver. Call once, before the window is shown.
    void Initialize();
    // A control by its ID; nullptr for an unknown ID.
    QWidget* Control(int id) const;
    const BaseUnits& Units() const { return units_; }

    // Dialog seam.
    std::wstring GetItemText(int id, std::size_t maxChars) override;
    void SetItemText(int id, const std::wstring& text) override;
    void ReplaceSelection(int id, const std::wstring& text) override;
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    void SelectorReset(int id) override;
    void SelectorAdd(int id, const std::wstring& label) override;
    void SelectorSelect(int id, int index) override;
    int SelectorCurrent(int id) override;
    ScrollInfo GetScrollInfo(int id) override;
    void SetScrollInfo(int id, const ScrollInfo& info) override;
    void SetScrollPos(int id, int pos) override;
    int GetScrollPos(int id) override;
    void ShowWarning(const std::wstring& text, const std::wstring& caption) override;
    void EndDialog(int result) override;
    bool IsControlKeyDown() override;

public slots:
    // A system device-change notice. One that arrives while the panel is
    // inside a handler (a message box's loop) waits until that handler is done.
    void NotifyDeviceChange();
    // Escape and the close box: the cancel command.
    void reject() override;

private:
    void BuildControls();
    // Runs one handler of the dialog procedure, then the notices held back
    // while it ran, one refresh each.
    template <typename Handler>
    void Dispatch(Handler&& handler);

    // The log's text and caret are kept here while a handler runs and shown
    // when it returns: a refresh's 35 log edits then lay the view out once.
    void BeginLogEdit();
    void FlushLog();

    BaseUnits units_;
    std::map<int, QWidget*> controls_;
    std::map<int, ScrollInfo> scrollInfo_;
    QPlainTextEdit* log_ = nullptr;
    bool logPending_ = false;
    QString logText_;
    int logSelectionStart_ = 0;
    int logSelectionEnd_ = 0;
    bool initialized_ = false;
    bool ended_ = false;
    int depth_ = 0;
    int heldNotices_ = 0;
};

}  // namespace zelkor::qt
