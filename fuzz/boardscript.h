// The hostile board's input: three choice bytes (what to run, on which
// device, with which options), then one reply chunk for every write of the PC,
// each with its own timing. When the input runs out the board falls silent.
//
// A chunk starts with an op byte:
//   0x00           no reply to this write
//   0x01..0x3F     that many bytes follow (after the timing byte)
//   0x40..0x7F     (op & 0x3F) * 65536 + next two bytes (high first) bytes follow (after the timing byte)
//   0x80..0xBF     (op & 0x3F) * 256 + next byte + 1 copies of one byte (timing byte, then the byte)
//   0xC0           the far side hangs up
//   0xC1           the identification of a board of firmware 4.01 (timing byte follows)
//   0xC2           the end code alone (timing byte follows)
//   0xC3..0xFF     no reply
// Timing byte: high nibble the delay of the first byte, low nibble the gap
// between bytes (tables in boardscript.cpp, from 0 up to 60 s).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/seams.h"

namespace vx::fuzz {

enum class Job { Program, Read, Verify, BlankCheck, Erase, Detect, Check };
constexpr int kJobs = 7;

struct Setup {
    Job job = Job::Program;
    int device = 0;          // index into the board target's device list
    bool skipBlank = false;  // "mnuBlankSkip" checked
    bool commMode1 = false;
    bool overwrite = false;  // the overwrite question answered "はい"
    bool boardFound = false; // a board found before, its port open
};

struct Chunk {
    enum class Kind { Silence, Reply, HangUp } kind = Kind::Silence;
    Bytes bytes;
    int delayMs = 0;
    int gapMs = 0;
};

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    Setup setup();  // the first three bytes; missing ones read as 0
    Chunk next();   // silence once the input has run out

private:
    int take() { return pos_ < size_ ? data_[pos_++] : -1; }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Seeds: the same format written from a real conversation, replies at once.
std::string EncodeSetup(const Setup& setup);
std::string EncodeChunk(const Bytes& reply);

}  // namespace vx::fuzz
