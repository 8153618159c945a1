// The real serial path: vormex-cli on the pseudo-terminal of tools/boardsim.
#include <QProcess>
#include <csignal>

#include "clirun.h"

namespace vx::clitest {
namespace {

const char* const kImage =
    ":10000000831686018312553086000820860903284E\r\n"
    ":044200004800690009\r\n"
    ":02400E00F13F80\r\n"
    ":00000001FF\r\n";

class SerialBoard : public CliTest {
protected:
    ~SerialBoard() override {
        if (board.state() != QProcess::NotRunning) {
            board.terminate();
            if (!board.waitForFinished(5000))
                board.kill();
        }
    }

    // Starts a board with a PIC16F84A, or another device; false when
    // boardsim is not built or fails.
    bool startBoard(const QStringList& extra = {}, const QString& device = "PIC16F84A") {
#ifdef VORMEX_BOARDSIM
        board.start(VORMEX_BOARDSIM,
                    QStringList{"--device", device, "--ini", iniPath, "--calibration", "none", "--no-pacing"} + extra);
        while (!board.canReadLine() && board.waitForReadyRead(10000)) {
        }
        tty = QString::fromUtf8(board.readLine()).trimmed();
        return tty.startsWith('/');
#else
        (void)extra;
        (void)device;
        return false;
#endif
    }

    RunResult onBoard(const QStringList& args) {
        return cli(QStringList{"--port", tty, "--device", "PIC16F84A"} + args, 60000);
    }

    QProcess board;
    QString tty;
};

TEST_F(SerialBoard, ProgramsAndReadsBackThroughTheTerminal) {
    if (!startBoard())
        GTEST_SKIP() << "tools/boardsim is not built";
    writeFile("image.hex", kImage);
    const auto program = onBoard({"program", "image.hex"});
    ASSERT_EQ(program.exitCode, 0) << program.out << program.err;
    EXPECT_TRUE(Contains(program.out, "プログラミング成功。")) << program.out;

    const auto read = onBoard({"read", "-o", "back.hex"});
    ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
    ASSERT_EQ(cli({"--device", "PIC16F84A", "convert", "image.hex", "expected.hex"}).exitCode, 0);
    EXPECT_EQ(readFile("back.hex"), readFile("expected.hex"));
}

// boardsim's chip is the device's, ID included, unless it is given another.
TEST_F(SerialBoard, BoardsimChipCarriesTheDevicesId) {
    if (!startBoard({"--calibration", "0x3480"}, "PIC12F675"))
        GTEST_SKIP() << "tools/boardsim is not built";
    const auto r = cli({"--port", tty, "--device", "PIC12F675", "identify"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "デバイスID 0x0FC0：PIC12F675 リビジョン 0")) << r.out;
}

TEST_F(SerialBoard, BoardsimWithAnotherIdIsAWrongChip) {
    if (!startBoard({"--device-id", "0x1064"}))
        GTEST_SKIP() << "tools/boardsim is not built";
    writeFile("image.hex", kImage);
    const auto r = onBoard({"program", "image.hex"});
    EXPECT_EQ(r.exitCode, 5) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "デバイスID 0x1064：PIC16F628A リビジョン 4")) << r.out;
}

// The device ID is a configuration word: 14 bits.
TEST_F(SerialBoard, BoardsimRefusesADeviceIdWiderThanAWord) {
#ifdef VORMEX_BOARDSIM
    for (const char* id : {"0x4000", "-1"}) {
        QProcess refused;
        refused.start(VORMEX_BOARDSIM, {"--device", "PIC16F84A", "--ini", iniPath, "--device-id", id});
        ASSERT_TRUE(refused.waitForFinished(10000)) << id;
        EXPECT_EQ(refused.exitCode(), 2) << id;
        EXPECT_TRUE(refused.readAllStandardError().contains("bad argument: --device-id")) << id;
    }
#else
    GTEST_SKIP() << "tools/boardsim is not built";
#endif
}

TEST_F(SerialBoard, SilentBoardIsNoBoard) {
    if (!startBoard({"--fault", "silence=0"}))
        GTEST_SKIP() << "tools/boardsim is not built";
    const auto r = onBoard({"blank"});
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_TRUE(Contains(r.out, "ライターを検出できませんでした。")) << r.out;
}

TEST_F(SerialBoard, BoardThatFailsMidOperationExits4) {
    if (!startBoard({"--fault", "endcode"}))
        GTEST_SKIP() << "tools/boardsim is not built";
    const auto wrongEnd = onBoard({"blank"});
    EXPECT_EQ(wrongEnd.exitCode, 4) << wrongEnd.out;
    EXPECT_TRUE(Contains(wrongEnd.out, "終了コードを受信できませんでした。")) << wrongEnd.out;
}

TEST_F(SerialBoard, BoardFallingSilentMidOperationExits4) {
    // Identification twice for the search and once for the check, then nothing.
    if (!startBoard({"--fault", "silence=51"}))
        GTEST_SKIP() << "tools/boardsim is not built";
    writeFile("image.hex", kImage);
    const auto r = onBoard({"program", "image.hex"});
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 4) << r.out;
}

// Ctrl-C in the first run of watch on a slow board: the run ends with the
// chip whole, and the process with that run's status.
TEST_F(SerialBoard, CtrlCInTheFirstWatchRunLetsTheRunEnd) {
    if (!startBoard({"--fault", "delay=2"}))
        GTEST_SKIP() << "tools/boardsim is not built";
    writeFile("image.hex", kImage);
    QProcess watch;
    watch.setWorkingDirectory(dir.path());
    watch.start(VORMEX_CLI, {"--ini", iniPath, "--settings", settingsPath, "--port", tty, "--device", "PIC16F84A",
                             "watch", "image.hex"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string out;
    // Into the write of program memory, then Ctrl-C.
    for (int waited = 0; waited < 300 && !Contains(out, "プログラミング中"); ++waited) {
        watch.waitForReadyRead(100);
        out += watch.readAllStandardOutput().toStdString();
    }
    ASSERT_TRUE(Contains(out, "プログラミング中")) << out;
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(120000));
    out += watch.readAllStandardOutput().toStdString();
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0) << out;
    EXPECT_TRUE(Contains(out, "  passed  ")) << out;
    const auto verify = onBoard({"verify", "image.hex"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
}

}  // namespace
}  // namespace vx::clitest
