// The plan of a write to a chip, built by every path that writes one (the
// window's Program, auto-write, the command line's program and watch, a
// serialization station) before anything is erased. Every rule about what
// may be written is checked here, once, as plain functions of the request
// and of what the chip survey found; the front ends only answer the
// questions the plan leaves open, and the workflow erases and writes only
// after that.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/runstate.h"

namespace vx {

// What was asked for, before the chip is looked at.
struct WriteRequest {
    WriteSource source = WriteSource::Window;
    bool erasable = true;           // a flash part; EPROM and one-time parts are never erased
    bool keepEeprom = false;        // "EEPROMデータを保持", on a part with EEPROM
    bool calibrationGiven = false;  // --calibration
    bool bandGapGiven = false;      // --band-gap
};

// What the chip survey found, before anything is erased.
struct ChipSurvey {
    bool programBlank = true;  // program memory (and on 12-bit parts the ID words)
    bool eepromBlank = true;
    bool configBlank = true;
    bool protectedChip = false;     // code- or data-protected: its EEPROM reads as zeros
    bool calibrationUsed = false;   // the chip's own calibration word is lost, a given one stands in
    bool bandGapUsed = false;       // the chip's own band-gap bits are lost, given ones stand in
};

enum class Answerer { Person, Option, Nobody };

enum class PlanQuestion {
    Overwrite,      // the chip holds code: write over it?
    EepromNotKept,  // a protected chip's EEPROM cannot be read, so not kept: write all the same?
};

struct Question {
    PlanQuestion what;
    Answerer who;
    // Settled by the plan itself; nullopt: the front end answers. Where
    // nobody looks and the chip cannot be erased, never "はい".
    std::optional<bool> answer;
};

struct WritePlan {
    bool keepEeprom = false;  // the chip's EEPROM cells stay (but for a serial number's)
    std::vector<Question> questions;
    std::vector<std::string> notes;  // said before the write, not asked
};

Answerer AnswererOf(WriteSource source);

WritePlan PlanWrite(const WriteRequest& request, const ChipSurvey& survey);

}  // namespace vx
