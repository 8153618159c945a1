// How a device workflow ended: what the window, the CLI's exit status and a
// serialization station act on.
#pragma once

namespace vx {

enum class Outcome {
    Passed,      // verdict good: programmed and verified, read, verified, blank, erased
    Failed,      // verdict bad: differences, not blank, refused by the chip
    Cancelled,   // the overwrite question was answered "キャンセル"
    LinkFailed,  // the board fell silent or a reply lacked its end code
    NoDevice,    // no device selected
    NoBoard,     // the board check found no board
    Busy,        // another board command is running
    WrongChip,   // the chip's device ID is not the selected device's, or no chip answered
    NoChipValue, // Program found no good calibration word or band-gap bits and got none
    Refused,     // the write cannot be done as asked (kept EEPROM on a protected chip)
};

}  // namespace vx
