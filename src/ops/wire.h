// The board's wire vocabulary as the operations use it.
#pragma once

#include <cstdint>
#include <string>

namespace vx::wire {

// Every reply that carries data ends with '@'.
constexpr std::uint8_t kEndCode = 0x40;
// The board's answer to an EEPROM cell it could not program.
constexpr std::uint8_t kEepromError = '*';

// Per acknowledgement and for the short configuration-area replies.
constexpr int kReplyTimeoutMs = 1000;
// A whole EEPROM transfer (256 cells at 9600 baud take about 0.6 s).
constexpr int kEepromTimeoutMs = 30000;
// Waits without a fixed limit end when no new byte came for this long.
constexpr int kIdleTimeoutMs = 1000;

enum class Command {
    EraseProgram,
    BlankProgram,
    BlankEeprom,
    BlankConfig,
    ReadConfig,
    ReadEeprom,
    ReadProgram,
    ReadConfigArea,  // the merge before writing the configuration
    WriteProgram,
    WriteConfig,
    WriteEeprom,
    VerifyProgram,
    VerifyEeprom,
    VerifyConfig,
};

// The letters that start a command for a family; "" when the family has none.
std::string Letters(Command command, const std::string& family);

}  // namespace vx::wire
