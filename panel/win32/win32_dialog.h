// The dialog seam over the Windows dialog manager: control operations on
// the open panel's window, by control ID.
#pragma once

#include <windows.h>

#include "dialog.h"

namespace zelkor {

class Win32Dialog final : public Dialog {
public:
    void Attach(HWND window) { window_ = window; }
    HWND Window() const { return window_; }

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
    HWND window_ = nullptr;
};

}  // namespace zelkor
