// The wire vocabulary of the programmer board: command letters per family,
// reply bytes and time-outs. Everything that talks to the board (and the
// simulated board that answers it) takes its constants from here.
#pragma once

#include <cstdint>
#include <string>

namespace vx::protocol {

// Ends every reply: the transfer succeeded only when this byte sits at the
// position the command's reply layout names.
constexpr std::uint8_t kEndCode = 0x40;
// First byte of the board's refusal of an EEPROM cell ("*", data, pad).
constexpr std::uint8_t kEepromErrorReply = '*';

constexpr char kIdentify = '?';
// Sent three times before "?" by the quick check: whatever the board was
// waiting for, it is ready for "?" afterwards.
constexpr char kReset = '*';

// "TAVPIC-PGMV" + 4-character version; the board adds two more bytes.
constexpr const char* kBoardSignature = "TAVPIC";
constexpr int kFirmwareIdChars = 15;
constexpr int kIdentifyReplyBytes = 17;
constexpr int kFirmwareVersionOffset = 11;  // "TAVPIC-PGMV" is 11 characters

// Pause after every command letter and count byte: the board's firmware
// polls its UART and loses bytes that come back to back.
constexpr int kCommandPauseMs = 1;
// DetectBoard wakes the board with a first "?" and throws its answer away.
constexpr int kDetectSettleMs = 200;

// An identification reply is 17 bytes (about 18 ms at 9600 baud).
constexpr int kIdentifyTimeoutMs = 1000;
// One acknowledgement byte or a short reply (erase, per-word handshake,
// configuration area of 17 bytes).
constexpr int kReplyTimeoutMs = 1000;
// A whole EEPROM transfer of up to 256 cells: 513 bytes take about 0.5 s at
// 9600 baud, the board reads slowly.
constexpr int kEepromTimeoutMs = 30000;
// Waits that have no time-out of their own give up when no new byte came
// for this long, so an 8K-word read (about 17 s at 9600 baud) still completes.
constexpr int kIdleTimeoutMs = 1000;

// Blank words of the two cores.
constexpr int kBlank12 = 0x0FFF;
constexpr int kBlank14 = 0x3FFF;

// Board operations, each with its letter sequence per family.
enum class BoardOp {
    Identify,
    EraseProgram,
    BlankCheckProgram,
    BlankCheckEeprom,
    BlankCheckConfig,
    ReadConfig,
    ReadEeprom,
    ReadProgram,
    ReadConfigArea,  // the eight configuration-area words, before merging
    WriteProgram,
    WriteConfig,
    WriteEeprom,
    VerifyProgram,
    VerifyEeprom,
    VerifyConfig,
};

// The letters the operation sends for the family ("5X18" ... "FLASH"; "EPROM2"
// and "FLASH2" count as "EPROM" and "FLASH"). Empty: the operation sends
// nothing for this family, or the family is unknown.
std::string CommandLetters(BoardOp op, const std::string& family);

}  // namespace vx::protocol
