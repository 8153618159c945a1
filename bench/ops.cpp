// Program, Read and Verify of a 1K-word and an 8K-word flash part, and of a
// 2K-word 12-bit part, through the real QSerialPort path against boardsim at
// 9600 baud. Each run's time is set
// against the time its bytes need on the wire (10 bits a byte, both
// directions) plus the pauses the protocol asks for: a ratio near 1 means the
// program adds almost nothing to the line's own time. boardsim paces only its
// own replies, so the PC's bytes cost nothing there and a ratio may fall below 1.
// Program also shows what each written word costs beyond the line's time.
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <map>

#include "session/session.h"
#include "benchutil.h"
#include "ops/workflows.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"

using namespace vx;

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;

// Counts the bytes that cross the line.
class CountingPort : public SerialPort {
public:
    explicit CountingPort(SerialPort& inner) : inner_(inner) {}
    PortOpenResult open(const std::string& name) override { return inner_.open(name); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    void write(const Bytes& bytes) override {
        sent += bytes.size();
        inner_.write(bytes);
    }
    int bytesAvailable() override { return inner_.bytesAvailable(); }
    Bytes readAll() override {
        Bytes b = inner_.readAll();
        received += b.size();
        return b;
    }
    void discardInput() override {
        received += static_cast<std::size_t>(inner_.bytesAvailable());
        inner_.discardInput();
    }
    void setRts(bool on) override { inner_.setRts(on); }
    bool waitForData(int timeoutMs) override { return inner_.waitForData(timeoutMs); }

    std::size_t sent = 0, received = 0;

private:
    SerialPort& inner_;
};

// Adds up the pauses the protocol asks for.
class PauseClock : public Clock {
public:
    std::int64_t nowMs() override { return inner.nowMs(); }
    void sleepMs(int ms) override {
        paused += ms;
        inner.sleepMs(ms);
    }
    SteadyClock inner;
    std::int64_t paused = 0;
};

class BenchUi : public Ui {
public:
    void viewChanged() override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    void setBusy(bool) override {}
    MsgAnswer messageBox(MsgIcon, const std::string& title, const std::string& text, MsgButtons) override {
        std::fprintf(stderr, "box: %s: %s\n", title.c_str(), text.c_str());
        return MsgAnswer::Ok;
    }
    int askOverwrite() override { return 1; }
    std::optional<std::string> openFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void showPortWindow() override {}
};

bool Run(const char* name, const char* family, int words, int eeprom) {
    const bool twelveBit = std::string(family) == "5X28";
    QProcess board;
    board.start(VORMEX_BOARDSIM, {"--family", family, "--words", QString::number(words), "--eeprom",
                                  QString::number(eeprom), "--calibration", "none"});
    if (!board.waitForStarted(5000) || !board.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_ops: cannot start %s\n", VORMEX_BOARDSIM);
        return false;
    }
    const std::string pty = QString::fromUtf8(board.readLine()).trimmed().toStdString();

    QtSerialPort serial;
    CountingPort port(serial);
    PauseClock clock;
    BenchUi ui;
    bench::NoProcesses processes;
    bench::MapSettings settings;
    settings.values["ComDevice1"] = pty;
    Session s(port, settings, clock, ui, processes);
    QTemporaryDir appDir;  // LOG.txt goes here
    s.run.appDir = appDir.path().toStdString() + "/";
    s.link.portNumber = 1;
    DeviceInfo& d = s.device;
    d.name = name;
    d.family = ParseFamily(family);
    d.familyName = family;
    d.programWords = words;
    d.eepromBytes = eeprom;
    d.codeProtectMask = twelveBit ? 0x0008 : 0x0010;
    d.configAndMask = twelveBit ? 0x0FFF : 0x3FFF;
    const int high = twelveBit ? 0x0F : 0x3F;
    for (int w = 0; w < words; ++w) {
        s.buffer.program[2 * w] = static_cast<std::uint8_t>((w >> 8) & high);
        s.buffer.program[2 * w + 1] = static_cast<std::uint8_t>(w);
    }
    for (int i = 0; i < 8; ++i) {
        s.buffer.configArea[2 * i] = static_cast<std::uint8_t>(high);
        s.buffer.configArea[2 * i + 1] = 0xF0 | i;
    }
    s.buffer.configArea[15] = twelveBit ? 0xFD : 0xF9;
    for (int n = 0; n < eeprom; ++n) {
        s.buffer.eeprom[2 * n] = 0x3F;
        s.buffer.eeprom[2 * n + 1] = static_cast<std::uint8_t>(n);
    }

    const std::pair<const char*, Outcome (*)(Session&)> steps[] = {
        {"program", RunProgram}, {"read", RunRead}, {"verify", RunVerify}};
    bool ok = true;
    for (const auto& [what, run] : steps) {
        port.sent = port.received = 0;
        clock.paused = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const Outcome outcome = run(s);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const double line = static_cast<double>(port.sent + port.received) * kByteMs + static_cast<double>(clock.paused);
        std::printf("%-10s %-8s %6zu bytes out %6zu in  %8.0f ms  wire %8.0f ms  ratio %.3f%s\n", name, what,
                    port.sent, port.received, ms, line, ms / line, outcome == Outcome::Passed ? "" : "  (failed)");
        if (run == RunProgram) {
            // boardsim paces only its replies: what a word costs beyond them and the pauses.
            const int written = twelveBit ? words + 5 : words;
            const double board = static_cast<double>(port.received) * kByteMs + static_cast<double>(clock.paused);
            std::printf("%-10s program  %.3f ms a word beyond the board's replies and the pauses\n", name,
                        (ms - board) / written);
        }
        ok = ok && outcome == Outcome::Passed;
    }
    s.link.Close();
    board.terminate();
    board.waitForFinished(5000);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::string(argv[1]) == "--small";
    const bool small = Run("PIC16F84A", "FLASH", 1024, 64);
    const bool twelve = quick || Run("PIC16C57", "5X28", 2048, 0);
    const bool large = quick || Run("PIC16F877A", "FLASH", 8192, 256);
    return small && twelve && large ? 0 : 1;
}
