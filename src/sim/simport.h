// The simulated board behind the SerialPort seam, in the same process.
//
// Time comes from the Clock given: with a virtual clock, waitForData moves
// time on to the next reply byte (or by the whole time-out when none is
// coming), so tests of slow or silent boards run instantly; with a real
// clock it sleeps, which is what the CLI's and the window's "sim" port do.
//
//   SimPort port(clock, SimChip(Family::Flash, 1024, 64));
//   port.board.faults.abortAtWord = 3;   // inject a fault
//   port.board.chip.program[0];          // inspect the chip
#pragma once

#include <string>

#include "base/seams.h"
#include "sim/simboard.h"

namespace vx {

class SimPort : public SerialPort {
public:
    SimPort(Clock& clock, SimChip chip);

    PortOpenResult open(const std::string& name) override;
    void close() override;
    bool isOpen() const override { return open_; }
    void write(const Bytes& bytes) override;
    int bytesAvailable() override;
    Bytes readAll() override;
    void discardInput() override;
    void setRts(bool on) override { rts = on; }
    bool waitForData(int timeoutMs) override;
    // The far side vanishes, as a pulled USB adapter: the port closes by
    // itself and the device cannot be opened again.
    void hangUp() {
        close();
        openResult = PortOpenResult::Failed;
    }

    SimBoard board;
    PortOpenResult openResult = PortOpenResult::Ok;  // what open() answers
    std::string openedName;
    int openCount = 0;
    bool rts = false;

private:
    std::int64_t nowUs() { return clock_.nowMs() * 1000; }
    bool collect();  // moves ready reply bytes into the receive buffer

    Clock& clock_;
    bool open_ = false;
    Bytes inbox_;
};

}  // namespace vx
