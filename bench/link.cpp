// Serial link speed through the real QSerialPort path against boardsim on a
// pseudo-terminal, pacing off: what the program itself adds to each exchange.
// A plain read/write loop over the same terminal gives the floor (the
// simulator's and the kernel's share), so the difference is our overhead.
// The per-word handshake runs under both answer rules: the 14-bit one, where
// an acknowledgement that cannot start an abort is judged at once, and the
// 12-bit one, where every acknowledgement waits for the quiet line.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "session/session.h"
#include "benchutil.h"
#include "link/protocol.h"
#include "qtplatform/qtserialport.h"

using namespace vx;

namespace {

using Wall = std::chrono::steady_clock;

double Micros(Wall::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Stats {
    std::vector<double> samples;
    void print(const char* what) {
        std::sort(samples.begin(), samples.end());
        double sum = 0;
        for (double v : samples)
            sum += v;
        std::printf("%-45s n=%5zu  mean %8.1f us  median %8.1f us  p95 %8.1f us\n", what, samples.size(),
                    sum / samples.size(), samples[samples.size() / 2], samples[samples.size() * 95 / 100]);
    }
};

class BenchUi : public Ui {
public:
    void viewChanged() override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    void setBusy(bool) override {}
    MsgAnswer messageBox(MsgIcon, const std::string&, const std::string&, MsgButtons) override { return MsgAnswer::Ok; }
    int askOverwrite() override { return 2; }
    std::optional<std::string> openFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void showPortWindow() override {}
};

// Plain POSIX exchange: write, then poll/read until n bytes came.
bool RawExchange(int fd, const std::vector<std::uint8_t>& out, std::size_t n) {
    if (write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size()))
        return false;
    std::size_t got = 0;
    std::uint8_t buffer[64];
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            return false;
        const ssize_t r = read(fd, buffer, sizeof buffer);
        if (r <= 0)
            return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = 200, words = 2000;

    QProcess board;
    board.start(VORMEX_BOARDSIM, {"--no-pacing", "--family", "FLASH", "--words", "8192", "--eeprom", "256"});
    if (!board.waitForStarted(5000) || !board.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_link: cannot start %s\n", VORMEX_BOARDSIM);
        return 1;
    }
    const std::string pty = QString::fromUtf8(board.readLine()).trimmed().toStdString();

    // Floor: the same exchanges without Qt or the link.
    Stats rawId, rawWord;
    {
        const int fd = open(pty.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        for (int i = 0; i < rounds; ++i) {
            const auto t0 = Wall::now();
            if (!RawExchange(fd, {'?'}, 17))
                return 1;
            rawId.samples.push_back(Micros(Wall::now() - t0));
        }
        RawExchange(fd, {'w', 'e', 'f', static_cast<std::uint8_t>(words / 256), static_cast<std::uint8_t>(words % 256)}, 1);
        for (int i = 0; i < words; ++i) {
            const auto t0 = Wall::now();
            if (!RawExchange(fd, {0x12, 0x34}, 1))
                return 1;
            rawWord.samples.push_back(Micros(Wall::now() - t0));
        }
        close(fd);
    }

    QtSerialPort port;
    SteadyClock clock;
    BenchUi ui;
    bench::NoProcesses processes;
    bench::MapSettings settings;
    Session s(port, settings, clock, ui, processes);
    BoardLink& link = s.link;
    if (link.Open(pty) != PortOpenResult::Ok) {
        std::fprintf(stderr, "bench_link: cannot open %s\n", pty.c_str());
        return 1;
    }
    std::printf("port %s, low-latency mode %s\n", pty.c_str(), port.lowLatency() ? "on" : "refused (pty)");

    Stats id, handshake;
    for (int i = 0; i < rounds; ++i) {
        link.DiscardInput();
        const auto t0 = Wall::now();
        port.write({'?'});  // SendCommand's 1 ms pause is protocol, not overhead
        if (!link.WaitForBytes(protocol::kIdentifyReplyBytes, protocol::kIdentifyTimeoutMs))
            return 1;
        link.ReadAll();
        id.samples.push_back(Micros(Wall::now() - t0));
    }

    Stats handshake12;
    for (auto [rule, stats] : {std::pair{protocol::kAbort14, &handshake}, std::pair{protocol::kAbort12, &handshake12}}) {
        link.DiscardInput();
        for (char c : {'w', 'e', 'f'})
            link.SendCommand(c);
        link.SendCount(words);
        for (int i = 0; i < words; ++i) {
            const auto t0 = Wall::now();
            if (!link.ReceiveAnswer(protocol::kReplyTimeoutMs, rule))
                return 1;
            link.SendBytes({0x12, 0x34});
            stats->samples.push_back(Micros(Wall::now() - t0));
        }
        link.WaitForBytes(1, protocol::kReplyTimeoutMs);
        link.ReadAll();
    }

    rawId.print("identification, plain read/write");
    id.print("identification, QSerialPort + BoardLink");
    rawWord.print("per-word handshake, plain read/write");
    handshake.print("per-word handshake, 14-bit rule");
    handshake12.print("per-word handshake, 12-bit rule (quiet wait)");
    auto sum = [](const Stats& s) {
        double total = 0;
        for (double v : s.samples)
            total += v;
        return total;
    };
    std::printf("program's own overhead per handshake: 14-bit rule %.1f us, 12-bit rule %.1f us\n",
                (sum(handshake) - sum(rawWord)) / words, (sum(handshake12) - sum(rawWord)) / words);
    link.Close();
    board.terminate();
    board.waitForFinished(5000);
    return 0;
}
