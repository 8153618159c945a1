// The wire vocabulary of the programmer board: its operations, reply bytes
// and time-outs (the letters of each operation differ by family: see
// link/family.h). Everything that talks to the board (and the simulated board
// that answers it) takes its constants from here.
#pragma once

#include <cstddef>
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

// One byte on the wire: start bit, 8 data bits, stop bit at 9600 baud.
constexpr int kByteTimeUs = 1042;
// Before a reply that follows board-side work over a range of words (a blank
// check reads the whole range before it answers), the board may be silent for
// as long as those words take to read over the wire, and 1 s more.
constexpr int FirstByteTimeoutMs(int words) {
    return (words > 0 ? (words * 2 * kByteTimeUs + 999) / 1000 : 0) + kIdleTimeoutMs;
}

// A USB adapter in low-latency mode hands over every byte on its own, so a
// multi-byte answer can be seen one byte at a time. Bytes that may be the
// start of a longer answer are judged only after the line has been quiet
// this long: two byte times, so the next byte of the same answer would have
// come by then.
constexpr int kQuietMs = 2;
// After a first byte that can begin a refusal (0x40 of a 14-bit abort, "*"
// of an EEPROM refusal) the rest may come much later: a USB adapter hands
// over what it holds in chunks up to 16 ms apart (its default latency
// timer). Judged after two byte times, a split abort reads as an
// acknowledgement and two more words go to a board that gave up. This wait
// costs once per transfer at most (the end code after the last 14-bit word).
constexpr int kRefusalQuietMs = 50;

// A handshake answer that can be longer than the one-byte acknowledgement:
// its first byte (-1: any byte can start it) and its full length. Only an
// answer that can still grow waits for the quiet line, so the common case, a
// plain acknowledgement that cannot start a longer answer, is judged at once.
struct LongAnswer {
    int lead;
    std::size_t bytes;
};
// 14-bit abort: 0x40, then the word read back.
constexpr LongAnswer kAbort14{kEndCode, 3};
// 12-bit abort: the word read back, then 0x40; it can start with any byte,
// so every acknowledgement of a 12-bit write waits for the quiet line (the
// short one: a longer wait would cost every word).
constexpr LongAnswer kAbort12{-1, 3};
// EEPROM refusal: "*", the data read back, a pad byte.
constexpr LongAnswer kEepromRefusal{kEepromErrorReply, 3};
// Answers that are never longer than one byte.
constexpr LongAnswer kSingleByte{-1, 1};

// How the board refuses a word of a per-word handshake: an answer of more
// than one byte with `code` at `position`, or for 12-bit writes any two-byte
// answer, which has no byte 2 to examine.
struct AbortRule {
    LongAnswer shape;
    std::size_t position;
    std::uint8_t code;
    bool twoBytesAbort;
};
constexpr AbortRule kAbortRule14{kAbort14, 0, kEndCode, false};
constexpr AbortRule kAbortRule12{kAbort12, 2, kEndCode, true};
constexpr AbortRule kRefusalRule{kEepromRefusal, 0, kEepromErrorReply, false};

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

}  // namespace vx::protocol
