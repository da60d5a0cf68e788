// Control and resource IDs shared by both front ends and the panel logic.
// Plain defines: the resource compiler reads this file too.
#pragma once

#define IDD_CONTROL_PANEL 101
#define IDB_SIGNAL_CHAIN 107

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDC_FREQUENCY 1000
#define IDC_SET_FREQUENCY 1001
#define IDC_LOG 1002
#define IDC_EXIT 1003
#define IDC_KHZ_LABEL 1006
#define IDC_DIAGRAM 1008
#define IDC_SET_DEFAULTS 1009
#define IDC_BOOTLOADER 1010
#define IDC_IF_FILTER 1020
#define IDC_RF_FILTER 1025
#define IDC_BIAS_T 1040
#define IDC_LNA_ENABLE 1041
#define IDC_MIXER_GAIN 1042
#define IDC_CURRENT_FREQUENCY 1043
#define IDC_IF_GAIN_VALUE 1049
#define IDC_IF_GAIN_SPIN 1050
