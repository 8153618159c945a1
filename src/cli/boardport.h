// The port the CLI's session talks through. The session needs a port from
// the start, but which one (the simulated board needs the device's chip) is
// known only once the command has chosen its device; until then the port
// stays closed and refuses to open.
#pragma once

#include <memory>
#include <string>

#include "base/seams.h"
#include "qtplatform/qtseams.h"

namespace vx::cli {

class PortProxy : public SerialPort {
public:
    void setTarget(std::unique_ptr<SerialPort> port) { target_ = std::move(port); }
    SerialPort* target() const { return target_.get(); }

    PortOpenResult open(const std::string& name) override {
        return target_ ? target_->open(name) : PortOpenResult::Failed;
    }
    void close() override {
        if (target_)
            target_->close();
    }
    bool isOpen() const override { return target_ && target_->isOpen(); }
    void write(const Bytes& bytes) override {
        if (target_)
            target_->write(bytes);
    }
    int bytesAvailable() override { return target_ ? target_->bytesAvailable() : 0; }
    Bytes readAll() override { return target_ ? target_->readAll() : Bytes{}; }
    void discardInput() override {
        if (target_)
            target_->discardInput();
    }
    void setRts(bool on) override {
        if (target_)
            target_->setRts(on);
    }
    bool waitForData(int timeoutMs) override { return target_ && target_->waitForData(timeoutMs); }

private:
    std::unique_ptr<SerialPort> target_;
};

// The steady clock, until the simulated board is chosen: it answers at once,
// so from then on pauses and waits pass in simulated time and a dry run costs
// only the work it does.
class CliClock : public Clock {
public:
    void simulate() { simulated_ = true; }
    std::int64_t nowMs() override { return simulated_ ? now_ : steady_.nowMs(); }
    void sleepMs(int ms) override {
        if (simulated_)
            now_ += ms > 0 ? ms : 0;
        else
            steady_.sleepMs(ms);
    }

private:
    SteadyClock steady_;
    bool simulated_ = false;
    std::int64_t now_ = 0;
};

}  // namespace vx::cli
