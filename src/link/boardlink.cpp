#include "link/boardlink.h"

#include <algorithm>

#include "link/protocol.h"

namespace vx {

void BoardLink::SendCommand(char letter) {
    port.write(Bytes{static_cast<std::uint8_t>(letter)});
    clock.sleepMs(protocol::kCommandPauseMs);
}

void BoardLink::SendBytes(const Bytes& bytes) { port.write(bytes); }

void BoardLink::SendCount(int count) {
    port.write(Bytes{static_cast<std::uint8_t>((count / 256) & 0xFF)});
    clock.sleepMs(protocol::kCommandPauseMs);
    port.write(Bytes{static_cast<std::uint8_t>(count % 256)});
    clock.sleepMs(protocol::kCommandPauseMs);
}

void BoardLink::DiscardInput() { port.discardInput(); }

int BoardLink::ReceivedCount() { return port.bytesAvailable(); }

Bytes BoardLink::ReadAll() { return port.readAll(); }

std::string BoardLink::ReadAllText() { return BytesAsText(port.readAll()); }

std::string BoardLink::BytesAsText(const Bytes& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (auto b : bytes) {
        if (b < 0x80) {
            text += static_cast<char>(b);
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

void BoardLink::WaitSlice(std::int64_t remainingMs) {
    port.waitForData(static_cast<int>(std::clamp<std::int64_t>(remainingMs, 1, kEventSliceMs)));
    ui.processEvents();
}

bool BoardLink::WaitForBytes(int n, int timeoutMs) {
    const std::int64_t start = clock.nowMs();
    while (port.bytesAvailable() < n) {
        const std::int64_t elapsed = clock.nowMs() - start;
        if (elapsed > timeoutMs)
            return false;
        // +1: the time-out has passed only when the elapsed time exceeds it.
        WaitSlice(timeoutMs - elapsed + 1);
    }
    return true;
}

bool BoardLink::WaitForBytesIdle(int n, int idleMs) {
    int seen = port.bytesAvailable();
    std::int64_t lastByte = clock.nowMs();
    while (seen < n) {
        const std::int64_t idle = clock.nowMs() - lastByte;
        if (idle > idleMs)
            return false;
        WaitSlice(idleMs - idle + 1);
        const int now = port.bytesAvailable();
        if (now != seen) {
            seen = now;
            lastByte = clock.nowMs();
        }
    }
    return true;
}

}  // namespace vx
