// The PC-side image of the chip. Words are two bytes, high byte first.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vx {

constexpr int kProgramBytes = 16385;
constexpr int kConfigAreaBytes = 21;
constexpr int kEepromBytes = 513;

struct PcBuffer {
    std::array<std::uint8_t, kProgramBytes> program{};
    std::array<std::uint8_t, kConfigAreaBytes> configArea{};
    std::array<std::uint8_t, kEepromBytes> eeprom{};
    int configWord = 0;
    std::string idText = "FFFF";
    std::string calibText;
    bool codeProtectSuspected = false;
    // What a Read got from a chip, no file's: said when the image is in the way.
    bool readFromChip = false;
    // UsedProgramLength's result, for programming.
    int usedLength = 0;
    int usedLengthHigh = 0, usedLengthLow = 0;
};

}  // namespace vx
