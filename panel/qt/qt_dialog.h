// The dialog seam over the Qt window: control operations on the panel's
// widgets, by control ID, with the platform controls' behaviour where the
// panel relies on it.
#pragma once

#include <map>

#include "dialog.h"

class QDialog;
class QWidget;

namespace zelkor::qt {

class QtDialog final : public Dialog {
public:
    // `controls` maps the template's IDs to its widgets; it may be filled
    // after construction.
    QtDialog(QDialog& window, const std::map<int, QWidget*>& controls);

    // A control by its ID; nullptr for an unknown ID.
    QWidget* Control(int id) const;

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

private:
    QDialog& window_;
    const std::map<int, QWidget*>& controls_;
    // What the panel last set: Qt's bar keeps no page-wide range.
    std::map<int, ScrollInfo> scrollInfo_;
};

}  // namespace zelkor::qt
