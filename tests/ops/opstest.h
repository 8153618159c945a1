// Shared set-up of the board operation and workflow tests.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"
#include "support/simrig.h"

namespace vx::test {

struct FamilyCase {
    std::string family;
    int words;
    int eeprom;
};

// One device of each family, with the sizes of a real part.
inline const std::vector<FamilyCase>& AllFamilies() {
    static const std::vector<FamilyCase> cases{
        {"5X18", 512, 0},  {"5X28", 2048, 0},    {"12C5", 512, 0},  {"12C6", 1024, 0},
        {"12F6", 1024, 128}, {"EPROM", 2048, 0}, {"FLASH", 1024, 64},
    };
    return cases;
}

// Letters followed by a two-byte count, as the wire carries them.
inline std::string Header(const std::string& letters, int count) {
    std::string bytes = letters;
    bytes += static_cast<char>(count / 256);
    bytes += static_cast<char>(count % 256);
    return bytes;
}

inline std::string WordBytes(int word) {
    return std::string{static_cast<char>((word >> 8) & 0xFF), static_cast<char>(word & 0xFF)};
}

inline int BufferWord(const Session& s, int address) {
    return s.buffer.program[2 * address] * 256 + s.buffer.program[2 * address + 1];
}
inline void SetBufferWord(Session& s, int address, int word) {
    s.buffer.program[2 * address] = static_cast<std::uint8_t>(word >> 8);
    s.buffer.program[2 * address + 1] = static_cast<std::uint8_t>(word & 0xFF);
}
inline void SetConfigAreaWord(Session& s, int index, int word) {
    s.buffer.configArea[2 * index] = static_cast<std::uint8_t>(word >> 8);
    s.buffer.configArea[2 * index + 1] = static_cast<std::uint8_t>(word & 0xFF);
}
inline int ConfigAreaWord(const Session& s, int index) {
    return s.buffer.configArea[2 * index] * 256 + s.buffer.configArea[2 * index + 1];
}

// The buffer as a cleared one of the device's family.
inline void BlankBuffer(Session& s) {
    const bool twelve = Traits(s.device.family).twelveBit();
    const int blank = twelve ? 0x0FFF : 0x3FFF;
    for (int w = 0; w < s.device.programWords; ++w)
        SetBufferWord(s, w, blank);
    for (int i = 0; i < 8; ++i)
        SetConfigAreaWord(s, i, blank);
    for (int n = 0; n < s.device.eepromBytes; ++n) {
        s.buffer.eeprom[2 * n] = 0x3F;
        s.buffer.eeprom[2 * n + 1] = 0xFF;
    }
    s.buffer.configWord = blank;
    s.buffer.usedLength = s.device.programWords;
}

// Code, IDs, a configuration word and EEPROM data that a chip can hold.
inline void FillBuffer(Session& s) {
    BlankBuffer(s);
    const bool twelve = Traits(s.device.family).twelveBit();
    const int mask = twelve ? 0x0FFF : 0x3FFF;
    for (int w = 0; w < s.device.programWords / 2; ++w)
        SetBufferWord(s, w, (w * 37 + 5) & mask);
    for (int i = 0; i < 4; ++i)
        SetConfigAreaWord(s, i, twelve ? i + 1 : 0x3FF0 | (i + 1));
    SetConfigAreaWord(s, 7, twelve ? 0x0FFA : 0x3FF9);
    s.buffer.configWord = ConfigAreaWord(s, 7);
    for (int n = 0; n < s.device.eepromBytes; ++n)
        s.buffer.eeprom[2 * n + 1] = static_cast<std::uint8_t>(n * 3 + 1);
}

// The calibration text a device entry of a calibrated family names.
inline std::string CalibrationText(const std::string& family) {
    if (family == "12C5")
        return "movlw 0x70";
    if (family == "12C6" || family == "12F6")
        return "retlw 0x70";
    return "";
}

}  // namespace vx::test
