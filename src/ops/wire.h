// The wire primitives every board operation talks through: the letters of a
// command, one waiting path and one acknowledged-word transfer. They take
// the link and what the family's traits say of the wire (letters, abort
// rule), count and judge bytes, and tell nobody but the caller what came
// back. Progress goes to whoever the caller names.
#pragma once

#include <cstddef>
#include <optional>

#include "link/boardlink.h"
#include "link/protocol.h"

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

// Told how far a long transfer got: `value` bytes of `max`, then its end.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void moved(int max, int value) = 0;
    virtual void ended(int max) = 0;
};

// A reply byte, or -1 past its end, so a short reply never matches a code.
inline int At(const Bytes& reply, std::size_t i) { return i < reply.size() ? reply[i] : -1; }
inline int WordAt(const Bytes& reply, std::size_t i) {
    return (At(reply, i) & 0xFF) * 256 + (At(reply, i + 1) & 0xFF);
}

// A command's letters ("" sends nothing), each with the board's pause.
void SendLetters(BoardLink& link, const char* letters);

// The one waiting path: n reply bytes within the limit, the progress told by
// the bytes received. Takes the reply; nullopt on time-out or when the port
// closed.
std::optional<Bytes> Receive(BoardLink& link, int n, Wait wait, Progress* progress = nullptr);

// The end code at its place in a reply.
bool HasEndCode(const Bytes& reply, std::size_t position);

struct Transfer {
    enum Kind { Sent, Silent, Aborted } kind = Sent;
    int index = 0;  // answer that stopped the transfer; the word count when the last answer was missing
    Bytes reply;    // the abort, or the answer to the last word
};

// The one acknowledged-word transfer: before each word (two bytes of image)
// the board answers with one byte; the first answers the count, the last
// (the end code) the last word. Every answer is judged whole, so nothing of
// ours follows a refusal that arrives byte by byte. Progress, when given,
// counts the bytes sent of progressMax; pauseMs follows every word.
Transfer SendAcknowledged(BoardLink& link, const Bytes& image, Wait wait, const protocol::AbortRule& rule,
                          Progress* progress, int progressMax, int pauseMs);

}  // namespace vx
