#include "win32_dialog.h"

#include <vector>

namespace zelkor {

std::wstring Win32Dialog::GetItemText(int id, std::size_t maxChars) {
    if (maxChars == 0) return {};
    std::vector<wchar_t> buffer(maxChars, L'\0');
    const UINT length = GetDlgItemTextW(window_, id, buffer.data(), static_cast<int>(maxChars));
    return std::wstring(buffer.data(), length);
}

void Win32Dialog::SetItemText(int id, const std::wstring& text) {
    SetDlgItemTextW(window_, id, text.c_str());
}

void Win32Dialog::ReplaceSelection(int id, const std::wstring& text) {
    SendDlgItemMessageW(window_, id, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Win32Dialog::IsChecked(int id) {
    return SendDlgItemMessageW(window_, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Dialog::SetChecked(int id, bool checked) {
    SendDlgItemMessageW(window_, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Dialog::SelectorReset(int id) { SendDlgItemMessageW(window_, id, CB_RESETCONTENT, 0, 0); }

void Win32Dialog::SelectorAdd(int id, const std::wstring& label) {
    SendDlgItemMessageW(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
}

void Win32Dialog::SelectorSelect(int id, int index) {
    SendDlgItemMessageW(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32Dialog::SelectorCurrent(int id) {
    const LRESULT index = SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

ScrollInfo Win32Dialog::GetScrollInfo(int id) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::GetScrollInfo(GetDlgItem(window_, id), SB_CTL, &si);
    return ScrollInfo{si.nMin, si.nMax, static_cast<int>(si.nPage), si.nPos};
}

void Win32Dialog::SetScrollInfo(int id, const ScrollInfo& info) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = info.min;
    si.nMax = info.max;
    si.nPage = static_cast<UINT>(info.page);
    si.nPos = info.pos;
    ::SetScrollInfo(GetDlgItem(window_, id), SB_CTL, &si, TRUE);
}

void Win32Dialog::SetScrollPos(int id, int pos) {
    ::SetScrollPos(GetDlgItem(window_, id), SB_CTL, pos, FALSE);
}

int Win32Dialog::GetScrollPos(int id) { return ::GetScrollPos(GetDlgItem(window_, id), SB_CTL); }

void Win32Dialog::ShowWarning(const std::wstring& text, const std::wstring& caption) {
    MessageBoxW(window_, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
}

void Win32Dialog::EndDialog(int result) { ::EndDialog(window_, result); }

bool Win32Dialog::IsControlKeyDown() { return (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0; }

}  // namespace zelkor
