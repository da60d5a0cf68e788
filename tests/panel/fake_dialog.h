// A dialog held in plain maps, behaving like the platform's controls where
// the panel relies on it (caret-append log, clamped scroll position).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dialog.h"

namespace zelkor::testing {

class FakeDialog final : public Dialog {
public:
    std::wstring GetItemText(int id, std::size_t maxChars) override {
        const std::wstring& text = texts[id];
        return maxChars == 0 ? std::wstring() : text.substr(0, maxChars - 1);
    }
    void SetItemText(int id, const std::wstring& text) override { texts[id] = text; }
    void ReplaceSelection(int id, const std::wstring& text) override { texts[id] += text; }
    bool IsChecked(int id) override { return checks[id]; }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    void SelectorReset(int id) override {
        selectorItems[id].clear();
        selection[id] = -1;
    }
    void SelectorAdd(int id, const std::wstring& label) override { selectorItems[id].push_back(label); }
    void SelectorSelect(int id, int index) override {
        selection[id] = index >= 0 && index < int(selectorItems[id].size()) ? index : -1;
    }
    int SelectorCurrent(int id) override { return selection.count(id) ? selection[id] : -1; }
    ScrollInfo GetScrollInfo(int id) override { return scroll[id]; }
    void SetScrollInfo(int id, const ScrollInfo& info) override {
        scroll[id] = info;
        SetScrollPos(id, info.pos);
    }
    void SetScrollPos(int id, int pos) override {
        ScrollInfo& info = scroll[id];
        const int top = info.max - (info.page > 1 ? info.page - 1 : 0);
        info.pos = pos > top ? top : pos < info.min ? info.min : pos;
    }
    int GetScrollPos(int id) override { return scroll[id].pos; }
    void ShowWarning(const std::wstring& text, const std::wstring& caption) override {
        warnings.push_back(caption + L": " + text);
        if (whileWarning) whileWarning();
    }
    void EndDialog(int result) override { ended = result; }
    bool IsControlKeyDown() override { return controlDown; }

    std::map<int, std::wstring> texts;
    std::map<int, bool> checks;
    std::map<int, std::vector<std::wstring>> selectorItems;
    std::map<int, int> selection;
    std::map<int, ScrollInfo> scroll;
    std::vector<std::wstring> warnings;
    // Runs while the message box is open, as its loop would.
    std::function<void()> whileWarning;
    int ended = 0;
    bool controlDown = false;
};

}  // namespace zelkor::testing
