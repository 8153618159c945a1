// A simulated PIC in the board's socket.
//
// Memory as the chip's own programming mode steps through it:
//  - 12-bit families start at the configuration word:
//    program area word 0 is the configuration word, words 1..P the program
//    words, P+1..P+4 the ID words. Their configuration area is the
//    configuration word, then the four ID words.
//  - 14-bit families (and unknown ones) start at program word 0; their
//    configuration area is eight words: ID 0..3, three read-only
//    words (4, 5 and the device id in 6), the configuration word in 7.
// Words past the end read blank and ignore writes.
//
// EPROM families only clear bits (old AND new); flash families replace
// words. The bulk erase of flash parts erases program memory, ID words and
// the configuration word, which takes the factory calibration word and the
// band-gap bits with it. While code protected, program words read 0x0000
// and refuse writes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/family.h"

namespace vx {

struct DeviceInfo;

class SimChip {
public:
    // calibration: the factory calibration word in the last program word;
    // nullopt gives the family's usual one (its calibration instruction with
    // 0x80, none for a family without), -1 none. codeProtectMask -1: the
    // family's usual mask. Everything else starts blank; a part with band-gap
    // bits has them at 10.
    SimChip(Family family, int programWords, int eepromBytes, std::optional<int> calibration = std::nullopt,
            int codeProtectMask = -1, int deviceId = 0x0FC4);
    // The family named by a code as device.ini, the board simulator's options
    // and the state file write it; an unknown code keeps its name.
    SimChip(std::string_view family, int programWords, int eepromBytes,
            std::optional<int> calibration = std::nullopt, int codeProtectMask = -1, int deviceId = 0x0FC4);
    // A chip of the device's family and sizes and its device ID, with a
    // calibration word when the device names a calibration instruction.
    static SimChip ForDevice(const DeviceInfo& device);

    bool twelveBit() const;
    bool flash() const;
    int blankWord() const;
    bool codeProtected() const;  // (configuration word AND mask) != mask

    // Programming-mode access; index as in the layouts above.
    int readProgramArea(int index) const;
    int readConfigArea(int index) const;
    std::uint8_t readEeprom(int cell) const;
    // True when the word reads back as written (verify of the board).
    bool writeProgramArea(int index, int value);
    bool writeConfigArea(int index, int value);
    void writeEeprom(int cell, std::uint8_t value);
    void bulkErase();

    int configWord() const { return config[7]; }
    // 14-bit parts: configuration word 6, read-only to the board.
    int deviceId() const { return config[6]; }
    void setDeviceId(int id) { config[6] = static_cast<std::uint16_t>(id & 0x3FFF); }
    void setConfigWord(int value) { config[7] = static_cast<std::uint16_t>(value); }

    // Chip state as text, to keep the chip between runs of a board.
    std::string save() const;
    static std::optional<SimChip> load(const std::string& text);

    Family family;
    std::string familyName;  // as texts and the state file show it
    int programWords;
    int eepromBytes;
    int codeProtectMask;
    std::vector<std::uint16_t> program;
    // 14-bit: the eight words of the configuration area. 12-bit: ID words in
    // 0..3, the configuration word in 7, 4..6 unused.
    std::array<std::uint16_t, 8> config{};
    std::vector<std::uint8_t> eeprom;
    // The bulk erase takes the EEPROM cells too, as a chip whose data memory
    // is protected erases them.
    bool eraseClearsEeprom = false;

private:
    bool writeCell(std::uint16_t& cell, int value);
    int wordMask() const { return twelveBit() ? 0x0FFF : 0x3FFF; }
};

}  // namespace vx
