// Board operations: each sends one operation's bytes through s.link, takes
// the reply apart and returns what happened. None of them speaks: Tell
// (ops/opreport.h) turns a report into the notes, progress and boxes the user
// reads. They leave what they learn about the chip in s.ops and, for reads,
// in s.buffer.
#pragma once

#include <optional>
#include <vector>

#include "ops/wire.h"
#include "session/opsstate.h"
#include "session/session.h"

namespace vx {

enum class Operation {
    EraseProgram,
    BlankCheckProgram,
    BlankCheckEeprom,
    BlankCheckConfig,
    ReadProgram,
    ReadEeprom,
    ReadConfig,
    ReadCalibration,
    ReadBandGap,
    ReadDeviceId,
    WriteProgram,
    MergeConfigArea,
    WriteConfig,
    WriteEeprom,
    VerifyProgram,
    VerifyEeprom,
    VerifyConfig,
    VerifyConfigAfterWrite,
};

// Why an operation did not do what it was asked.
enum class Reason {
    None,
    NoCommand,     // the family has no such command; nothing was sent
    NoWords,       // the device has no program words to read
    ShortReply,    // the reply did not come whole in time
    NoEndCode,     // the reply lacked its end code
    PortClosed,    // the port closed under the command
    Refused,       // the board refused a word of a handshake (abort, "*")
    Silent,        // no answer in a handshake before the last word
    NoLastAnswer,  // no answer after the last word of a handshake
    ReadBack,      // the chip answered a configuration write with another word
    Differs,       // the chip holds something else than the image
};

// A word a verify found different, at an address of the memory compared.
struct Difference {
    int address;
    int expected;
    int found;
};

struct OpReport {
    Operation operation;
    Result result = Result::Ok;
    Reason reason = Reason::None;
    // The board fell silent, the port closed or a reply lacked its end code:
    // the link failed, not the chip.
    bool linkFault = false;
    // Cp when the configuration word read shows code protection.
    Result protect = Result::None;
    // What a read found for its box: the chip's calibration word (flash
    // parts, when it is one), its band-gap bits, the device ID.
    std::optional<int> value{};
    // The handshake answer that stopped a write.
    int stoppedAt = 0;
    // A configuration or EEPROM word a write sent, and the chip's answer to
    // it (-1: none came).
    int sent = -1;
    int answered = -1;
    // A verify's differing words in address order, all of them. The memory
    // view lists the first `listed`; `more` when its list stops there.
    std::vector<Difference> differences{};
    std::size_t listed = 0;
    bool more = false;
};

// Flash bulk erase; None (and nothing sent) for EPROM parts.
OpReport EraseProgramMemory(Session& s);
// Ok blank, Ng not blank, Er no end code. Captures the chip calibration word.
OpReport BlankCheckProgramMemory(Session& s);
// None for parts without EEPROM.
OpReport BlankCheckEeprom(Session& s);
// Returns the blank result; protect becomes None or Cp once a reply with an
// end code arrives and is left alone otherwise.
OpReport BlankCheckConfig(Session& s, Result& protect);

OpReport ReadProgramMemory(Session& s, Progress& progress);
// nullopt when the device has no EEPROM bytes at all (nothing is done).
std::optional<OpReport> ReadEeprom(Session& s, Progress& progress);
OpReport ReadConfig(Session& s);
// The chip's own calibration word (the last program word) into
// s.ops.chipCalib, for the families that carry one (None otherwise). For
// flash parts also the calibration text, before the bulk erase clears the
// word.
OpReport ReadCalibration(Session& s, Progress& progress);
// The factory band-gap bits, for the family that has them (None otherwise).
OpReport ReadBandGap(Session& s);
// The device ID in configuration word 6 (14-bit parts), as the report's value.
OpReport ReadDeviceId(Session& s);

OpReport WriteProgramMemory(Session& s, Progress& progress);
// Builds s.ops.configImage from the buffer and the chip's words 4..6.
OpReport MergeConfigArea(Session& s);
OpReport WriteConfig(Session& s);
std::optional<OpReport> WriteEeprom(Session& s, Progress& progress);

// calibrationApart: the chip's calibration word (the last program word of
// a calibrated device) is read but left out of the comparison, for Verify of
// a file against a chip that keeps its own; s.ops.verifyCalibration holds it.
OpReport VerifyProgramMemory(Session& s, Progress& progress, bool calibrationApart = false);
std::optional<OpReport> VerifyEeprom(Session& s, Progress& progress);
OpReport VerifyConfig(Session& s, Result& protect);
OpReport VerifyConfigAfterWrite(Session& s, Result& protect);

}  // namespace vx
