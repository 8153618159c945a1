#include "link/boardlink.h"

#include <algorithm>

#include "link/protocol.h"

namespace vx {

PortOpenResult BoardLink::Open(const std::string& devicePath) {
    const PortOpenResult result = port.open(devicePath);
    opened_ = result == PortOpenResult::Ok;
    return result;
}

void BoardLink::Close() {
    opened_ = false;
    port.close();
}

bool BoardLink::HungUp() {
    if (!opened_ || port.isOpen())
        return false;
    opened_ = false;
    boardFound = false;
    return true;
}

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

bool BoardLink::LastLook(int n) {
    port.waitForData(0);
    return port.bytesAvailable() >= n;
}

void BoardLink::WaitSlice(std::int64_t remainingMs) {
    port.waitForData(static_cast<int>(std::clamp<std::int64_t>(remainingMs, 1, kEventSliceMs)));
    ui.processEvents();
}

bool BoardLink::WaitForBytes(int n, int timeoutMs) {
    const std::int64_t start = clock.nowMs();
    while (port.bytesAvailable() < n) {
        const std::int64_t elapsed = clock.nowMs() - start;
        if ((elapsed > timeoutMs && !LastLook(n)) || !port.isOpen()) {
            HungUp();
            return false;
        }
        // +1: the time-out has passed only when the elapsed time exceeds it.
        WaitSlice(timeoutMs - elapsed + 1);
    }
    return true;
}

bool BoardLink::WaitForBytesIdle(int n, int idleMs, int firstByteMs) {
    int seen = port.bytesAvailable();
    std::int64_t lastByte = clock.nowMs();
    int limit = std::max(idleMs, firstByteMs);
    while (seen < n) {
        const std::int64_t idle = clock.nowMs() - lastByte;
        if ((idle > limit && !LastLook(seen + 1)) || !port.isOpen()) {
            HungUp();
            return false;
        }
        WaitSlice(limit - idle + 1);
        const int now = port.bytesAvailable();
        if (now != seen) {
            seen = now;
            lastByte = clock.nowMs();
            limit = idleMs;
        }
    }
    return true;
}

std::optional<Bytes> BoardLink::ReceiveAnswer(int timeoutMs, protocol::LongAnswer longer) {
    if (!WaitForBytes(1, timeoutMs))
        return std::nullopt;
    Bytes answer = port.readAll();
    auto mayGrow = [&] { return answer.size() < longer.bytes && (longer.lead < 0 || answer[0] == longer.lead); };
    const int quietMs = !answer.empty() && longer.lead >= 0 && answer[0] == longer.lead ? protocol::kRefusalQuietMs
                                                                                        : protocol::kQuietMs;
    while (!answer.empty() && mayGrow() && port.waitForData(quietMs)) {
        const Bytes more = port.readAll();
        if (more.empty())
            break;
        answer.insert(answer.end(), more.begin(), more.end());
    }
    return answer;
}

}  // namespace vx
