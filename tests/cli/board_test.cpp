// The board commands against the built-in simulated board, whose chip is kept
// in a state file between runs; and ports that lead to no board.
#include <QFile>
#include <QProcess>
#include <csignal>
#include <sstream>
#include <vector>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "clirun.h"
#include "support/ptyboard.h"

namespace vx::clitest {
namespace {

// Two small PIC16F84A images that differ in words 2 and 3 and in EEPROM cell 1.
const char* const kFirst =
    ":10000000831686018312553086000820860903284E\r\n"
    ":044200004800690009\r\n"
    ":02400E00F13F80\r\n"
    ":00000001FF\r\n";
const char* const kSecond =
    ":1000000083168601AA305530860008208609032809\r\n"
    ":04420000480068000A\r\n"
    ":02400E00F13F80\r\n"
    ":00000001FF\r\n";

class Sim : public CliTest {
protected:
    Sim() {
        writeFile("first.hex", kFirst);
        writeFile("second.hex", kSecond);
    }
    RunResult sim(const QStringList& args) {
        return cli(QStringList{"--port", "sim", "--sim-state", path("chip.sim"), "--device", "PIC16F84A"} + args);
    }
};

TEST_F(Sim, ProgramThenReadInAnotherRunGivesTheSameImage) {
    const auto program = sim({"program", "first.hex"});
    ASSERT_EQ(program.exitCode, 0) << program.out << program.err;
    EXPECT_TRUE(Contains(program.out, "ブランクチェック終了。　デバイスは消去されています。")) << program.out;
    EXPECT_TRUE(Contains(program.out, "プログラミング成功。")) << program.out;

    const auto read = sim({"read", "-o", "back.hex"});
    ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
    EXPECT_TRUE(Contains(read.out, "読み出し完了。")) << read.out;

    // The window's save of the file and of the chip read back are the same image.
    ASSERT_EQ(cli({"--device", "PIC16F84A", "convert", "first.hex", "expected.hex"}).exitCode, 0);
    EXPECT_EQ(readFile("back.hex"), readFile("expected.hex"));

    const auto verify = sim({"verify", "first.hex"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
    EXPECT_TRUE(Contains(verify.out, "ベリファイは正常終了しました。")) << verify.out;
}

// --keep-eeprom: program memory takes the new file and is verified, the
// chip's EEPROM keeps the old data.
TEST_F(Sim, KeepEepromProgramsTheCodeAndLeavesTheChipsEeprom) {
    ASSERT_EQ(sim({"program", "first.hex"}).exitCode, 0);
    const auto kept = sim({"--yes", "--keep-eeprom", "program", "second.hex"});
    ASSERT_EQ(kept.exitCode, 0) << kept.out << kept.err;
    EXPECT_TRUE(Contains(kept.out, "ＥＥＰＲＯＭデータ保持")) << kept.out;
    EXPECT_TRUE(Contains(kept.out, "プログラムメモリのベリファイ中")) << kept.out;
    EXPECT_FALSE(Contains(kept.out, "ＥＥＰＲＯＭデータメモリのプログラミング")) << kept.out;

    const auto verify = sim({"verify", "second.hex"});
    EXPECT_EQ(verify.exitCode, 1) << verify.out;
    EXPECT_TRUE(Contains(verify.out, "Error　 アドレス:0x0001 , 正:0x68 , 誤:0x69\n")) << verify.out;
    EXPECT_FALSE(Contains(verify.out, "アドレス:0x0002")) << verify.out;
}

// Reads the watch's output until it holds `runs` summary lines (or 30 s pass).
std::string WaitForRuns(QProcess& watch, std::string& out, int runs) {
    for (int waited = 0; waited < 300; ++waited) {
        int lines = 0;
        for (std::size_t at = out.find("watch: "); at != std::string::npos; at = out.find("watch: ", at + 1))
            ++lines;
        if (lines >= runs)
            break;
        watch.waitForReadyRead(100);
        out += watch.readAllStandardOutput().toStdString();
    }
    return out;
}

TEST_F(Sim, WatchProgramsEachVersionOfTheFileUntilCtrlC) {
    writeFile("blink.hex", kFirst);
    QProcess watch;
    watch.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("VORMEX_SETTINGS_FILE");
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    watch.setProcessEnvironment(env);
    watch.start(VORMEX_CLI, {"--ini", iniPath, "--settings", settingsPath, "--port", "sim", "--sim-state",
                             path("chip.sim"), "--device", "PIC16F84A", "watch", "blink.hex"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string out;
    EXPECT_TRUE(Contains(WaitForRuns(watch, out, 1), "  passed  ")) << out;
    writeFile("blink.hex", kSecond);
    WaitForRuns(watch, out, 2);
    writeFile("blink.hex", std::string(kFirst) + "\r\n");
    WaitForRuns(watch, out, 3);
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(30000));
    out += watch.readAllStandardOutput().toStdString();
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0) << out;
    EXPECT_FALSE(Contains(out, "failed")) << out;
    EXPECT_TRUE(Contains(out, "HEXファイルの変更を検出し、再ロードしました。")) << out;

    std::size_t runs = 0;
    for (std::size_t at = out.find("watch: "); at != std::string::npos; at = out.find("watch: ", at + 1))
        ++runs;
    EXPECT_EQ(runs, 3u) << out;

    // The chip holds the version written last.
    const auto verify = sim({"verify", "blink.hex"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
    EXPECT_EQ(sim({"verify", "second.hex"}).exitCode, 1);
}

TEST_F(Sim, WatchOnceEndsAtTheFirstFailedRunAndAMissingFileIsBadInput) {
    // An EPROM part cannot take the second image over the first: verify fails.
    const QStringList eprom{"--port", "sim", "--sim-state", path("chip.sim"), "--device", "PIC16C620A"};
    ASSERT_EQ(cli(eprom + QStringList{"program", "first.hex"}).exitCode, 0);
    // Without --yes the first run asks as program does: nothing is written.
    const std::string before = readFile("chip.sim");
    const auto asked = cli(eprom + QStringList{"watch", "--once", "second.hex"}, 30000);
    ASSERT_TRUE(asked.finished) << asked.out;
    EXPECT_EQ(asked.exitCode, 1) << asked.out << asked.err;
    EXPECT_TRUE(Contains(asked.out, "  cancelled  ")) << asked.out;
    EXPECT_EQ(readFile("chip.sim"), before);
    const auto once = cli(eprom + QStringList{"--yes", "watch", "--once", "second.hex"}, 30000);
    ASSERT_TRUE(once.finished) << once.out;
    EXPECT_EQ(once.exitCode, 1) << once.out << once.err;
    EXPECT_TRUE(Contains(once.out, "  failed  ")) << once.out;

    EXPECT_EQ(sim({"watch", "missing.hex"}).exitCode, 2);
}

TEST_F(Sim, VerifyOfAnotherFileExits1AndListsTheDifferences) {
    ASSERT_EQ(sim({"program", "first.hex"}).exitCode, 0);
    const auto r = sim({"verify", "second.hex"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Error　 アドレス:0x0002 , 正:0x30AA , 誤:0x1283\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error　 アドレス:0x0001 , 正:0x68 , 誤:0x69\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "アドレス:0x0003")) << r.out;
    EXPECT_TRUE(Contains(r.out, "!! ベリファイエラーを検出しました。")) << r.out;
    EXPECT_TRUE(Contains(r.out, "[error] ベリファイエラー")) << r.out;
    EXPECT_TRUE(Contains(r.out, "相違ワード数　プログラムメモリ：1　ＥＥＰＲＯＭデータメモリ：1")) << r.out;
}

TEST_F(Sim, BlankCheckTellsAnErasedChipFromAProgrammedOne) {
    const auto fresh = sim({"blank"});
    EXPECT_EQ(fresh.exitCode, 0) << fresh.out;
    EXPECT_TRUE(Contains(fresh.out, "デバイスは消去されています。")) << fresh.out;

    ASSERT_EQ(sim({"program", "first.hex"}).exitCode, 0);
    const auto programmed = sim({"blank"});
    EXPECT_EQ(programmed.exitCode, 1) << programmed.out;
    EXPECT_TRUE(Contains(programmed.out, "!! デバイスは消去されてません。")) << programmed.out;

    const auto erase = sim({"erase"});
    EXPECT_EQ(erase.exitCode, 0) << erase.out;
    EXPECT_TRUE(Contains(erase.out, "プログラムメモリを消去ました。")) << erase.out;
    // The bulk erase leaves EEPROM data: the chip is still not blank.
    EXPECT_EQ(sim({"blank"}).exitCode, 1);
}

TEST_F(Sim, OverwritingAProgrammedChipNeedsYes) {
    ASSERT_EQ(sim({"program", "first.hex"}).exitCode, 0);

    const auto cancelled = sim({"program", "second.hex"});
    EXPECT_EQ(cancelled.exitCode, 1) << cancelled.out;
    EXPECT_TRUE(Contains(cancelled.out, "上書き操作をキャンセルしました。")) << cancelled.out;
    EXPECT_EQ(sim({"verify", "first.hex"}).exitCode, 0) << "nothing written";

    const auto confirmed = sim({"--yes", "program", "second.hex"});
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.out;
    EXPECT_EQ(sim({"verify", "second.hex"}).exitCode, 0);

    // Without the blank check there is no question to answer.
    const auto skipped = sim({"--skip-blank", "program", "first.hex"});
    EXPECT_EQ(skipped.exitCode, 0) << skipped.out;
    EXPECT_FALSE(Contains(skipped.out, "ブランクチェック中")) << skipped.out;
    EXPECT_EQ(sim({"verify", "first.hex"}).exitCode, 0);

    // Each verdict leaves the window's log line in the database's folder; earlier runs' lines stay.
    const std::string log = readFile("LOG.txt");
    EXPECT_TRUE(Contains(log, "プログラミング成功。")) << log;
    EXPECT_TRUE(Contains(log, "  PIC16F84A  " + path("second.hex").toStdString() + "\r\n")) << log;
    EXPECT_TRUE(Contains(log, "  PIC16F84A  " + path("first.hex").toStdString() + "\r\n")) << log;
}

TEST_F(Sim, ReaderThatGoesAwayDoesNotStopProgramming) {
    // stdout is a pipe whose reading end is already closed, as after "| head -1".
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().toLocal8Bit().constData());
    std::vector<std::string> args = {VORMEX_CLI, "--ini", iniPath.toStdString(), "--settings",
                                     settingsPath.toStdString(), "--port", "sim", "--sim-state",
                                     path("chip.sim").toStdString(), "--device", "PIC16F84A", "program",
                                     "first.hex"};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, VORMEX_CLI, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(sim({"verify", "first.hex"}).exitCode, 0);
}

// Chip B already holds chip A's program but has its own factory calibration
// word; programmed in a new process it keeps that word and the run passes.
TEST_F(Sim, ProgrammedChipKeepsItsOwnCalibrationWordInANewRun) {
    struct Case {
        const char* device;
        const char* hex;
        int own;
    };
    for (const Case& c : {Case{"PIC12C508", ":04000000120C000AD4\r\n:00000001FF\r\n", 0x0C55},
                          Case{"PIC12C671", ":040000001230002892\r\n:00000001FF\r\n", 0x3455}}) {
        SCOPED_TRACE(c.device);
        writeFile("a.hex", c.hex);
        QFile::remove(path("chip.sim"));
        auto run = [&](const QStringList& args) {
            return cli(QStringList{"--port", "sim", "--sim-state", path("chip.sim"), "--device", c.device} + args);
        };
        // The last number of the state file's program line is the calibration word.
        auto lastWord = [&](std::string* state) {
            const std::size_t end = state->find('\n', state->find("\nprogram") + 1);
            return std::pair{state->rfind(' ', end) + 1, end};
        };
        const auto a = run({"program", "a.hex"});
        ASSERT_EQ(a.exitCode, 0) << a.out;
        std::string state = readFile("chip.sim");
        const auto [from, to] = lastWord(&state);
        state.replace(from, to - from, std::to_string(c.own));
        writeFile("chip.sim", state);

        const auto b = run({"--yes", "program", "a.hex"});
        EXPECT_EQ(b.exitCode, 0) << b.out;
        EXPECT_TRUE(Contains(b.out, "プログラミング成功。")) << b.out;
        state = readFile("chip.sim");
        const auto [at, end] = lastWord(&state);
        EXPECT_EQ(state.substr(at, end - at), std::to_string(c.own));
    }
}

// Erase as the window offers it: not on PIC12F629/675, whose bulk erase
// would take the factory calibration with it.
TEST_F(Sim, EraseIsRefusedWhereTheWindowDoesNotOfferIt) {
    const QStringList chip = {"--port", "sim", "--sim-state", path("chip.sim"), "--device", "PIC12F675"};
    ASSERT_EQ(cli(chip + QStringList{"blank"}).exitCode, 0);
    const std::string before = readFile("chip.sim");
    const auto r = cli(chip + QStringList{"erase"});
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, "erase is not offered for PIC12F675")) << r.err;
    EXPECT_FALSE(Contains(r.out, "消去ました")) << r.out;
    EXPECT_EQ(readFile("chip.sim"), before);
}

TEST_F(Sim, DetectNamesTheBoard) {
    const auto r = cli({"--port", "sim", "detect"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "ライターを COM1に検出しました。")) << r.out;
    EXPECT_TRUE(Contains(r.out, "TAVPIC-PGMV")) << r.out;
}

TEST_F(Sim, StateFileThatHoldsNoChipExits2) {
    writeFile("chip.sim", "not a chip\n");
    const auto r = sim({"blank"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "not a simulated chip")) << r.err;
    EXPECT_EQ(readFile("chip.sim"), "not a chip\n") << "left as it was";
}

class Ports : public CliTest {};

TEST_F(Ports, NoPortChosenExits3) {
    const auto r = cli({"detect"});
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_TRUE(Contains(r.out, "通信ポートを選んでください。")) << r.out;
}

TEST_F(Ports, PathThatIsNotASerialDeviceExits3) {
    writeFile("plain.txt", "just a file\n");
    for (const QString& port : {path("plain.txt"), path("missing-tty"), QString("/dev/null")}) {
        writeFile("one.hex", ":02000000831665\r\n");
        const auto r = cli({"--port", port, "--device", "PIC16F84A", "program", "one.hex"}, 20000);
        EXPECT_TRUE(r.finished) << port.toStdString();
        EXPECT_EQ(r.exitCode, 3) << port.toStdString() << r.out;
    }
}

// The board's end of the line goes away in the middle of a Read: vormex-cli
// stops waiting at once and exits with the link failure's status.
TEST_F(Ports, BoardThatHangsUpDuringAReadExits4AtOnce) {
    test::PtyBoard board(path("ttyBOARD").toStdString());
    ASSERT_TRUE(board.ok());
    board.serveUntilARead();
    // A part without a device ID: the board answers no configuration read.
    const auto r = cli({"--port", path("ttyBOARD"), "--device", "PIC16F84", "read"});
    const std::int64_t ended = test::PtyBoard::NowMs();
    board.join();
    EXPECT_EQ(r.exitCode, 4) << r.out;
    EXPECT_TRUE(Contains(r.out, "プログラムメモリ読み出しブランクチェック失敗。　　終了コードを受信できませんでした。")) << r.out;
    ASSERT_GE(board.hungUpAtMs, 0);
    EXPECT_LT(ended - board.hungUpAtMs, 700);  // not the 1 s of an idle time-out
}

// The window's first start maps COM1 to the simulated board. A script that
// follows a mapping to it must not report a chip as programmed: only an
// explicit --port sim reaches that board.
TEST_F(Ports, StoredMappingToTheSimulatedBoardIsRefused) {
    const std::string settings = "[Settings]\nComNo=4\nComDevice4=sim\n";
    writeFile("settings.ini", settings);
    writeFile("one.hex", ":02000000831665\r\n:00000001FF\r\n");
    environment = {"VORMEX_SETTINGS_FILE=" + settingsPath};
    const QList<QStringList> runs = {
        {"--port", "COM4", "--device", "PIC16F84A", "program", "one.hex"},
        {"--device", "PIC16F84A", "program", "one.hex"},
        {"--port", "COM4", "detect"},
    };
    for (const QStringList& args : runs) {
        const auto r = rawCli(QStringList{"--ini", iniPath} + args);
        EXPECT_EQ(r.exitCode, 3) << args.join(' ').toStdString() << r.out << r.err;
        EXPECT_FALSE(Contains(r.out, "プログラミング成功")) << r.out;
        EXPECT_FALSE(Contains(r.out, "検出しました")) << r.out;
        EXPECT_TRUE(Contains(r.err, "COM4 is mapped to the built-in simulated board")) << r.err;
        EXPECT_TRUE(Contains(r.err, "--port sim")) << r.err;
    }
    EXPECT_FALSE(QFile::exists(path("LOG.txt"))) << "no verdict was logged";

    // Named explicitly, the simulated board answers; another COM number maps as the window maps it.
    const auto sim = cli({"--port", "sim", "--device", "PIC16F84A", "program", "one.hex"});
    EXPECT_EQ(sim.exitCode, 0) << sim.out << sim.err;
    EXPECT_TRUE(Contains(sim.out, "プログラミング成功。")) << sim.out;
    writeFile("board.txt", "no board here\n");
    writeFile("settings.ini", settings + "ComDevice2=" + path("board.txt").toStdString() + "\n");
    const auto other = cli({"--port", "COM2", "detect"}, 20000);
    EXPECT_EQ(other.exitCode, 3) << other.out;
    EXPECT_FALSE(Contains(other.err, "simulated")) << other.err;

    // The CLI never writes the window's settings.
    EXPECT_EQ(readFile("settings.ini"), settings + "ComDevice2=" + path("board.txt").toStdString() + "\n");
}

// A reload that fails the strict check leaves the chip as the last good run left it.
TEST_F(Sim, WatchReloadsOnlyFilesThatPassTheStrictCheck) {
    writeFile("blink.hex", kFirst);
    QProcess watch;
    watch.setWorkingDirectory(dir.path());
    watch.start(VORMEX_CLI, {"--ini", iniPath, "--settings", settingsPath, "--port", "sim", "--sim-state",
                             path("chip.sim"), "--device", "PIC16F84A", "watch", "blink.hex"});
    ASSERT_TRUE(watch.waitForStarted());
    std::string out;
    EXPECT_TRUE(Contains(WaitForRuns(watch, out, 1), "  passed  ")) << out;
    const std::string lower = ":1000000083168601aa305530860008208609032809\r\n:00000001FF\r\n";
    const std::string shortRecord = ":1000000083168601AA3055308600\r\n:00000001FF\r\n";
    for (const std::string& bad : {lower, shortRecord}) {
        writeFile("blink.hex", bad);
        for (int waited = 0; waited < 50 && !Contains(out, "誤りがあります"); ++waited) {
            watch.waitForReadyRead(100);
            out += watch.readAllStandardOutput().toStdString();
        }
        EXPECT_TRUE(Contains(out, "blink.hex:1: ")) << out;
        out.clear();
    }
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(30000));
    out += watch.readAllStandardOutput().toStdString();
    EXPECT_FALSE(Contains(out, "watch: ")) << out;  // no second run
    EXPECT_EQ(sim({"verify", "first.hex"}).exitCode, 0);
}

// A protected chip's EEPROM cannot be read, so cannot be kept: refused before the erase.
TEST_F(Sim, KeepEepromOnAProtectedChipIsRefused) {
    writeFile("protected.hex", ":044200004800690009\r\n:02400E000100AF\r\n:00000001FF\r\n");
    ASSERT_EQ(sim({"program", "protected.hex"}).exitCode, 0);
    const std::string before = readFile("chip.sim");
    const auto kept = sim({"--yes", "--keep-eeprom", "program", "second.hex"});
    EXPECT_EQ(kept.exitCode, 2) << kept.out << kept.err;
    EXPECT_TRUE(Contains(kept.out, "保持できません")) << kept.out;
    EXPECT_FALSE(Contains(kept.out, "復元")) << kept.out;
    EXPECT_EQ(readFile("chip.sim"), before);
    // Without --keep-eeprom the chip is written whole.
    EXPECT_EQ(sim({"--yes", "program", "second.hex"}).exitCode, 0);
}

// The EEPROM cells a simulated chip's state file holds.
std::vector<int> ChipData(const std::string& state) {
    std::vector<int> cells;
    const auto at = state.find("\ndata");
    if (at == std::string::npos)
        return cells;
    std::istringstream line(state.substr(at + 5, state.find('\n', at + 1) - at - 5));
    for (int value; line >> value;)
        cells.push_back(value);
    return cells;
}

// --keep-eeprom with a serial number in EEPROM: the chip keeps its cells but
// the number's, and holds the number.
TEST_F(Sim, KeptEepromTakesTheSerialNumber) {
    ASSERT_EQ(sim({"program", "first.hex"}).exitCode, 0);
    const auto run = cli({"serial", path("run.db"), "--quantity", "3", "--address", "0x10", "--mode", "eeprom",
                          "--start", "0x2A"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto kept = sim({"--yes", "--keep-eeprom", "program", "second.hex", "--serial", path("run.db")});
    ASSERT_EQ(kept.exitCode, 0) << kept.out << kept.err;
    EXPECT_TRUE(Contains(kept.out, "ＥＥＰＲＯＭデータ保持　シリアル番号 2A")) << kept.out;
    const auto cells = ChipData(readFile("chip.sim"));
    ASSERT_GT(cells.size(), 0x10u);
    EXPECT_EQ(cells[0x10], 0x2A);
    EXPECT_EQ(cells[1], 0x69);  // the chip's own, not second.hex's 0x68
}

}  // namespace
}  // namespace vx::clitest
