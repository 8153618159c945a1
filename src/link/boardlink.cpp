#include "link/boardlink.h"

namespace vx {

void BoardLink::SendCommand(char letter) {
    port.write(Bytes{static_cast<std::uint8_t>(letter)});
    clock.sleepMs(1);
}

void BoardLink::SendBytes(const Bytes& bytes) { port.write(bytes); }

void BoardLink::DiscardInput() { port.discardInput(); }

int BoardLink::ReceivedCount() { return port.bytesAvailable(); }

Bytes BoardLink::ReadAll() { return port.readAll(); }

std::string BoardLink::ReadAllText() {
    const Bytes bytes = port.readAll();
    return std::string(bytes.begin(), bytes.end());
}

bool BoardLink::WaitForBytes(int n, int timeoutMs) {
    const std::int64_t start = clock.nowMs();
    while (port.bytesAvailable() < n) {
        const std::int64_t elapsed = clock.nowMs() - start;
        if (elapsed > timeoutMs)
            return false;
        port.waitForData(static_cast<int>(timeoutMs - elapsed + 1));
        ui.processEvents();
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
        port.waitForData(static_cast<int>(idleMs - idle + 1));
        ui.processEvents();
        const int now = port.bytesAvailable();
        if (now != seen) {
            seen = now;
            lastByte = clock.nowMs();
        }
    }
    return true;
}

}  // namespace vx
