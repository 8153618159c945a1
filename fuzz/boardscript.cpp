#include "boardscript.h"

#include <algorithm>

namespace vx::fuzz {

namespace {

// Around the limits the link works with: 9600-baud byte times, the quiet
// line before an answer is judged, the 1 s idle and first-byte waits.
constexpr int kDelaysMs[16] = {0, 1, 2, 3, 5, 10, 20, 50, 100, 500, 990, 1010, 2000, 5000, 12000, 60000};
constexpr int kGapsMs[16] = {0, 1, 2, 3, 5, 10, 20, 50, 100, 300, 500, 990, 1010, 1500, 2000, 5000};

const char* const kIdentification = "TAVPIC-PGMV4.01\r\n";

}  // namespace

Setup Script::setup() {
    const int job = take(), device = take(), flags = take();
    Setup s;
    s.job = static_cast<Job>((job < 0 ? 0 : job) % kJobs);
    s.device = device < 0 ? 0 : device;
    if (flags > 0) {
        s.skipBlank = flags & 1;
        s.commMode1 = flags & 2;
        s.overwrite = flags & 4;
        s.boardFound = flags & 8;
    }
    return s;
}

Chunk Script::next() {
    Chunk c;
    const int op = take();
    if (op <= 0)
        return c;
    if (op == 0xC0) {
        c.kind = Chunk::Kind::HangUp;
        return c;
    }
    if (op > 0xC2)
        return c;
    std::size_t length = 0;
    int fill = -1;
    if (op < 0x40) {
        length = static_cast<std::size_t>(op);
    } else if (op < 0x80) {
        const int high = std::max(0, take());
        length = static_cast<std::size_t>((op & 0x3F) * 65536 + high * 256 + std::max(0, take()));
    } else if (op < 0xC0) {
        length = static_cast<std::size_t>((op & 0x3F) * 256 + std::max(0, take())) + 1;
    }
    const int timing = std::max(0, take());
    c.kind = Chunk::Kind::Reply;
    c.delayMs = kDelaysMs[timing >> 4];
    c.gapMs = kGapsMs[timing & 0x0F];
    if (op == 0xC1) {
        c.bytes.assign(kIdentification, kIdentification + 17);
    } else if (op == 0xC2) {
        c.bytes = {0x40};
    } else if (op >= 0x80) {
        fill = std::max(0, take());
        c.bytes.assign(length, static_cast<std::uint8_t>(fill));
    } else {
        for (std::size_t i = 0; i < length; ++i) {
            const int b = take();
            if (b < 0)
                break;  // cut short by the end of the input
            c.bytes.push_back(static_cast<std::uint8_t>(b));
        }
    }
    return c;
}

std::string EncodeSetup(const Setup& s) {
    std::string out;
    out += static_cast<char>(static_cast<int>(s.job));
    out += static_cast<char>(s.device);
    out += static_cast<char>((s.skipBlank ? 1 : 0) | (s.commMode1 ? 2 : 0) | (s.overwrite ? 4 : 0) |
                             (s.boardFound ? 8 : 0));
    return out;
}

std::string EncodeChunk(const Bytes& reply) {
    std::string out;
    const std::size_t n = reply.size();
    if (n == 0)
        return std::string(1, '\0');
    if (n < 0x40) {
        out += static_cast<char>(n);
    } else {
        out += static_cast<char>(0x40 | (n >> 16));
        out += static_cast<char>((n >> 8) & 0xFF);
        out += static_cast<char>(n & 0xFF);
    }
    out += '\0';  // at once
    out.append(reply.begin(), reply.end());
    return out;
}

}  // namespace vx::fuzz
