// A port whose far side hangs up, on a real pseudo-terminal whose board end
// the test holds: the port closes itself whether it sits idle under the event
// loop or carries a Read, the process stays idle afterwards, and the next
// command reports the port.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <ctime>
#include <memory>

#include "ops/detect.h"
#include "ops/workflows.h"
#include "qtplatform/qtprocesses.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "recordingui.h"
#include "../support/ptyboard.h"

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
    // A board on a fresh pseudo-terminal, on COM1.
    bool startBoard();
    void expectNextCommandReportsThePort();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    SteadyClock clock_;
    RecordingUi ui_;
    QtProcesses processes_;
    std::unique_ptr<QtSerialPort> port_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<test::PtyBoard> board_;
};

bool SerialHangUpTest::startBoard() {
    board_ = std::make_unique<test::PtyBoard>(dir_->filePath("ttyBOARD").toStdString());
    settings_->setValue("ComDevice1", board_->link);
    return board_->ok();
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
    s.device.family = Family::Flash;
    s.device.programWords = 1024;
    s.device.codeProtectMask = 0x0010;
    ui_.boxes.clear();
}

void SerialHangUpTest::cleanup() {
    session_.reset();
    port_.reset();
    board_.reset();
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
    QVERIFY(startBoard());
    Session& s = *session_;
    QVERIFY(s.link.Open(board_->link) == PortOpenResult::Ok);
    s.link.boardFound = true;
    board_->hangUp();

    const double cpu = CpuOverTwoSeconds();
    QVERIFY2(cpu < 0.2, qPrintable(QString("CPU %1 s in 2 s idle").arg(cpu)));
    QVERIFY(!s.link.IsOpen());
    expectNextCommandReportsThePort();
}

void SerialHangUpTest::hangUpDuringAReadEndsItAtOnce() {
    QVERIFY(startBoard());
    board_->serveUntilARead();
    Session& s = *session_;
    const Outcome outcome = RunRead(s);
    const std::int64_t endedAt = test::PtyBoard::NowMs();
    board_->join();
    const std::int64_t hungUpAtMs = board_->hungUpAtMs;
    QCOMPARE(int(outcome), int(Outcome::LinkFailed));
    QVERIFY(hungUpAtMs >= 0);
    QVERIFY2(endedAt - hungUpAtMs < 500, qPrintable(QString("ended %1 ms after the hang-up").arg(endedAt - hungUpAtMs)));
    QCOMPARE(QString::fromStdString(s.view.note),
             QString("プログラムメモリ読み出しブランクチェック失敗。　　終了コードを受信できませんでした。 "));
    QVERIFY(!s.link.IsOpen());
    QVERIFY(!s.link.boardFound);
    QCOMPARE(QString::fromStdString(s.view.firmwareLabel.caption), QString("COM1 : ライター未接続"));

    const double cpu = CpuOverTwoSeconds();
    QVERIFY2(cpu < 0.2, qPrintable(QString("CPU %1 s in 2 s after the hang-up").arg(cpu)));
    expectNextCommandReportsThePort();
}

QTEST_GUILESS_MAIN(SerialHangUpTest)
#include "serial_hangup_test.moc"
