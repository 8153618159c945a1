// A TestRig whose port is the in-process simulated board.
//
//   SimRig rig("FLASH", 1024, 64);        // chip and selected device agree
//   Session& s = *rig.session;             // s.device: family, sizes, masks
//   rig.board().faults.abortAtWord = 3;
//   rig.chip().program[0] = 0x2805;
// The link starts on COM1 with the port closed and no board found.
#pragma once

#include <optional>
#include <string>

#include "sim/simport.h"
#include "support/fakes.h"

namespace vx::test {

struct SimRig : TestRig {
    SimRig(const std::string& family, int programWords, int eepromBytes,
           std::optional<int> calibration = std::nullopt, int codeProtectMask = -1);

    SimBoard& board() { return simPort->board; }
    SimChip& chip() { return simPort->board.chip; }
    // Bytes the PC sent so far, as text (letters stay readable).
    std::string sentText() const;

    std::unique_ptr<SimPort> simPort;
};

}  // namespace vx::test
