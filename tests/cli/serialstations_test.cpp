// A production run shared by parallel vormex-cli stations: every passed chip
// holds its own number, none twice, none lost, whatever fails or is killed.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <signal.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "clirun.h"
#include "serialization/runstore.h"
#include "support/pgcluster.h"

namespace vx::clitest {
namespace {

constexpr int kStations = 4;
constexpr int kChipsEach = 25;
constexpr int kStart = 5000;
constexpr int kAddress = 0x3F0;

class SerialStations : public CliTest {
protected:
    SerialStations() {
        writeFile("prog.hex", ":04000000553000284F\n:00000001FF\n");  // movlw 0x55; goto 0
    }
    QStringList program(const QString& chip) {
        return {"--port", "sim", "--sim-state", path(chip), "--device", "PIC16F84A", "--yes",
                "program", path("prog.hex"), "--serial", path("run.db")};
    }
    // The number a simulated chip holds: RETLW words at kAddress, most significant first.
    std::optional<int> chipNumber(const QString& chip) { return SimChipSerial(readFile(chip), kAddress); }
    void badChip(const QString& chip) { writeFile(chip, SimBadChip()); }
    // The socket's chip was never written.
    bool blank(const QString& chip) {
        std::string words;
        for (int i = 0; i < 1024; ++i)
            words += " 16383";
        return Contains(readFile(chip), "\nprogram" + words + "\n");
    }
    // A number of the run is out with this process.
    std::optional<NumberState> heldBy(qint64 pid) {
        std::string error;
        const auto store = RunStore::open(path("run.db").toStdString(), error);
        const auto state = store ? store->load(error) : std::nullopt;
        for (const auto& h : state ? state->held : std::vector<HeldNumber>{})
            if (h.station.pid == pid && (h.state == NumberState::Reserved || h.state == NumberState::Writing))
                return h.state;
        return std::nullopt;
    }
};

TEST_F(SerialStations, FourStationsShareOneRunWithoutRepeatsOrGaps) {
    ASSERT_EQ(cli({"serial", path("run.db"), "--start", QString::number(kStart), "--quantity", "100", "--address",
                   "0x3F0", "--bytes", "2", "--mode", "retlw"})
                  .exitCode,
              0);
    std::mutex mutex;
    std::vector<QString> passed;
    std::vector<std::string> problems;
    bool killed = false;

    auto station = [&](int k) {
        int attempts = 0, passes = 0;
        auto note = [&](const std::string& text) {
            std::lock_guard lock(mutex);
            problems.push_back("station " + std::to_string(k) + ": " + text);
        };
        while (passes < kChipsEach && attempts < kChipsEach + 10) {
            const QString chip = QString("st%1_%2.sim").arg(k).arg(attempts++);
            if (attempts == 4) {
                // The injected failure: the number goes back to the run.
                badChip(chip);
                const auto r = cli(program(chip));
                if (r.exitCode != 1)
                    note("bad chip gave " + std::to_string(r.exitCode) + r.err);
                continue;
            }
            if (k == 0 && attempts >= 8 && !killed) {
                // Killed while it programs, holding a number; the station is started again.
                QProcess process;
                process.setWorkingDirectory(dir.path());
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
                process.setProcessEnvironment(env);
                process.start(VORMEX_CLI, QStringList{"--ini", iniPath, "--settings", settingsPath} + program(chip));
                process.waitForStarted();
                const auto pid = static_cast<pid_t>(process.processId());
                bool gone = false;
                for (int i = 0; i < 5000 && process.state() == QProcess::Running && !gone; ++i) {
                    if (heldBy(pid)) {
                        // Stopped first, so it cannot commit between the look and the kill.
                        ::kill(pid, SIGSTOP);
                        QThread::msleep(20);
                        gone = heldBy(pid).has_value();
                        ::kill(pid, gone ? SIGKILL : SIGCONT);
                        break;
                    }
                    QThread::usleep(200);
                }
                process.waitForFinished();
                if (gone) {
                    // Its number comes back, or, if the chip may hold it, waits to be settled:
                    // the killed chip holds nothing (its write never finished), so it is free.
                    const auto settle = cli({"serial", path("run.db"), "--list-settle"});
                    std::istringstream numbers(settle.out);
                    for (std::string n; std::getline(numbers, n);)
                        if (cli({"serial", path("run.db"), "--settle", QString::fromStdString(n), "free"}).exitCode != 0)
                            note("settle " + n);
                    std::lock_guard lock(mutex);
                    killed = true;
                } else if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
                    ++passes;  // too quick to catch: a chip like any other
                    std::lock_guard lock(mutex);
                    passed.push_back(chip);
                }
                continue;
            }
            const auto r = cli(program(chip));
            if (r.exitCode != 0) {
                note("chip " + chip.toStdString() + " exit " + std::to_string(r.exitCode) + ": " + r.err);
                continue;
            }
            ++passes;
            std::lock_guard lock(mutex);
            passed.push_back(chip);
        }
    };
    std::vector<std::thread> threads;
    for (int k = 0; k < kStations; ++k)
        threads.emplace_back(station, k);
    for (auto& t : threads)
        t.join();
    for (const auto& p : problems)
        ADD_FAILURE() << p;
    EXPECT_TRUE(killed);

    // Every passed chip read back: exactly kStart .. kStart + 99, each once.
    ASSERT_EQ(passed.size(), std::size_t{kStations * kChipsEach});
    std::set<int> numbers;
    for (const auto& chip : passed) {
        const auto n = chipNumber(chip);
        ASSERT_TRUE(n) << chip.toStdString();
        EXPECT_TRUE(numbers.insert(*n).second) << "twice: " << *n;
    }
    EXPECT_EQ(*numbers.begin(), kStart);
    EXPECT_EQ(*numbers.rbegin(), kStart + 99);
    EXPECT_EQ(numbers.size(), 100u);

    // One record line per passed chip, with the number it holds.
    std::istringstream record(readFile("SERIAL_LOG.txt"));
    std::set<int> recorded;
    int lines = 0;
    const std::regex line(R"(^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d  PIC16F84A  (\d+)  ([0-9A-F]{2}):([0-9A-F]{2})  .*prog\.hex  [0-9A-F]{4}  COM1 \(sim\)\r$)");
    for (std::string text; std::getline(record, text); ++lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        const int value = std::stoi(m[1]);
        EXPECT_EQ(value, std::stoi(m[2].str() + m[3].str(), nullptr, 16));
        recorded.insert(value);
    }
    EXPECT_EQ(lines, 100);
    EXPECT_EQ(recorded, numbers);

    // The run is used up: the next chip is refused before it is touched.
    const auto more = cli(program("extra.sim"));
    EXPECT_EQ(more.exitCode, 2);
    EXPECT_TRUE(Contains(more.out, "予定の書き込み数量に達しました。")) << more.out;
    EXPECT_TRUE(blank("extra.sim"));
    const auto state = cli({"serial", path("run.db")});
    EXPECT_EQ(state.exitCode, 0);
    EXPECT_TRUE(Contains(state.out, "recorded 100  next -  returned 0  reserved 0  writing 0  to settle 0")) << state.out;

    // The report lists every chip attempted, with its station, image and
    // verdict: the passes and the bad chips the stations printed.
    const auto csv = cli({"report", path("run.db"), "--format", "csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    std::istringstream rows(csv.out);
    std::string header;
    std::getline(rows, header);
    EXPECT_EQ(header.rfind("time_utc,station,operator,device,device_id,", 0), 0u) << header;
    const std::regex row(R"(^[^,]+,([^,]+),[^,]*,PIC16F84A,0x0560,[^,]*,[^,]*,[0-9A-F]{4},([0-9a-f]{64}),([0-9a-f]{64}),(\d+),(passed|failed),.*)");
    std::set<int> passedRows;
    std::set<std::string> hexes;
    int failedRows = 0;
    for (std::string text; std::getline(rows, text);) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, row)) << text;
        EXPECT_FALSE(m[1].str().empty());
        hexes.insert(m[2]);
        if (m[5] == "passed")
            EXPECT_TRUE(passedRows.insert(std::stoi(m[4])).second) << text;
        else
            ++failedRows;
    }
    EXPECT_EQ(passedRows, numbers);
    EXPECT_EQ(failedRows, kStations);  // one bad chip each
    EXPECT_EQ(hexes.size(), 1u);

    // What was made, as the customer's list, read back as a new run: the same values in order.
    ASSERT_EQ(cli({"serial", path("run.db"), "--export-sqtp", path("made.num"), "--device", "PIC16F84A"}).exitCode, 0);
    ASSERT_EQ(cli({"serial", path("again.db"), "--from-sqtp", path("made.num"), "--device", "PIC16F84A"}).exitCode, 0);
    std::string error;
    const auto again = RunStore::open(path("again.db").toStdString(), error);
    ASSERT_TRUE(again) << error;
    std::vector<std::int64_t> expected;
    for (int n = kStart; n < kStart + 100; ++n)
        expected.push_back(n);
    EXPECT_EQ(again->plannedValues(error), expected);
    const auto listed = again->load(error);
    ASSERT_TRUE(listed) << error;
    EXPECT_EQ(listed->settings.address, kAddress);
    EXPECT_EQ(listed->settings.bytes, 2);
    EXPECT_EQ(listed->settings.source, SerialSource::List);
}

TEST_F(SerialStations, BadStateFilesAndSettingsNeverProgramAChip) {
    auto refused = [&](const QStringList& args, const std::string& says) {
        const auto r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(Contains(r.err + r.out, says)) << r.err << r.out;
    };
    const QString run = path("run.db");
    refused(program("a.sim"), "を開けません");
    writeFile("run.db", "");
    refused(program("a.sim"), "シリアル番号の管理ファイルではありません");
    // A run file of the earlier text form, damaged: refused, and left as it was.
    const std::string text = "vormex serial run 1\nmode retlw\nstart 0\nincrement 1\nquantity 10\naddress 0x3F0\n"
                             "bytes 2\nnext 0\ncount 0\nreturned\nend\n";
    writeFile("run.db", text.substr(0, text.size() / 2));
    refused(program("a.sim"), "壊れています");
    std::string nonsense = text;
    nonsense.replace(nonsense.find("count 0"), 7, "count 7");
    writeFile("run.db", nonsense);
    refused(program("a.sim"), "番号の数が合いません");
    EXPECT_EQ(readFile("run.db"), nonsense);
    // Another program's database, and a store of a newer version.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path("other.db").toLocal8Bit().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE parts (name TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    refused({"--port", "sim", "--sim-state", path("a.sim"), "--device", "PIC16F84A", "program", path("prog.hex"),
             "--serial", path("other.db")},
            "シリアル番号の管理ファイルではありません");
    ASSERT_EQ(cli({"serial", path("good.db"), "--quantity", "10", "--address", "0x3F0", "--bytes", "2"}).exitCode, 0);
    ASSERT_EQ(sqlite3_open(path("good.db").toLocal8Bit().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE vormex_meta SET value = '9' WHERE name = 'schema'", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    refused({"serial", path("good.db")}, "新しい版で作られたシリアル番号の管理ファイルです");
    // A run whose rows are damaged: found before the board is searched.
    ASSERT_EQ(cli({"serial", path("bent.db"), "--quantity", "10", "--address", "0x3F0", "--bytes", "2"}).exitCode, 0);
    ASSERT_EQ(sqlite3_open(path("bent.db").toLocal8Bit().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE serial_run SET next_index = 11", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    refused({"--port", "sim", "--sim-state", path("a.sim"), "--device", "PIC16F84A", "program", path("prog.hex"),
             "--serial", path("bent.db")},
            "壊れています");
    refused({"serial", QString::fromStdString(test::PgCluster::unreachable())}, "PostgreSQL サーバーに接続できません");
    EXPECT_FALSE(QFile::exists(path("a.sim")));

    refused({"serial", run + "2", "--start", "9223372036854775807", "--quantity", "1", "--address", "0"},
            "収まりません");
    refused({"serial", run + "2", "--start", "9223372036854775808", "--quantity", "1", "--address", "0"},
            "--start 9223372036854775808");
    refused({"serial", path("good.db"), "--quantity", "1", "--address", "0"}, "すでにあります");
    refused({"serial", run + "2", "--quantity", "1", "--address", "0", "--mode", "flash"}, "--mode flash");
    refused({"serial", run, "--settle", "5", "maybe"}, "say used or free");

    // An address beyond memory: refused before the board is touched, the number kept.
    ASSERT_EQ(cli({"serial", path("far.db"), "--quantity", "2", "--address", "0x3FF", "--bytes", "2"}).exitCode, 0);
    const QStringList far = {"--port", "sim", "--sim-state", path("far.sim"), "--device", "PIC16F84A",
                             "program", path("prog.hex"), "--serial", path("far.db")};
    refused(far, "プログラムメモリ (0x400 ワード) を超えています");
    EXPECT_TRUE(blank("far.sim"));
    EXPECT_TRUE(Contains(cli({"serial", path("far.db")}).out, "recorded 0  next 0  returned 0  reserved 0"));
    // A number that is not to be settled: refused, nothing changed.
    refused({"serial", path("far.db"), "--settle", "0", "used"}, "シリアル番号 0 は確認待ちの番号ではありません。");
    EXPECT_TRUE(Contains(cli({"serial", path("far.db")}).out, "recorded 0  next 0  returned 0  reserved 0"));
}

TEST_F(SerialStations, AStationThatDiedHoldingTheStoreHoldsNothing) {
    const QString run = path("run.db");
    ASSERT_EQ(cli({"serial", run + "3", "--quantity", "10", "--address", "0x3F0", "--bytes", "2"}).exitCode, 0);
    int locked[2];
    ASSERT_EQ(::pipe(locked), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        sqlite3* held = nullptr;
        sqlite3_open((run + "3").toLocal8Bit().constData(), &held);
        sqlite3_exec(held, "BEGIN IMMEDIATE; UPDATE serial_run SET moved_to = moved_to", nullptr, nullptr, nullptr);
        (void)::write(locked[1], "x", 1);
        ::pause();
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(locked[0], &byte, 1), 1);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    const auto r = cli({"--port", "sim", "--sim-state", path("b.sim"), "--device", "PIC16F84A", "program",
                        path("prog.hex"), "--serial", run + "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(chipNumber("b.sim"), 0);
}

// Stopped before the chip, with the reason: a run whose start was edited, a
// user who may only read the store, a full disk. The reader leaves nothing
// that would stop the owner's next station.
TEST_F(SerialStations, EditedRunsReadersAndFullDisksStopBeforeTheChip) {
    ASSERT_EQ(cli({"serial", path("run.db"), "--start", "5000", "--quantity", "10", "--address", "0x3F0", "--bytes",
                   "2"})
                  .exitCode,
              0);
    ASSERT_EQ(cli(program("a.sim")).exitCode, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path("run.db").toLocal8Bit().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE serial_run SET start_value = 4999", nullptr, nullptr, nullptr);
    auto r = cli(program("b.sim"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.out + r.err, "シリアル番号 5000 が生産の設定と合いません")) << r.out << r.err;
    EXPECT_TRUE(!QFile::exists(path("b.sim")) || blank("b.sim"));
    sqlite3_exec(db, "UPDATE serial_run SET start_value = 5000", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    const QStringList asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", VORMEX_CLI};
    if (geteuid() == 0 && !setpriv.isEmpty() && QProcess::execute(setpriv, asNobody + QStringList{"--version"}) == 0) {
        ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0777), 0);  // a shared folder
        auto asReader = [&](const QStringList& args) {
            QProcess reader;
            reader.setWorkingDirectory("/");
            reader.setProcessEnvironment(QProcessEnvironment());
            reader.start(setpriv, asNobody + args);
            EXPECT_TRUE(reader.waitForFinished(30000));
            return std::make_pair(reader.exitCode(), reader.readAllStandardOutput().toStdString() +
                                                         reader.readAllStandardError().toStdString());
        };
        const auto listed = asReader({"serial", path("run.db")});
        EXPECT_EQ(listed.first, 0) << listed.second;
        EXPECT_TRUE(Contains(listed.second, "recorded 1  next 5001")) << listed.second;
        for (const char* beside : {"-wal", "-shm"})
            EXPECT_FALSE(QFile::exists(path("run.db") + beside)) << beside;
        const auto station = asReader({"--port", "sim", "--sim-state", path("c.sim"), "--device", "PIC16F84A",
                                       "program", path("prog.hex"), "--serial", path("run.db")});
        EXPECT_EQ(station.first, 2);
        EXPECT_TRUE(Contains(station.second, "に書き込めません")) << station.second;
        EXPECT_TRUE(!QFile::exists(path("c.sim")) || blank("c.sim"));
        r = cli(program("d.sim"));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(chipNumber("d.sim"), 5001);
    }

    // A disk of 256 KiB: the store fits, the room for a chip's record does not.
    const QString unshare = QStandardPaths::findExecutable("unshare");
    const QString full = path("full");
    QDir().mkpath(full);
    const QString script =
        QString("mount -t tmpfs -o size=256k tmpfs '%1' || exit 77; cd '%1'; "
                "'%2' serial run.db --quantity 10 --address 0x3F0 --bytes 2 >/dev/null || exit 78; "
                "'%2' --ini '%3' --settings '%4' --port sim --sim-state '%5' --device PIC16F84A program '%6' "
                "--serial run.db >'%7' 2>&1; echo $? >>'%7'; '%2' serial run.db >>'%7'")
            .arg(full, VORMEX_CLI, iniPath, settingsPath, path("e.sim"), path("prog.hex"), path("full.txt"));
    const int code = unshare.isEmpty() ? 77 : runTool(unshare, {"-m", "sh", "-c", script});
    if (code == 77)
        GTEST_SKIP() << "no file system of its own can be mounted here";
    ASSERT_EQ(code, 0);
    const std::string said = readFile("full.txt");
    EXPECT_TRUE(Contains(said, "のディスクがいっぱいです。")) << said;
    EXPECT_TRUE(Contains(said, "\n2\n")) << said;
    EXPECT_TRUE(Contains(said, "recorded 0  next 0  returned 0  reserved 0")) << said;
    EXPECT_TRUE(!QFile::exists(path("e.sim")) || blank("e.sim"));
}

}  // namespace
}  // namespace vx::clitest
