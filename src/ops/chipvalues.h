// What the factory put into the chip: its device ID, which says whether it
// is the selected device, and the calibration word and band-gap bits, which
// Program must give back after the bulk erase and Verify leaves to the chip.
#pragma once

#include <optional>
#include <string>

#include "link/family.h"
#include "ops/outcome.h"
#include "session/session.h"

namespace vx {

// The database's parts of a device ID (any revision), in file order and
// joined by " / "; "" when it names none.
std::string PartsWithId(const Session& s, int id);
// What a device ID read from the chip belongs to, as one line: a part of the
// database and its silicon revision, an unknown ID, or no chip answering.
std::string DeviceIdLine(const Session& s, int id);
// The ID names the selected device (any revision).
bool IsSelectedDevice(const Session& s, int id);

// On a device with an ID: reads it and shows what it names. Program and
// Erase ask when the chip is not the selected device (or none answered);
// Read, Verify and Blank check show it and go on. nullopt goes on.
enum class IdCheck { Ask, Show };
std::optional<Outcome> CheckChipIdentity(Session& s, IdCheck check);

// The chip's own calibration word, as read, is what Program writes back: a
// calibration instruction, or on a part that is never erased whatever it
// holds (an EPROM cell only loses bits, so anything else would spoil it).
bool ChipCalibrationKept(const Session& s, const FamilyTraits& family);

// Program, after the chip's values were read and before anything is erased:
// the calibration word and band-gap bits to write back (s.ops.writeCalibration,
// writeBandGap): the chip's own when good, else the session's, else the
// user's choice. nullopt goes on; an outcome stops with nothing erased.
std::optional<Outcome> SettleChipValues(Session& s);

// Verify's lines for what it left out of the comparison: the chip's own
// calibration word and band-gap bits, as last read; "" when there are none.
std::string ChipValueLines(const Session& s);

}  // namespace vx
