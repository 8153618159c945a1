// The wire primitives every board operation talks through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/protocol.h"
#include "session/session.h"

namespace vx {

// How long a wait may last: in all (the board's own limits) or since the
// last byte, with a longer allowance before the first byte where the board
// works over a range of words before it answers.
struct Wait {
    int ms;
    bool idle;
    int firstByteMs = 0;
};
constexpr Wait kIdle{protocol::kIdleTimeoutMs, true};
constexpr Wait kReply{protocol::kReplyTimeoutMs, false};
constexpr Wait kEepromTransfer{protocol::kEepromTimeoutMs, false};
constexpr Wait AfterWork(int words) { return {protocol::kIdleTimeoutMs, true, protocol::FirstByteTimeoutMs(words)}; }

// A reply byte, or -1 past its end, so a short reply never matches a code.
inline int At(const Bytes& reply, std::size_t i) { return i < reply.size() ? reply[i] : -1; }
inline int WordAt(const Bytes& reply, std::size_t i) { return (At(reply, i) & 0xFF) * 256 + (At(reply, i + 1) & 0xFF); }

// A port that is closed (released, or its far side gone) also means the
// board is no longer known: the label says so, and the next command searches.
void LinkFault(Session& s);

void SendLetters(Session& s, protocol::BoardOp command);

// The one waiting path: n reply bytes within the limit, optionally driving
// the progress bar by the bytes received. Takes the reply; nullopt (and a
// link fault) on time-out or when the port closed.
std::optional<Bytes> Receive(Session& s, int n, Wait wait, bool progress = false);

// The end code at its place in a reply; its absence is a link fault.
bool HasEndCode(Session& s, const Bytes& reply, std::size_t position);

// How the board refuses a word of a per-word handshake: a longer answer
// with `code` at `position` (more than one byte), or for 12-bit writes any
// two-byte answer, which has no byte 2 to examine.
struct AbortRule {
    protocol::LongAnswer shape;
    std::size_t position;
    std::uint8_t code;
    bool twoBytesAbort;
};
constexpr AbortRule kAbortRule14{protocol::kAbort14, 0, protocol::kEndCode, false};
constexpr AbortRule kAbortRule12{protocol::kAbort12, 2, protocol::kEndCode, true};
constexpr AbortRule kRefusalRule{protocol::kEepromRefusal, 0, protocol::kEepromErrorReply, false};

struct Transfer {
    enum Kind { Sent, Silent, Aborted } kind = Sent;
    int index = 0;  // answer that stopped the transfer; the word count when the last answer was missing
    Bytes reply;    // the abort, or the answer to the last word
};

// The one acknowledged-word transfer: before each word (two bytes of image)
// the board answers with one byte; the first answers the count, the last
// (the end code) the last word. Every answer is judged whole, so nothing of
// ours follows a refusal that arrives byte by byte.
Transfer SendAcknowledged(Session& s, const Bytes& image, Wait wait, const AbortRule& rule, int progressMax,
                          int pauseMs);

}  // namespace vx
