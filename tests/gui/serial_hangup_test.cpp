// A port whose far side hangs up, on a real pseudo-terminal whose board end
// the test holds: the port closes itself whether it sits idle under the event
// loop or carries a Read, the process stays idle afterwards, and the next
// command reports the port.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <ctime>
#include <memory>
#include <thread>

#include "link/detect.h"
#include "ops/workflows.h"
#include "qtplatform/qtprocesses.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "recordingui.h"

using namespace vx;

namespace {

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU time the process spends while the event loop runs for 2 s.
double CpuOverTwoSeconds() {
    const double before = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = CpuSeconds() - before;
    qInfo("CPU time over 2 s: %.3f s", used);
    return used;
}

}  // namespace

class SerialHangUpTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void idlePortThatHangsUpClosesAndTheNextCommandSaysSo();
    void hangUpDuringAReadEndsItAtOnce();

private:
    // The board end of a fresh pseudo-terminal; its other end becomes COM1,
    // through a link in our folder: the terminal's own number may be handed
    // to another process once it is gone.
    bool openTerminal();
    // The far side goes away, and its device with it.
    void hangUp();
    void expectNextCommandReportsThePort();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    SteadyClock clock_;
    RecordingUi ui_;
    QtProcesses processes_;
    std::unique_ptr<QtSerialPort> port_;
    std::unique_ptr<Session> session_;
    int master_ = -1;
    std::string path_;
};

bool SerialHangUpTest::openTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        return false;
    path_ = dir_->filePath("ttyBOARD").toStdString();
    if (symlink(ptsname(master_), path_.c_str()) != 0)
        return false;
    settings_->setValue("ComDevice1", path_);
    return true;
}

void SerialHangUpTest::hangUp() {
    unlink(path_.c_str());
    close(master_);
    master_ = -1;
}

void SerialHangUpTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    port_ = std::make_unique<QtSerialPort>();
    session_ = std::make_unique<Session>(*port_, *settings_, clock_, ui_, processes_);
    Session& s = *session_;
    s.run.appDir = dir_->path().toStdString() + "/";
    s.link.portNumber = 1;
    s.device.name = "PIC16F84A";
    s.device.family = "FLASH";
    s.device.programWords = 1024;
    s.device.codeProtectMask = 0x0010;
    ui_.boxes.clear();
}

void SerialHangUpTest::cleanup() {
    session_.reset();
    port_.reset();
    if (master_ >= 0)
        close(master_);
    master_ = -1;
    settings_.reset();
    dir_.reset();
}

// The terminal is gone with its far side: the next command cannot open it
// and says so with the port's own texts.
void SerialHangUpTest::expectNextCommandReportsThePort() {
    Session& s = *session_;
    QCOMPARE(int(RunRead(s)), int(Outcome::NoBoard));
    QVERIFY(!s.link.boardFound);
    QCOMPARE(QString::fromStdString(s.view.note), QString("通信ポートが使用できませんでした。\r "));
    QVERIFY(!ui_.boxes.empty());
    QCOMPARE(QString::fromStdString(ui_.boxes.back().first), QString("ｲﾝﾌｫﾒｰｼｮﾝ"));
}

void SerialHangUpTest::idlePortThatHangsUpClosesAndTheNextCommandSaysSo() {
    QVERIFY(openTerminal());
    Session& s = *session_;
    QVERIFY(s.link.Open(path_) == PortOpenResult::Ok);
    s.link.boardFound = true;
    hangUp();

    const double cpu = CpuOverTwoSeconds();
    QVERIFY2(cpu < 0.2, qPrintable(QString("CPU %1 s in 2 s idle").arg(cpu)));
    QVERIFY(!s.link.IsOpen());
    expectNextCommandReportsThePort();
}

void SerialHangUpTest::hangUpDuringAReadEndsItAtOnce() {
    QVERIFY(openTerminal());
    // The board: answers the identification, starts the read reply, then
    // its end of the line goes away.
    std::atomic<std::int64_t> hungUpAtMs{-1};
    std::thread board([this, &hungUpAtMs] {
        std::string seen;
        while (true) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0)
                break;
            char buffer[64];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i) {
                seen += buffer[i];
                if (buffer[i] == '?') {
                    const char id[] = "TAVPIC-PGMV4.01\r\n";
                    (void)!write(master_, id, 17);
                }
            }
            if (seen.size() >= 5 && seen.find("rsp") != std::string::npos &&
                seen.size() >= seen.find("rsp") + 5) {
                const std::string part(300, '\x3F');
                (void)!write(master_, part.data(), part.size());
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                hungUpAtMs = clock_.nowMs();
                hangUp();
                break;
            }
        }
    });
    Session& s = *session_;
    const Outcome outcome = RunRead(s);
    const std::int64_t endedAt = clock_.nowMs();
    board.join();
    QCOMPARE(int(outcome), int(Outcome::LinkFailed));
    QVERIFY(hungUpAtMs >= 0);
    QVERIFY2(endedAt - hungUpAtMs < 500, qPrintable(QString("ended %1 ms after the hang-up").arg(endedAt - hungUpAtMs)));
    QCOMPARE(QString::fromStdString(s.view.note),
             QString("プログラムメモリ読み出しブランクチェック失敗。　　終了コードを受信できませんでした。 "));
    QVERIFY(!s.link.IsOpen());
    QVERIFY(!s.link.boardFound);

    const double cpu = CpuOverTwoSeconds();
    QVERIFY2(cpu < 0.2, qPrintable(QString("CPU %1 s in 2 s after the hang-up").arg(cpu)));
    expectNextCommandReportsThePort();
}

QTEST_GUILESS_MAIN(SerialHangUpTest)
#include "serial_hangup_test.moc"
