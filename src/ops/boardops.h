// Board operations: each talks to the board through s.link, reports its own
// failures on the status note and returns its result. They leave what they
// learn about the chip in s.ops and, for reads, in s.buffer.
#pragma once

#include <optional>

#include "session/opsstate.h"
#include "session/session.h"

namespace vx {

// Flash bulk erase; None (and nothing sent) for EPROM parts.
Result EraseProgramMemory(Session& s);
// Ok blank, Ng not blank, Er no end code. Captures the chip calibration word.
Result BlankCheckProgramMemory(Session& s);
// None for parts without EEPROM.
Result BlankCheckEeprom(Session& s);
// Returns the blank result; protect becomes None or Cp once a reply with an
// end code arrives and is left alone otherwise.
Result BlankCheckConfig(Session& s, Result& protect);

Result ReadProgramMemory(Session& s);
// nullopt when the device has no EEPROM bytes at all (nothing is done).
std::optional<Result> ReadEeprom(Session& s);
Result ReadConfig(Session& s);
// The chip's own calibration word (the last program word) into
// s.ops.chipCalib, for the families that carry one (None otherwise). For
// flash parts also the calibration boxes and text, before the bulk erase
// clears the word.
Result ReadCalibration(Session& s);
// The factory band-gap bits, for the family that has them (None otherwise).
Result ReadBandGap(Session& s);

Result WriteProgramMemory(Session& s);
// Builds s.ops.configImage from the buffer and the chip's words 4..6.
Result MergeConfigArea(Session& s);
Result WriteConfig(Session& s);
std::optional<Result> WriteEeprom(Session& s);

// calibrationApart: the chip's calibration word (the last program word of
// a calibrated device) is read but left out of the comparison, for Verify of
// a file against a chip that keeps its own; s.ops.verifyCalibration holds it.
Result VerifyProgramMemory(Session& s, bool calibrationApart = false);
std::optional<Result> VerifyEeprom(Session& s);
Result VerifyConfig(Session& s, Result& protect);
Result VerifyConfigAfterWrite(Session& s, Result& protect);

// The device ID in configuration word 6 (14-bit parts); nullopt (after a
// note) when the configuration area cannot be read.
std::optional<int> ReadDeviceId(Session& s);

}  // namespace vx
