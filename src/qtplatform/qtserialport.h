// The SerialPort seam over QSerialPort: 9600 8N1, no flow control.
//
// The name "sim" opens the built-in simulated board in this process instead
// of a device (real time, 9600-baud pacing), so the program can be tried
// without a board. Its chip comes from simChip when set; with simDevice given,
// the socket then always holds a chip of the device it names (the session's
// selected one): a different family, size or device ID puts a fresh chip in
// (a blank one, with its factory calibration).
#pragma once

#include <QSerialPort>
#include <functional>
#include <memory>

#include "base/seams.h"
#include "qtplatform/qtseams.h"
#include "session/deviceinfo.h"
#include "sim/simport.h"

namespace vx {

class QtSerialPort : public SerialPort {
public:
    // The device the simulated board's socket follows; none when it returns null.
    using DeviceSource = std::function<const DeviceInfo*()>;
    explicit QtSerialPort(DeviceSource simDevice = {});
    ~QtSerialPort() override;

    PortOpenResult open(const std::string& name) override;
    void close() override;
    bool isOpen() const override;
    void write(const Bytes& bytes) override;
    int bytesAvailable() override;
    Bytes readAll() override;
    void discardInput() override;
    void setRts(bool on) override;
    bool waitForData(int timeoutMs) override;

    // The chip of the simulated board, made when "sim" is first opened.
    std::function<SimChip()> simChip;
    DeviceSource simDevice;
    // The simulated board once "sim" was opened (its chip can be saved).
    SimPort* simPort() { return sim_.get(); }
    // Whether the driver took the low-latency request (false on a pty).
    bool lowLatency() const { return lowLatency_; }

private:
    void poll();             // takes what the driver holds, without waiting
    void checkLost();        // a port that vanished (adapter pulled, pty closed) is closed
    void followDevice();
    bool usingSim() const { return usingSim_; }

    QSerialPort port_;
    SteadyClock clock_;
    std::unique_ptr<SimPort> sim_;
    bool usingSim_ = false;
    bool lowLatency_ = false;
};

}  // namespace vx
