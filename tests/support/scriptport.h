// A board whose answers are scripted as bytes and the virtual times they
// arrive at: the port for tests (and fuzz targets) that need replies no
// well-behaved board gives, at any spacing, or a port that vanishes.
//
//   ScriptPort port(clock);
//   port.onWrite = [&](const Bytes& sent) { port.deliverBytes({0x40, 0x12, 0x34}, 1, 1); };
//   port.deliverIn(10'000, "late");   // 10 s from now
//   port.hangUp();                     // the far side is gone
// Waits move the virtual clock on to the next scripted byte (or by the whole
// time-out when none is due), so scripted silences cost no real time.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/seams.h"
#include "support/fakes.h"

namespace vx::test {

class ScriptPort : public SerialPort {
public:
    explicit ScriptPort(VirtualClock& clock) : clock(clock) {}
    PortOpenResult open(const std::string& name) override {
        openedName = name;
        opened = openResult == PortOpenResult::Ok;
        return openResult;
    }
    void close() override {
        opened = false;
        inbox.clear();
        pending.clear();
    }
    bool isOpen() const override { return opened; }
    void write(const Bytes& bytes) override {
        if (!opened)
            return;
        written.insert(written.end(), bytes.begin(), bytes.end());
        if (onWrite)
            onWrite(bytes);
    }
    int bytesAvailable() override {
        arrive();
        return static_cast<int>(inbox.size());
    }
    Bytes readAll() override {
        arrive();
        Bytes all;
        all.swap(inbox);
        return all;
    }
    void discardInput() override {
        arrive();
        inbox.clear();
    }
    void setRts(bool) override {}
    bool waitForData(int timeoutMs) override {
        if (arrive())
            return true;
        if (opened && !pending.empty() && pending.front().first <= clock.now + timeoutMs) {
            clock.now = pending.front().first;
            return arrive();
        }
        clock.now += timeoutMs;
        return false;
    }

    // Bytes that arrive at a virtual time (ms); scripted bytes arrive in time order.
    void deliverAt(std::int64_t at, const Bytes& bytes) {
        auto it = std::upper_bound(pending.begin(), pending.end(), at,
                                   [](std::int64_t t, const auto& p) { return t < p.first; });
        pending.insert(it, {at, bytes});
    }
    void deliverAt(std::int64_t at, const std::string& text) { deliverAt(at, Bytes(text.begin(), text.end())); }
    void deliverIn(std::int64_t delayMs, const std::string& text) { deliverAt(clock.now + delayMs, text); }
    // One byte at a time: the first after delayMs, then one every gapMs (1 ms
    // is the 9600-baud spacing on the millisecond clock).
    void deliverBytes(const Bytes& bytes, std::int64_t delayMs, std::int64_t gapMs) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            deliverAt(clock.now + delayMs + gapMs * static_cast<std::int64_t>(i), Bytes{bytes[i]});
    }
    // The far side vanishes: the port closes by itself and cannot be opened again.
    void hangUp() {
        close();
        openResult = PortOpenResult::Failed;
    }

    VirtualClock& clock;
    PortOpenResult openResult = PortOpenResult::Ok;
    bool opened = false;
    std::string openedName;
    Bytes written;  // every byte the PC sent while the port was open
    Bytes inbox;
    std::vector<std::pair<std::int64_t, Bytes>> pending;  // by arrival time
    std::function<void(const Bytes&)> onWrite;

private:
    bool arrive() {
        if (!opened)
            return false;
        bool any = false;
        while (!pending.empty() && pending.front().first <= clock.now) {
            inbox.insert(inbox.end(), pending.front().second.begin(), pending.front().second.end());
            pending.erase(pending.begin());
            any = true;
        }
        return any;
    }
};

}  // namespace vx::test
