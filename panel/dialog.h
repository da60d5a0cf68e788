// The dialog seam: the few control operations the panel's behaviour needs,
// addressed by the control IDs of resource.h. Each front end implements it
// over its own toolkit.
#pragma once

#include <cstddef>
#include <string>

namespace zelkor {

struct ScrollInfo {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
};

class Dialog {
public:
    virtual ~Dialog() = default;

    // At most maxChars - 1 characters, as a fixed buffer of maxChars would take.
    virtual std::wstring GetItemText(int id, std::size_t maxChars) = 0;
    virtual void SetItemText(int id, const std::wstring& text) = 0;
    // Inserts at the edit control's caret (replacing any selection); after a
    // clear the caret follows each insertion.
    virtual void ReplaceSelection(int id, const std::wstring& text) = 0;

    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    virtual void SelectorReset(int id) = 0;
    virtual void SelectorAdd(int id, const std::wstring& label) = 0;
    virtual void SelectorSelect(int id, int index) = 0;  // -1: no selection
    virtual int SelectorCurrent(int id) = 0;             // -1: no selection

    virtual ScrollInfo GetScrollInfo(int id) = 0;
    virtual void SetScrollInfo(int id, const ScrollInfo& info) = 0;
    // Clamps to the range, as the platform's scroll bar does.
    virtual void SetScrollPos(int id, int pos) = 0;
    virtual int GetScrollPos(int id) = 0;

    // A modal message box with an OK button and the warning icon.
    virtual void ShowWarning(const std::wstring& text, const std::wstring& caption) = 0;
    virtual void EndDialog(int result) = 0;
    // Whether Ctrl is held right now.
    virtual bool IsControlKeyDown() = 0;
};

}  // namespace zelkor
