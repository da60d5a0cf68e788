#include "receiver_settings.h"

namespace zelkor {

const SelectorItem kRfFilterItems[] = {
    {L"150kHz-4MHz", 0},   {L"4MHz-8MHz", 1},     {L"8MHz-16MHz", 2},
    {L"16MHz-32MHz", 3},   {L"32MHz-75MHz", 4},   {L"75MHz-125MHz", 5},
    {L"125MHz-250MHz", 6}, {L"144MHz-146MHz", 7}, {L"420MHz-875MHz", 8},
    {L"430MHz-440MHz", 9}, {L"875MHz-1900MHz", 10}, {nullptr, 0},
};

const SelectorItem kIfFilterItems[] = {
    {L"200kHz", 0}, {L"300kHz", 1}, {L"600kHz", 2}, {L"1536kHz", 3},
    {L"5MHz", 4},   {L"6MHz", 5},   {L"7MHz", 6},   {L"8MHz", 7},
    {nullptr, 0},
};

const wchar_t* LabelForCode(const SelectorItem* items, std::uint8_t code) {
    for (; items->label; ++items)
        if (items->code == code) return items->label;
    return nullptr;
}

}  // namespace zelkor
