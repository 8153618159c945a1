#include "sim/simport.h"

namespace vx {

SimPort::SimPort(Clock& clock, SimChip chip) : board(std::move(chip)), clock_(clock) {}

PortOpenResult SimPort::open(const std::string& name) {
    openedName = name;
    ++openCount;
    open_ = openResult == PortOpenResult::Ok;
    return openResult;
}

void SimPort::close() {
    open_ = false;
    inbox_.clear();
    board.dropPending();
}

void SimPort::write(const Bytes& bytes) {
    if (!open_)
        return;
    for (auto b : bytes)
        board.receive(b, nowUs());
}

bool SimPort::collect() {
    if (!open_)
        return false;
    const Bytes ready = board.takeReady(nowUs());
    inbox_.insert(inbox_.end(), ready.begin(), ready.end());
    return !ready.empty();
}

int SimPort::bytesAvailable() {
    collect();
    return static_cast<int>(inbox_.size());
}

Bytes SimPort::readAll() {
    collect();
    Bytes all;
    all.swap(inbox_);
    return all;
}

void SimPort::discardInput() {
    collect();
    inbox_.clear();
}

bool SimPort::waitForData(int timeoutMs) {
    if (collect())
        return true;
    const std::int64_t next = open_ ? board.nextReadyUs() : -1;
    const std::int64_t deadline = nowUs() + std::int64_t{timeoutMs} * 1000;
    if (next < 0 || next > deadline) {
        clock_.sleepMs(timeoutMs);
        return collect();
    }
    const std::int64_t waitUs = next - nowUs();
    clock_.sleepMs(static_cast<int>((waitUs + 999) / 1000));
    return collect();
}

}  // namespace vx
