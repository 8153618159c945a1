// Four vormex-cli stations on one run, each chip a simulated board of its
// own, killed with SIGKILL at every point where the store is written or
// synced (the k-th write or sync of the station, for every k) and at random
// moments while the chip is written, each restarted after its kill; the
// store's disk full once during a commit. Whatever happened, no two chips
// hold the same number, every number is recorded, to settle, returned or
// never used, and after settling the run completes with every planned
// number recorded once. On SQLite and on a throwaway PostgreSQL server.
#include <QThread>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "clirun.h"
#include "serialization/runstore.h"
#include "support/pgcluster.h"

namespace vx::clitest {
namespace {

constexpr int kStations = 4;
constexpr int kQuantity = 60;
constexpr int kStart = 7000;
constexpr int kAddress = 0x3F0;
constexpr int kRandomKills = 3;

const char* const kFinished = "予定の書き込み数量に達しました";
const char* const kUnsettled = "残りのシリアル番号は確認待ちです";
const char* const kAllOut = "残りのシリアル番号はすべて他の書込み中の IC に割り当てられています";

class SerialTorture : public CliTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        writeFile("prog.hex", ":04000000553000284F\n:00000001FF\n");  // movlw 0x55; goto 0
        if (GetParam() == "postgres") {
            auto& cluster = test::SharedPgCluster();
            if (!cluster.running())
                GTEST_SKIP() << "skipped: " << cluster.whyNot();
            run = QString::fromStdString(cluster.newDatabase());
        } else {
            run = path("run.db");
        }
        ASSERT_EQ(cli({"serial", run, "--start", QString::number(kStart), "--quantity", QString::number(kQuantity),
                       "--address", "0x3F0", "--bytes", "2"})
                      .exitCode,
                  0);
    }

    QString newChip(int station) {
        std::lock_guard lock(mutex);
        const QString chip = QString("st%1_%2.sim").arg(station).arg(chips.size());
        chips.push_back(chip);
        return chip;
    }
    QStringList program(const QString& chip) {
        return {"--port", "sim", "--sim-state", path(chip), "--device", "PIC16F84A", "--yes",
                "program", path("prog.hex"), "--serial", run};
    }
    std::unique_ptr<RunStore> store() {
        std::string error;
        auto opened = RunStore::open(run.toStdString(), error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }
    void problem(const std::string& text) {
        std::lock_guard lock(mutex);
        problems.push_back(text);
    }

    // The operator: each number to settle is used when a chip holds it, else free.
    void settle() {
        std::lock_guard lock(operatorMutex);
        const auto listed = cli({"serial", run, "--list-settle"});
        std::set<int> held;
        for (const auto& chip : chipsSoFar())
            if (const auto n = SimChipSerial(readFile(chip), kAddress))
                held.insert(*n);
        std::istringstream numbers(listed.out);
        for (std::string n; std::getline(numbers, n);) {
            const bool used = held.count(std::stoi(n)) > 0;
            settledUsed += used ? 1 : 0;
            const auto r = cli({"serial", run, "--settle", QString::fromStdString(n), used ? "used" : "free"});
            if (r.exitCode != 0)
                problem("settle " + n + ": " + r.err);
        }
    }
    std::vector<QString> chipsSoFar() {
        std::lock_guard lock(mutex);
        return chips;
    }

    // One chip; false when the run has nothing left to give this station.
    bool normalChip(int k) {
        const auto r = cli(program(newChip(k)));
        return r.exitCode == 0 || carryOn(r, k);
    }
    // A chip the run refused: its numbers settled, or waited for; false once the run is finished.
    bool carryOn(const RunResult& r, int k) {
        if (Contains(r.out, kUnsettled)) {
            settle();
            return true;
        }
        if (Contains(r.out, kAllOut)) {
            QThread::msleep(20);
            return true;
        }
        if (!Contains(r.out, kFinished))
            problem("station " + std::to_string(k) + ": exit " + std::to_string(r.exitCode) + r.out + r.err);
        return false;
    }

    // Killed at its k-th store write or sync, for k = 1, 2, ... until runs
    // pass without reaching it (the last points, such as the checkpoint of
    // the last connection, come only in some runs): every point of a cycle.
    void killAtEveryPoint(int k) {
        for (int point = 1, passed = 0; point < 400;) {
            const auto r = cli(program(newChip(k)), 60000, {"VORMEX_STORE_FAULT=kill@" + QString::number(point)});
            if (r.exitCode == 0 && ++passed == 3)
                return;
            if (r.exitCode == 0) {
                ++point;
                continue;
            }
            if (r.exitCode == -1 && r.finished) {
                ++point;
                ++pointKills;
                passed = 0;
                continue;
            }
            if (!carryOn(r, k))
                return;
        }
        problem("station " + std::to_string(k) + ": never got past the kill points");
    }

    // A chip that fails once its write began, killed at every point, the
    // read-back of its number among them: the number is given back, or
    // waits to be settled, never used twice.
    void failAtEveryPoint(int k) {
        for (int point = 1, ended = 0; point < 400 && ended < 3; ++point) {
            const QString chip = newChip(k);
            writeFile(chip, SimBadChip());
            const auto r = cli(program(chip), 60000, {"VORMEX_STORE_FAULT=kill@" + QString::number(point)});
            if (r.exitCode == -1 && r.finished)
                ++failKills;
            else if (r.exitCode == 1)
                ++ended;
            else if (!carryOn(r, k))
                return;
        }
    }

    // Killed at a random moment once the chip's write has begun.
    void killWhileWriting(int k, std::mt19937& random) {
        const int us = std::uniform_int_distribution<int>(0, 30000)(random);
        for (;;) {
            const auto r = cli(program(newChip(k)), 60000, {"VORMEX_STORE_FAULT=kill@writing+" + QString::number(us)});
            if (r.exitCode == -1 && r.finished)
                ++writeKills;
            if (r.exitCode == 0 || r.exitCode == -1 || !carryOn(r, k))
                return;
        }
    }

    void diskFullOnce(int k) {
        const QString chip = newChip(k);
        const auto r = cli(program(chip), 60000, {"VORMEX_STORE_FAULT=full@commit"});
        if (Contains(r.out, kUnsettled) || Contains(r.out, kAllOut))
            return diskFullOnce(k);
        const auto held = SimChipSerial(readFile(chip), kAddress);
        if (r.exitCode != 6 || !held ||
            !Contains(r.err, "the chip passed with serial " + std::to_string(*held) + ", but the run could not record it"))
            problem("disk full: exit " + std::to_string(r.exitCode) + r.out + r.err);
    }

    void station(int k) {
        std::mt19937 random(static_cast<unsigned>(k + 1));
        if (k == 0)
            diskFullOnce(k);
        for (int i = 0; i < kRandomKills; ++i)
            killWhileWriting(k, random);
        if (k == 1)
            failAtEveryPoint(k);
        killAtEveryPoint(k);
        while (normalChip(k)) {
        }
    }

    QString run;
    std::mutex mutex, operatorMutex;
    std::vector<QString> chips;
    std::vector<std::string> problems;
    std::atomic<int> pointKills = 0, writeKills = 0, failKills = 0, settledUsed = 0;
};

TEST_P(SerialTorture, NoNumberTwiceWhateverKillsTheStations) {
    std::vector<std::thread> threads;
    for (int k = 0; k < kStations; ++k)
        threads.emplace_back([this, k] { station(k); });
    for (auto& t : threads)
        t.join();
    for (const auto& p : problems)
        ADD_FAILURE() << p;

    // Stations stopped: every number is exactly one of recorded, to settle, returned, never used.
    std::string error;
    auto watch = store();
    ASSERT_TRUE(watch);
    auto state = watch->load(error, true);
    ASSERT_TRUE(state) << error;
    EXPECT_EQ(state->count(NumberState::Reserved) + state->count(NumberState::Writing), 0);
    EXPECT_EQ(state->recorded() + state->count(NumberState::Settle) + state->count(NumberState::Returned) +
                  (kQuantity - state->nextIndex),
              kQuantity);

    // Settled, the run completes.
    settle();
    while (normalChip(0)) {
    }
    state = watch->load(error, true);
    ASSERT_TRUE(state) << error;
    EXPECT_EQ(state->recorded(), kQuantity);
    EXPECT_EQ(state->held.size(), 0u);

    // Every chip read back: no number twice; the numbers chips hold are the recorded ones.
    std::map<int, QString> holders;
    for (const auto& chip : chipsSoFar()) {
        const auto n = SimChipSerial(readFile(chip), kAddress);
        if (!n)
            continue;
        const auto [it, fresh] = holders.emplace(*n, chip);
        EXPECT_TRUE(fresh) << *n << " in " << it->second.toStdString() << " and " << chip.toStdString();
    }
    const auto records = watch->records(error);
    ASSERT_TRUE(records) << error;
    std::set<int> recorded;
    for (const auto& [index, line] : *records)
        EXPECT_TRUE(recorded.insert(kStart + static_cast<int>(index)).second) << index;
    EXPECT_EQ(recorded.size(), std::size_t{kQuantity});
    EXPECT_EQ(*recorded.begin(), kStart);
    EXPECT_EQ(*recorded.rbegin(), kStart + kQuantity - 1);
    std::set<int> inChips;
    for (const auto& [n, chip] : holders)
        inChips.insert(n);
    EXPECT_EQ(inChips, recorded);

    // The report: every chip that kept its number once, a row of its own;
    // the rest of the numbers an operator settled as used.
    const auto report = watch->report(error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->recorded, kQuantity);
    EXPECT_EQ(report->toSettle + report->left, 0);
    std::set<int> passedRows;
    std::int64_t failed = 0;
    for (const auto& chip : report->chips) {
        if (!chip.passed) {
            ++failed;
            continue;
        }
        ASSERT_TRUE(chip.serial);
        EXPECT_TRUE(passedRows.insert(static_cast<int>(*chip.serial)).second) << "twice: " << *chip.serial;
        EXPECT_TRUE(recorded.count(static_cast<int>(*chip.serial))) << *chip.serial;
    }
    EXPECT_EQ(failed, report->failedChips);
    EXPECT_EQ(static_cast<int>(passedRows.size()) + settledUsed + report->spoiled, kQuantity);
    EXPECT_GT(pointKills, kStations * 10);
    EXPECT_GT(writeKills, 0);
    EXPECT_GT(failKills, 0);
    std::cout << "[ torture  ] " << GetParam() << ": " << chips.size() << " chips for " << kQuantity << " numbers, "
              << pointKills << " kills at store writes and syncs, " << writeKills << " while a chip was written, "
              << failKills << " as a failed chip was read back or its number given back\n";
}

INSTANTIATE_TEST_SUITE_P(Stores, SerialTorture, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vx::clitest
