#include "tuning.h"

#include <climits>

#include "events.h"
#include "receiver_settings.h"
#include "resource.h"
#include "settings.h"
#include "transactions.h"

namespace zelkor {

int ParseFrequencyEntry(const std::wstring& text) {
    std::size_t i = 0;
    // The white space the C library's wide conversion skips in the "C" locale.
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (!saturated) {
            value = value * 10 + (text[i] - L'0');
            if (value > static_cast<long long>(INT_MAX) + 1) saturated = true;
        }
    }
    if (negative) return saturated || -value < INT_MIN ? INT_MIN : static_cast<int>(-value);
    return saturated || value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

namespace {

// The entry has no length limit, and text cut short can read as another
// number (blanks or zeros in front), so the buffer grows until all fits.
std::wstring WholeEntryText(Dialog& panel) {
    for (std::size_t chars = 64;; chars *= 2) {
        std::wstring text = panel.GetItemText(IDC_FREQUENCY, chars);
        if (text.size() + 1 < chars) return text;
    }
}

}  // namespace

void SetFrequencyFromEntry(Dialog& panel) {
    const int kilohertz = ParseFrequencyEntry(WholeEntryText(panel));
    if (kilohertz >= static_cast<int>(MIN_FREQUENCY_KHZ) && kilohertz <= static_cast<int>(MAX_FREQUENCY_KHZ))
        TuneFrequency(kilohertz);
    else
        panel.ShowWarning(L"Target frequency must be between 100 and 2500000", L"Error");
}

void TuneFrequency(int kilohertz) {
    SetFrequencyTransaction(static_cast<std::uint32_t>(kilohertz), [] {
        if (g_hDlg) RefreshPanel(*g_hDlg);
    });
}

}  // namespace zelkor
