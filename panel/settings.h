// The seven receiver settings the panel mirrors, and the operations that
// move them between the receiver and the controls.
#pragma once

#include <cstdint>

#include "dialog.h"
#include "receiver_settings.h"

namespace zelkor {

struct SelectorDef {
    std::uint8_t writeCode;
    std::uint8_t readCode;
    int defaultIndex;
    int controlId;
    const SelectorItem* items;  // nullptr ends the table
};

extern const SelectorDef g_aSelectorDefs[];

void FillSelectors(Dialog& panel);
// Seven read transactions: RF filter, IF filter, bias T, LNA, mixer gain,
// IF gain, frequency.
void RefreshPanel(Dialog& panel);
void ApplyPanel(Dialog& panel);
void ApplyAllSelectors(Dialog& panel);
void SetPanelDefaults(Dialog& panel);

}  // namespace zelkor

namespace zelkor {

// Writes a switch's check state to the receiver (no refresh follows).
void WriteSwitch(Dialog& panel, int controlId);
// Writes the spinner's position as the IF gain.
void WriteIfGainFromSpinner(Dialog& panel);

}  // namespace zelkor
