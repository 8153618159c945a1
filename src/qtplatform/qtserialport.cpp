#include "qtplatform/qtserialport.h"

#include <QFileInfo>
#include <algorithm>
#include <thread>

#ifdef __linux__
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "link/comport.h"

namespace vx {

namespace {

// Asks the driver to hand over received bytes at once instead of after its
// latency timer (USB adapters wait up to 16 ms), which would otherwise add to
// every per-word handshake.
bool RequestLowLatency([[maybe_unused]] int fd) {
#ifdef __linux__
    serial_struct serial{};
    if (fd < 0 || ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
    return false;
#endif
}

// The device can be opened by us, yet the open was refused: another process
// holds its lock file or its exclusive mode.
bool HeldByAnotherProcess(const QString& path) {
#ifdef __linux__
    return access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

// The far side is gone (USB adapter pulled, pseudo-terminal closed): the line
// reports a hang-up for good, and reads return nothing.
bool LineHungUp([[maybe_unused]] qintptr fd) {
#ifdef __linux__
    if (fd < 0)
        return false;
    pollfd p{static_cast<int>(fd), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

}  // namespace

QtSerialPort::QtSerialPort(DeviceSource simDevice) : simDevice(std::move(simDevice)) {
    // Between commands the event loop watches the port, and a line that hung
    // up keeps that watch firing (a busy loop); its read error closes the port.
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_, [this](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
            QMetaObject::invokeMethod(&port_, [this] { checkLost(); }, Qt::QueuedConnection);
    });
}
QtSerialPort::~QtSerialPort() { close(); }

PortOpenResult QtSerialPort::open(const std::string& name) {
    close();
    if (name == kSimPortName) {
        if (!sim_) {
            sim_ = std::make_unique<SimPort>(clock_, simChip ? simChip() : SimChip(Family::Flash, 8192, 256));
            sim_->board.pacing = true;
        }
        usingSim_ = true;
        followDevice();
        return sim_->open(name);
    }
    const QString path = QString::fromStdString(name);
    port_.setPortName(path);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto error = port_.error();
        port_.clearError();
        if (error == QSerialPort::PermissionError)
            return HeldByAnotherProcess(path) ? PortOpenResult::InUse : PortOpenResult::PermissionDenied;
        return PortOpenResult::Failed;
    }
    lowLatency_ = RequestLowLatency(static_cast<int>(port_.handle()));
    port_.clear(QSerialPort::AllDirections);
    return PortOpenResult::Ok;
}

void QtSerialPort::close() {
    if (usingSim_) {
        sim_->close();
        usingSim_ = false;
    }
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    lowLatency_ = false;
}

bool QtSerialPort::isOpen() const {
    if (usingSim_)
        return sim_->isOpen();
    return port_.isOpen() && !LineHungUp(port_.handle());
}

void QtSerialPort::checkLost() {
    if (port_.isOpen() && (port_.error() == QSerialPort::ResourceError || LineHungUp(port_.handle()))) {
        port_.close();
        port_.clearError();
        lowLatency_ = false;
    }
}

void QtSerialPort::poll() {
    if (!port_.isOpen())
        return;
    port_.waitForReadyRead(0);
    checkLost();
}

void QtSerialPort::followDevice() {
    const DeviceInfo* device = simDevice ? simDevice() : nullptr;
    if (!device || device->name.empty())
        return;
    const SimChip& chip = sim_->board.chip;
    const bool otherId = !chip.twelveBit() && chip.deviceId() != std::max(device->deviceId, 0);
    if (chip.family != device->family || chip.programWords != device->programWords ||
        chip.eepromBytes != device->eepromBytes || otherId)
        sim_->board.chip = SimChip::ForDevice(*device);
}

void QtSerialPort::write(const Bytes& bytes) {
    if (usingSim_) {
        followDevice();
        sim_->write(bytes);
        return;
    }
    if (!port_.isOpen())
        return;
    port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    // Out on the line now: the protocol's pauses count from here.
    port_.flush();
    if (port_.bytesToWrite() > 0)
        port_.waitForBytesWritten(1000);
    checkLost();
}

int QtSerialPort::bytesAvailable() {
    if (usingSim_)
        return sim_->bytesAvailable();
    poll();
    return port_.isOpen() ? static_cast<int>(port_.bytesAvailable()) : 0;
}

Bytes QtSerialPort::readAll() {
    if (usingSim_)
        return sim_->readAll();
    poll();
    if (!port_.isOpen())
        return {};
    const QByteArray data = port_.readAll();
    return Bytes(data.begin(), data.end());
}

void QtSerialPort::discardInput() {
    if (usingSim_) {
        sim_->discardInput();
        return;
    }
    poll();
    if (!port_.isOpen())
        return;
    port_.readAll();
    port_.clear(QSerialPort::Input);
}

void QtSerialPort::setRts(bool on) {
    if (usingSim_) {
        sim_->setRts(on);
        return;
    }
    // A pseudo-terminal has no RTS line: the data still flows without it.
    if (port_.isOpen() && !port_.setRequestToSend(on))
        port_.clearError();
}

bool QtSerialPort::waitForData(int timeoutMs) {
    if (usingSim_)
        return sim_->waitForData(timeoutMs);
    if (!port_.isOpen()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
#ifdef __linux__
    // Our own wait: QSerialPort's spins on a line that hung up, where poll
    // reports the hang-up at once and there is never anything to read.
    pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        checkLost();
        return false;
    }
    if (ready <= 0)
        return false;
    timeoutMs = 0;  // bytes are waiting: QSerialPort takes them now
#endif
    const bool got = port_.waitForReadyRead(timeoutMs);
    if (!got && port_.error() == QSerialPort::TimeoutError)
        port_.clearError();
    checkLost();
    return got;
}

}  // namespace vx
