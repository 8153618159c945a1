// The real serial path end to end: QSerialPort on a pseudo-terminal served
// by the board simulator, through the board search and check.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "link/protocol.h"
#include "ops/detect.h"
#include "qtplatform/qtprocesses.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "recordingui.h"

using namespace vx;

class SerialEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void boardFoundOnComOneThroughThePty();
    void secondOpenIsInUseAndMissingDeviceFails();
    void boardThatVanishesEndsTheWaitsAndClearsTheFlag();
    void foreignSilentAndHalfReplies();
    void simPortHoldsAChipOfTheSelectedDevice();
    void stateFileKeepsTheChipBetweenRuns();

private:
    // Starts the simulator; its pty becomes COM1. False when it cannot run.
    bool startBoard(const QStringList& extra = {});
    void stopBoard();
    Session& s() { return *session_; }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QtSettingsStore> settings_;
    SteadyClock clock_;
    RecordingUi ui_;
    QtProcesses processes_;
    std::unique_ptr<QtSerialPort> port_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<QProcess> board_;
    QString ptyPath_;
};

bool SerialEndToEndTest::startBoard(const QStringList& extra) {
    board_ = std::make_unique<QProcess>();
    // COM1 is the board's link in our folder: it goes when the board goes,
    // while the terminal's own number may be handed to someone else.
    ptyPath_ = dir_->filePath("ttyBOARD");
    board_->start(VORMEX_BOARDSIM,
                  QStringList{"--family", "FLASH", "--words", "1024", "--eeprom", "64", "--link", ptyPath_} + extra);
    if (!board_->waitForStarted(5000) || !board_->waitForReadyRead(5000))
        return false;
    const QString terminal = QString::fromUtf8(board_->readLine()).trimmed();
    settings_->setValue("ComDevice1", ptyPath_.toStdString());
    return terminal.startsWith("/dev/") && QFileInfo(ptyPath_).symLinkTarget() == terminal;
}

void SerialEndToEndTest::stopBoard() {
    if (board_ && board_->state() != QProcess::NotRunning) {
        board_->terminate();
        board_->waitForFinished(5000);
    }
}

void SerialEndToEndTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    settings_ = std::make_unique<QtSettingsStore>(dir_->filePath("settings.ini"));
    port_ = std::make_unique<QtSerialPort>();
    session_ = std::make_unique<Session>(*port_, *settings_, clock_, ui_, processes_);
    session_->link.portNumber = 1;
    ui_.boxes.clear();
}

void SerialEndToEndTest::cleanup() {
    session_.reset();
    port_.reset();
    stopBoard();
    board_.reset();
    settings_.reset();
    dir_.reset();
}

void SerialEndToEndTest::boardFoundOnComOneThroughThePty() {
    QVERIFY(startBoard());
    DetectBoard(s());
    QVERIFY2(s().link.boardFound, s().view.note.c_str());
    QCOMPARE(QString::fromStdString(s().view.firmwareLabel.caption), QString("TAVPIC-PGMV4.01 : COM1"));
    QCOMPARE(s().view.firmwareLabel.backColour, kColourYellow);
    QVERIFY(ui_.boxes.empty());

    // Raw replies over the same line: the configuration area, then a
    // per-word write answered word by word.
    BoardLink& link = s().link;
    link.DiscardInput();
    for (char c : {'r', 's', 'c'})
        link.SendCommand(c);
    link.SendCount(8);
    QVERIFY(link.WaitForBytes(17, protocol::kReplyTimeoutMs));
    const Bytes config = link.ReadAll();
    QCOMPARE(int(config.size()), 17);
    QCOMPARE(int(config[16]), int(protocol::kEndCode));

    for (char c : {'w', 'e', 'f'})
        link.SendCommand(c);
    link.SendCount(2);
    for (int word : {0x2805, 0x0000}) {
        QVERIFY(link.WaitForBytes(1, protocol::kReplyTimeoutMs));
        QCOMPARE(link.ReadAll().size(), std::size_t{1});
        link.SendBytes({static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
    }
    QVERIFY(link.WaitForBytes(1, protocol::kReplyTimeoutMs));
    QCOMPARE(int(link.ReadAll().at(0)), int(protocol::kEndCode));
    QVERIFY(CheckBoard(s()) == BoardCheck::Ready);
}

void SerialEndToEndTest::secondOpenIsInUseAndMissingDeviceFails() {
    QVERIFY(startBoard());
    QVERIFY(s().link.Open(ptyPath_.toStdString()) == PortOpenResult::Ok);
    QtSerialPort other;
    QVERIFY(other.open(ptyPath_.toStdString()) == PortOpenResult::InUse);

    QtSerialPort missing;
    QVERIFY(missing.open(dir_->filePath("no-such-port").toStdString()) == PortOpenResult::Failed);
    QVERIFY(!missing.isOpen());
    QCOMPARE(missing.bytesAvailable(), 0);  // closed ports answer, never block
}

void SerialEndToEndTest::boardThatVanishesEndsTheWaitsAndClearsTheFlag() {
    QVERIFY(startBoard());
    DetectBoard(s());
    QVERIFY(s().link.boardFound);
    stopBoard();
    QVERIFY(!QFileInfo::exists(ptyPath_));
    QVERIFY(CheckBoard(s()) != BoardCheck::Ready);
    QVERIFY(!s().link.boardFound);
    // The port is gone for good: the next check reports the open failure.
    QVERIFY(CheckBoard(s()) == BoardCheck::PortUnavailable);
    QVERIFY(!s().link.IsOpen());
    QVERIFY(!ui_.boxes.empty());
    QCOMPARE(QString::fromStdString(ui_.boxes.back().second).left(17), QString("通信ポートが使用できませんでした。"));
}

void SerialEndToEndTest::foreignSilentAndHalfReplies() {
    QVERIFY(startBoard({"--fault", "foreign"}));
    DetectBoard(s());
    QVERIFY(!s().link.boardFound);
    QVERIFY(QString::fromStdString(s().view.note).startsWith("ファームウエアバージョンを読み出せませんでした。"));
    s().link.Close();
    stopBoard();

    QVERIFY(startBoard({"--fault", "silence=0"}));
    DetectBoard(s());
    QVERIFY(!s().link.boardFound);
    QVERIFY(QString::fromStdString(s().view.note).endsWith("（受信バイト数： 0byte  , 受信データ： []"));
    QCOMPARE(QString::fromStdString(s().view.firmwareLabel.caption), QString("COM1 : ライター未接続"));
    s().link.Close();
    stopBoard();

    QVERIFY(startBoard({"--fault", "short=5"}));
    DetectBoard(s());
    QVERIFY(!s().link.boardFound);
    QVERIFY(QString::fromStdString(s().view.note).endsWith("（受信バイト数： 12byte  , 受信データ： [TAVPIC-PGMV4]"));
}

void SerialEndToEndTest::simPortHoldsAChipOfTheSelectedDevice() {
    DeviceInfo device;
    device.name = "PIC12F675";
    device.family = Family::F12F6;
    device.programWords = 1024;
    device.eepromBytes = 128;
    device.calibInstruction = "retlw";
    port_->simDevice = [&device] { return &device; };
    QVERIFY(s().link.Open("sim") == PortOpenResult::Ok);
    SimChip& chip = port_->simPort()->board.chip;
    QCOMPARE(QString::fromStdString(chip.familyName), QString("12F6"));
    QCOMPARE(int(chip.program.back()), 0x3480);
    chip.program[0] = 0x2805;
    s().link.SendCommand('?');
    QCOMPARE(int(port_->simPort()->board.chip.program[0]), 0x2805);  // same device: same chip

    device.name = "PIC16C54";
    device.family = Family::F5X18;
    device.programWords = 512;
    device.eepromBytes = 0;
    device.calibInstruction.clear();
    s().link.SendCommand('?');
    QCOMPARE(QString::fromStdString(port_->simPort()->board.chip.familyName), QString("5X18"));
    QCOMPARE(int(port_->simPort()->board.chip.program.back()), 0x0FFF);
    QVERIFY(s().link.WaitForBytes(17, protocol::kIdentifyTimeoutMs));
}

void SerialEndToEndTest::stateFileKeepsTheChipBetweenRuns() {
    const QString state = dir_->filePath("chip.txt");
    QVERIFY(startBoard({"--no-pacing", "--state", state}));
    BoardLink& link = s().link;
    QVERIFY(link.Open(ptyPath_.toStdString()) == PortOpenResult::Ok);
    for (char c : {'w', 'e', 'f'})
        link.SendCommand(c);
    link.SendCount(1);
    QVERIFY(link.WaitForBytes(1, protocol::kReplyTimeoutMs));
    link.ReadAll();
    link.SendBytes({0x28, 0x05});
    QVERIFY(link.WaitForBytes(1, protocol::kReplyTimeoutMs));
    QCOMPARE(int(link.ReadAll().at(0)), int(protocol::kEndCode));
    link.Close();
    stopBoard();
    QVERIFY(QFile::exists(state));

    QVERIFY(startBoard({"--no-pacing", "--state", state}));
    QVERIFY(link.Open(ptyPath_.toStdString()) == PortOpenResult::Ok);
    for (char c : {'r', 's', 'p'})
        link.SendCommand(c);
    link.SendCount(1024);  // the whole memory: more than the terminal buffers at once
    QVERIFY(link.WaitForBytesIdle(2049, protocol::kIdleTimeoutMs));
    const Bytes reply = link.ReadAll();
    QCOMPARE(int(reply.size()), 2049);
    QCOMPARE(reply[0] * 256 + reply[1], 0x2805);
    QCOMPARE(int(reply[2048]), int(protocol::kEndCode));
}

QTEST_MAIN(SerialEndToEndTest)
#include "serial_endtoend_test.moc"
