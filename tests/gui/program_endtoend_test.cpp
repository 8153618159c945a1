// Program, Read and Verify end to end: a gpasm-built PIC16F84A program, the
// shipped device database, QSerialPort on a pseudo-terminal served by boardsim.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "device/devicedb.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "image/selection.h"
#include "ops/workflows.h"
#include "qtplatform/qtprocesses.h"
#include "qtplatform/qtseams.h"
#include "qtplatform/qtserialport.h"
#include "recordingui.h"

using namespace vx;

class ProgramEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void programReadVerifyThroughThePty();
};

void ProgramEndToEndTest::programReadVerifyThroughThePty() {
    if (QStandardPaths::findExecutable("gpasm").isEmpty())
        QFAIL("gpasm (package gputils) is needed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::copy(QString(VORMEX_SOURCE_DIR) + "/data/device.ini", dir.filePath("device.ini")));
    {
        QFile source(dir.filePath("prog.asm"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("    list p=16f84a\n"
                     "    __config 0x3FF1\n"
                     "    __idlocs 0x1234\n"
                     "    org 0\n"
                     "loop movlw 0x55\n"
                     "    movwf 0x0C\n"
                     "    goto loop\n"
                     "    org 0x3FF\n"
                     "    retlw 0x99\n"
                     "    org 0x2100\n"
                     "    de 1, 2, 3, 0xA5\n"
                     "    end\n");
    }
    QProcess gpasm;
    gpasm.setWorkingDirectory(dir.path());
    gpasm.start("gpasm", {"-o", "prog.hex", "prog.asm"});
    QVERIFY(gpasm.waitForFinished(30000));
    QCOMPARE(gpasm.exitCode(), 0);

    QtSettingsStore settings(dir.filePath("settings.ini"));
    SteadyClock clock;
    RecordingUi ui;
    QtProcesses processes;
    QtSerialPort port;
    Session s(port, settings, clock, ui, processes);
    s.run.appDir = dir.path().toStdString() + "/";
    QVERIFY(LoadDeviceList(s));
    const auto& names = s.view.deviceList;
    const auto it = std::find(names.begin(), names.end(), "PIC16F84A");
    QVERIFY(it != names.end());
    SelectDeviceIndex(s, static_cast<int>(it - names.begin()));
    QCOMPARE(QString::fromStdString(s.device.name), QString("PIC16F84A"));
    s.loader.hexPath = dir.filePath("prog.hex").toStdString();
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    const PcBuffer loaded = s.buffer;
    QCOMPARE(loaded.program[0] * 256 + loaded.program[1], 0x3055);

    QProcess board;
    board.start(VORMEX_BOARDSIM, {"--device", "PIC16F84A", "--ini", dir.filePath("device.ini"), "--calibration", "none",
                                  "--no-pacing", "--protect", QString::number(s.device.codeProtectMask)});
    QVERIFY(board.waitForStarted(5000) && board.waitForReadyRead(5000));
    settings.setValue("ComDevice1", QString::fromUtf8(board.readLine()).trimmed().toStdString());
    s.link.portNumber = 1;

    QCOMPARE(static_cast<int>(RunProgram(s)), static_cast<int>(Outcome::Passed));
    QVERIFY2(ui.boxes.empty(), ui.boxes.empty() ? "" : ui.boxes.front().second.c_str());

    s.buffer.program.fill(0);
    s.buffer.eeprom.fill(0);
    s.buffer.configArea.fill(0);
    QCOMPARE(static_cast<int>(RunRead(s)), static_cast<int>(Outcome::Passed));
    for (int i = 0; i < 2 * 1024; ++i)
        QCOMPARE(s.buffer.program[i], loaded.program[i]);
    for (int n = 0; n < 64; ++n)
        QCOMPARE(s.buffer.eeprom[2 * n + 1], loaded.eeprom[2 * n + 1]);
    for (int i : {1, 3, 5, 7, 14, 15})
        QCOMPARE(s.buffer.configArea[i], loaded.configArea[i]);

    QCOMPARE(static_cast<int>(RunVerify(s)), static_cast<int>(Outcome::Passed));
    QCOMPARE(QString::fromStdString(s.view.note), QString("ベリファイは正常終了しました。 "));

    QFile log(dir.filePath("LOG.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString line = QString::fromUtf8(log.readAll());
    QVERIFY2(line.startsWith("プログラミング成功。"), qPrintable(line));
    QVERIFY(line.endsWith("  PIC16F84A  " + dir.filePath("prog.hex") + "\r\n"));

    s.link.Close();
    board.terminate();
    board.waitForFinished(5000);
}

QTEST_MAIN(ProgramEndToEndTest)
#include "program_endtoend_test.moc"
