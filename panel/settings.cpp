#include "settings.h"

#include <string>

#include "report.h"
#include "resource.h"
#include "transactions.h"

namespace zelkor {

const SelectorDef g_aSelectorDefs[] = {
    {CMD_SET_RF_FILTER, CMD_GET_RF_FILTER, 0, IDC_RF_FILTER, kRfFilterItems},
    {CMD_SET_IF_FILTER, CMD_GET_IF_FILTER, 0, IDC_IF_FILTER, kIfFilterItems},
    {0, 0, 0, -1, nullptr},
};

namespace {

struct Switch {
    int controlId;
    std::uint8_t readCode;
    std::uint8_t writeCode;
};

const Switch kSwitches[] = {
    {IDC_BIAS_T, CMD_GET_BIAS_T, CMD_SET_BIAS_T},
    {IDC_LNA_ENABLE, CMD_GET_LNA_ENABLE, CMD_SET_LNA_ENABLE},
    {IDC_MIXER_GAIN, CMD_GET_MIXER_GAIN, CMD_SET_MIXER_GAIN},
};

void WriteByte(std::uint8_t code, std::uint8_t value) { WriteSetting(code, &value, 1); }

void WriteIfGain(int position) {
    const std::uint8_t bytes[2] = {std::uint8_t(position & 0xFF), std::uint8_t((position >> 8) & 0xFF)};
    WriteSetting(CMD_SET_IF_GAIN, bytes, 2);
}

}  // namespace

void FillSelectors(Dialog& panel) {
    for (const SelectorDef* def = g_aSelectorDefs; def->items; ++def) {
        panel.SelectorReset(def->controlId);
        for (const SelectorItem* item = def->items; item->label; ++item)
            panel.SelectorAdd(def->controlId, item->label);
        panel.SelectorSelect(def->controlId, def->defaultIndex);
    }
}

void RefreshPanel(Dialog& panel) {
    for (const SelectorDef* def = g_aSelectorDefs; def->items; ++def) {
        std::uint8_t value = 0;
        ReadSetting(def->readCode, &value, 1);
        int position = -1;
        for (int i = 0; def->items[i].label; ++i) {
            if (def->items[i].code == value) {
                position = i;
                break;
            }
        }
        panel.SelectorSelect(def->controlId, position);
    }
    for (const Switch& sw : kSwitches) {
        std::uint8_t value = 0;
        ReadSetting(sw.readCode, &value, 1);
        panel.SetChecked(sw.controlId, value != 0);
    }
    std::uint8_t gain = 0;
    ReadSetting(CMD_GET_IF_GAIN, &gain, 1);
    panel.SetScrollPos(IDC_IF_GAIN_SPIN, gain);
    panel.SetItemText(IDC_IF_GAIN_VALUE, std::to_wstring(panel.GetScrollPos(IDC_IF_GAIN_SPIN)));

    std::uint8_t bytes[4] = {};
    ReadSetting(CMD_GET_FREQ, bytes, 4);
    const std::uint32_t frequency = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                                    std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
    panel.SetItemText(IDC_CURRENT_FREQUENCY, std::to_wstring(frequency));
}

void ApplyPanel(Dialog& panel) {
    // In the IF filter list a position is its code.
    const int position = panel.SelectorCurrent(IDC_IF_FILTER);
    if (position != -1) WriteByte(CMD_SET_IF_FILTER, std::uint8_t(position));
    for (const Switch& sw : kSwitches) WriteByte(sw.writeCode, panel.IsChecked(sw.controlId) ? 1 : 0);
    WriteIfGain(panel.GetScrollPos(IDC_IF_GAIN_SPIN));
}

void ApplyAllSelectors(Dialog& panel) {
    for (const SelectorDef* def = g_aSelectorDefs; def->items; ++def) ApplyPanel(panel);
}

void SetPanelDefaults(Dialog& panel) {
    panel.SelectorSelect(IDC_IF_FILTER, 0);
    panel.SetChecked(IDC_BIAS_T, false);
    panel.SetChecked(IDC_LNA_ENABLE, true);
    panel.SetChecked(IDC_MIXER_GAIN, true);
    panel.SetScrollPos(IDC_IF_GAIN_SPIN, 0);
}

void WriteSwitch(Dialog& panel, int controlId) {
    for (const Switch& sw : kSwitches)
        if (sw.controlId == controlId) WriteByte(sw.writeCode, panel.IsChecked(controlId) ? 1 : 0);
}

void WriteIfGainFromSpinner(Dialog& panel) { WriteIfGain(panel.GetScrollPos(IDC_IF_GAIN_SPIN)); }

}  // namespace zelkor
