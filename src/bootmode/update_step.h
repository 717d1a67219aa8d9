// The twelve numbered steps of an update run, as its log numbers them ("[01]" to "[12]").
#pragma once

enum class Step {
    None = 0,                // before the first step
    ConnectTest = 1,         // the port opened and closed at the reset rate
    BootMode,                // the same again: the board resets into its boot program
    Approval,                // bit-rate matching and the handshake
    SupportModeCheck,        // the device inquiry and the choice of the device
    ProgrammingModeInquiry,  // programming mode inquiry
    DeviceSelection,         // device selection (and, for velmora-cli, the user MAT inquiry)
    ClockModeSet,            // clock mode selection
    ChangingBitRate,         // the new bit rate's selection, then the port reopened at it
    ConfirmBitRate,          // the confirmation at the new rate
    ProgrammingMode,         // the programming/erasing state: the MCU erases its user MAT
    Programming,             // the blocks and the end of programming (and, verifying, the check)
    Rebooting                // the port opened and closed at the reset rate once more
};

// The number in the step's brackets.
constexpr int StepNumber(Step step) {
    return static_cast<int>(step);
}
