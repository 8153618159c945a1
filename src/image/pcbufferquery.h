// What the buffer holds, read without changing it or the window.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

std::string PcBufferChecksum(const Session& s);  // four upper-case hex digits

// The device's sizes cut to what the buffer holds, so a bad database entry
// can never make a loop run past the arrays.
int BufferProgramWords(const DeviceInfo& device);  // 0..8192
int BufferEepromBytes(const DeviceInfo& device);   // 0..256

// Blank program word of the family: 0x0FFF, 0x3FFF, or -1 for an unknown one.
int BlankProgramWord(Family family);

// Word at a word address, high byte first.
inline int ProgramWordAt(const PcBuffer& b, int address) {
    return b.program[2 * address] * 256 + b.program[2 * address + 1];
}

}  // namespace vx
