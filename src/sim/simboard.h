// The programmer board's firmware, simulated: it takes the bytes the PC sends
// and schedules the replies the PC expects.
//
// Commands (letters, then a two-byte word count N, high byte first):
//   "?"                 identification: "TAVPIC-PGMV" + 4-character version + CR LF
//   "*"                 nothing; the board is ready for "?" afterwards
//   "b" "d" / "b" "D"   bulk erase of a flash chip -> 0x40
//   "b" "p" "s"/"l" N   summary of program-area words 0..N-1: first non-blank
//                       index (0xFFFF if none), AND of the words, 0x40 (5 bytes)
//   "b" "s" N           AND of program-area words 0..N-1, 0x40 (3 bytes)
//   "r" "p" "s"/"l" N,  "r" "s" "p" N   program-area words, 2 bytes each, 0x40
//   "r" "s" "c" N       configuration-area words, 2 bytes each, 0x40
//   "r" "s" "d" N       EEPROM cells as 0x3F, data; 0x40
//   "w" "p" "s"/"l" N, "w" "s" "p" N, "w" "e" "f" N   program-area write
//   "w" "s" "c" N, "w" "e" "c" N                     configuration-area write
//       one acknowledgement byte (kAck) for the count and for every word but
//       the last, 0x40 after the last; a word that does not read back as
//       written ends the transfer with the abort reply: 12-bit chips
//       read-back high, low, 0x40; 14-bit chips 0x40, high, low.
//   "w" "e" "d" N       EEPROM write, cells as two bytes (pad, data); kAck per
//                       cell, 0x40 after the last; a refused cell answers
//                       "*", read-back data, 0x3F.
// The chip in the socket decides the layout of the program area (see
// SimChip), as on the real board. Unknown letters are ignored. A command left
// half-sent for more than kStaleCommandMs is dropped.
//
// Timing: replies go out in pieces of up to pieceBytes bytes (16: a UART
// FIFO; 1: a USB adapter in low-latency mode, every byte on its own); a piece
// is ready when its last byte has crossed the line at 9600 baud (when pacing
// is on) plus the injected delay per byte. Without both, replies are
// immediate. onReply can then rewrite any reply, bytes and timing, for a
// board that misbehaves in ways the faults do not cover.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/simchip.h"

namespace vx {

// Faults the board can be told to make; the defaults make none.
struct SimFaults {
    int silentAfterBytes = -1;     // sends no reply byte after this many (counted from now on)
    bool wrongEndCode = false;     // 0x41 where 0x40 ends a reply
    int abortAtWord = -1;          // abort reply to data word K of a write
    int eepromErrorAtCell = -1;    // "*" reply to EEPROM cell K
    bool foreignIdentification = false;  // answers "?" with another board's id
    int shortReplyBy = 0;          // drop this many bytes from the end of every multi-byte reply
    int byteDelayMs = 0;           // extra time per reply byte
};

// One command as the board understood it, for tests and the board's log.
struct SimCommand {
    std::string letters;  // "?", "*", "bs", "rsp", "wef", ...
    int count = -1;       // word count; -1 for commands without one
    int dataWords = 0;    // words (or EEPROM cells) received by a write
};

class SimBoard {
public:
    static constexpr std::uint8_t kAck = 0x06;
    static constexpr std::int64_t kStaleCommandMs = 500;
    static constexpr int kPieceBytes = 16;
    static constexpr std::int64_t kByteTimeUs = 1042;  // 10 bits at 9600 baud

    explicit SimBoard(SimChip chip);

    // A byte from the PC at time nowUs (microseconds on the caller's clock).
    void receive(std::uint8_t byte, std::int64_t nowUs);
    // Reply bytes whose time has come, in order; they leave the board.
    std::vector<std::uint8_t> takeReady(std::int64_t nowUs);
    // When the next reply byte will be ready; -1 when nothing is pending.
    std::int64_t nextReadyUs() const;
    // Forgets replies not yet delivered (the port was closed).
    void dropPending();

    SimChip chip;
    SimFaults faults;
    bool pacing = false;
    int pieceBytes = kPieceBytes;
    // Sees every reply before it is sent: the command it answers (as logged
    // so far), its bytes and, per byte, the microseconds from now until it is
    // ready. It may change, drop or add bytes and delays; a missing delay
    // repeats the last one, and no byte is ready before the one before it.
    std::function<void(const SimCommand& command, std::vector<std::uint8_t>& bytes,
                       std::vector<std::int64_t>& delaysUs)>
        onReply;
    std::string firmwareVersion = "4.01";  // four characters
    std::vector<SimCommand> log;           // every command, in order
    std::vector<std::uint8_t> received;    // every byte the PC sent

private:
    enum class State { Idle, Letters, Count, Data };
    void startCommand(std::uint8_t byte);
    void letter(std::uint8_t byte);
    void execute();
    void dataByte(std::uint8_t byte);
    void finish() { state_ = State::Idle; }
    // The answer to a count or data word: the acknowledgement, or the end
    // code after the last one, which ends the command.
    void acknowledge(bool last);
    void reply(const std::vector<std::uint8_t>& bytes);
    void replyWords(int count, bool configArea);
    std::uint8_t endCode() const;

    struct Pending {
        std::uint8_t byte;
        std::int64_t readyUs;
    };
    std::deque<Pending> out_;
    State state_ = State::Idle;
    std::string letters_;
    std::vector<std::uint8_t> buffer_;
    int count_ = 0;
    int index_ = 0;  // next data word of a write
    std::int64_t nowUs_ = 0;
    std::int64_t lastByteUs_ = 0;
    int repliedBytes_ = 0;
    int silentBase_ = 0;
    int silentSetting_ = -1;
};

}  // namespace vx
