// The run store's production record on SQLite and on a throwaway
// PostgreSQL server: listed runs keep their planned values whole from their
// creation, every chip attempted is a row kept with its number's last step,
// the report and the operator's counters come from the store alone, and a
// store of the earlier schema is upgraded once.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <set>

#include "serialization/numberlist.h"
#include "serialization/runstore.h"
#include "support/fakes.h"
#include "support/pgcluster.h"

using namespace vx;

namespace {

SerialRunSettings Listed(std::int64_t quantity, int bytes) {
    SerialRunSettings s;
    s.quantity = quantity;
    s.address = 0x3F0;
    s.bytes = bytes;
    s.source = SerialSource::List;
    return s;
}

ChipAttempt Chip(const std::string& host, const std::string& user, bool passed, std::int64_t atMs) {
    ChipAttempt a;
    a.atMs = atMs;
    a.chip.at = atMs / 1000;
    a.chip.host = host;
    a.chip.user = user;
    a.chip.operatorName = "山田";
    a.chip.device = "PIC16F84A";
    a.chip.deviceId = 0x0560;
    a.chip.programChecksum = "D457";
    a.chip.hexSha256 = std::string(64, 'a');
    a.chip.imageSha256 = std::string(64, 'b');
    a.chip.passed = passed;
    a.chip.seconds = 2.5;
    a.chip.failure = passed ? "" : "プログラムメモリのベリファイ エラー";
    return a;
}

class RunRecordTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgres") {
            auto& cluster = test::SharedPgCluster();
            if (!cluster.running())
                GTEST_SKIP() << "skipped: " << cluster.whyNot();
            path = cluster.newDatabase();
            ASSERT_FALSE(path.empty());
        } else {
            path = rig.dir + "run.db";
        }
    }
    std::unique_ptr<RunStore> open(std::string* note = nullptr) {
        std::string error;
        auto store = RunStore::open(path, error, note);
        EXPECT_TRUE(store) << error;
        return store;
    }
    // A statement run on the store behind the program's back.
    void exec(const std::string& sql) {
        if (GetParam() == "postgres") {
            PGconn* conn = PQconnectdb(path.c_str());
            PGresult* result = PQexec(conn, sql.c_str());
            EXPECT_EQ(PQresultStatus(result), PGRES_COMMAND_OK) << sql << ": " << PQerrorMessage(conn);
            PQclear(result);
            PQfinish(conn);
            return;
        }
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        sqlite3_close(db);
    }
    RunStore::Taken take(RunStore& store) {
        auto t = store.reserve(me, nullptr);
        EXPECT_EQ(t.result, RunStore::Take::Reserved) << t.error;
        return t;
    }

    test::TestRig rig;
    std::string path;
    const StationId me = ThisStation();
};

TEST_P(RunRecordTest, ListedRunKeepsItsValuesInOrderAcrossRestarts) {
    std::string error;
    const auto keys = RandomKeys(100000, 4, error);
    ASSERT_TRUE(keys) << error;
    EXPECT_EQ(std::set<std::int64_t>(keys->begin(), keys->end()).size(), keys->size());
    SerialRunSettings random = Listed(100000, 4);
    random.source = SerialSource::Random;
    ASSERT_TRUE(RunStore::create(path, random, error, *keys)) << error;

    // A restart: the store opened anew hands out the same list, in order.
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->plannedValues(error), keys);
    const auto a = take(*store);
    ASSERT_TRUE(store->giveBack(a.reservation, error));
    const auto again = take(*store);  // given back: first again
    EXPECT_EQ(again.reservation.value, (*keys)[0]);
    ASSERT_TRUE(store->markWriting(again.reservation, error));
    ASSERT_TRUE(store->commit(again.reservation, "", "", error)) << error;
    store.reset();
    store = open();
    EXPECT_EQ(take(*store).reservation.value, (*keys)[1]);
    const auto state = store->load(error);
    ASSERT_TRUE(state) << error;
    EXPECT_EQ(state->settings.source, SerialSource::Random);
    EXPECT_EQ(state->nextValue(), (*keys)[2]);
}

TEST_P(RunRecordTest, ListsThatDoNotFitTheRunAreRefusedAndNothingIsCreated) {
    std::string error;
    EXPECT_FALSE(RunStore::create(path, Listed(3, 1), error, {1, 2, 1}));  // a value twice
    EXPECT_FALSE(RunStore::create(path, Listed(3, 1), error, {1, 2}));     // fewer than the quantity
    EXPECT_NE(error.find("数量と合いません"), std::string::npos) << error;
    EXPECT_FALSE(RunStore::create(path, Listed(2, 1), error, {1, 256}));  // wider than a byte
    EXPECT_NE(error.find("収まりません"), std::string::npos) << error;
    if (GetParam() == "sqlite") {
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    // Nothing was left behind: the same store takes a good list.
    ASSERT_TRUE(RunStore::create(path, Listed(3, 1), error, {9, 7, 8})) << error;
    auto store = open();
    EXPECT_EQ(store->plannedValues(error), (std::vector<std::int64_t>{9, 7, 8}));
}

// A listed run's number rows hold its planned values: a row edited to
// another value is refused, naming it, and a moved run keeps them.
TEST_P(RunRecordTest, AListedRunsNumbersAreItsPlansWhenEditedOrMoved) {
    std::string error;
    ASSERT_TRUE(RunStore::create(path, Listed(3, 1), error, {9, 7, 8})) << error;
    auto store = open();
    const auto a = take(*store);
    ASSERT_TRUE(store->markWriting(a.reservation, error));
    ASSERT_TRUE(store->commit(a.reservation, "", "", error)) << error;
    ASSERT_TRUE(store->giveBack(take(*store).reservation, error)) << error;

    exec("UPDATE serial_number SET value = 5 WHERE idx = 0");
    EXPECT_FALSE(store->load(error));
    EXPECT_NE(error.find("シリアル番号 5 "), std::string::npos) << error;
    exec("UPDATE serial_number SET value = 9 WHERE idx = 0");

    const std::string moved = rig.dir + "moved.db";
    ASSERT_TRUE(store->moveRun(moved, error)) << error;
    auto there = RunStore::open(moved, error);
    ASSERT_TRUE(there) << error;
    const auto b = take(*there);
    EXPECT_EQ(b.reservation.value, 7);
    ASSERT_TRUE(there->markWriting(b.reservation, error));
    ASSERT_TRUE(there->commit(b.reservation, "", "", error)) << error;
    EXPECT_EQ(take(*there).reservation.value, 8);
}

TEST_P(RunRecordTest, EveryAttemptIsARowAndEveryPcReadsTheSameCounters) {
    std::string error;
    SerialRunSettings run;
    run.quantity = 10;
    run.start = 100;
    run.address = 0x3F0;
    ASSERT_TRUE(RunStore::create(path, run, error)) << error;
    auto first = open(), second = open();  // two PCs of one run
    const std::int64_t t0 = 1700000000000;

    const auto a = take(*first);  // station A: a pass (committed twice: one row)
    ASSERT_TRUE(first->markWriting(a.reservation, error));
    const auto passA = Chip("pc-a", "line", true, t0);
    ASSERT_TRUE(first->commit(a.reservation, "", "", error, nullptr, &passA)) << error;
    ASSERT_TRUE(first->commit(a.reservation, "", "", error, nullptr, &passA)) << error;
    const auto b = take(*first);  // station A: a failure
    const auto failA = Chip("pc-a", "line", false, t0 + 3000);
    ASSERT_TRUE(first->giveBack(b.reservation, error, NumberStep::GiveBack, &failA)) << error;
    const auto c = take(*second);  // station B: a pass with the number given back
    EXPECT_EQ(c.reservation.value, 101);
    ASSERT_TRUE(second->markWriting(c.reservation, error));
    const auto passB = Chip("pc-b", "line", true, t0 + 3500);
    ASSERT_TRUE(second->commit(c.reservation, "", "", error, nullptr, &passB)) << error;

    for (RunStore* pc : {first.get(), second.get()}) {
        const auto view = pc->lineView("pc-a", "line", error);
        ASSERT_TRUE(view) << error;
        EXPECT_EQ(view->station.passed, 1);
        EXPECT_EQ(view->station.failed, 1);
        EXPECT_EQ(view->station.total, 2);
        EXPECT_DOUBLE_EQ(view->station.yield, 50);
        EXPECT_EQ(view->run.passed, 2);
        EXPECT_EQ(view->run.failed, 1);
        EXPECT_EQ(view->run.total, 3);
        EXPECT_EQ(view->next, 102);
        ASSERT_EQ(view->last.size(), 3u);
        EXPECT_EQ(view->last[0].host, "pc-b");  // newest first
        EXPECT_EQ(view->last[2].serial, 100);
    }
    const auto report = second->report(error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->planned, 10);
    EXPECT_EQ(report->recorded, 2);
    EXPECT_EQ(report->failedChips, 1);
    EXPECT_EQ(report->left, 8);
    ASSERT_EQ(report->chips.size(), 3u);
    EXPECT_EQ(report->chips[1].failure, "プログラムメモリのベリファイ エラー");
    EXPECT_EQ(report->chips[1].serial, 101);
    EXPECT_EQ(report->chips[0].operatorName, "山田");
    EXPECT_EQ(report->chips[0].deviceId, 0x0560);
    EXPECT_EQ(report->chips[0].imageSha256, std::string(64, 'b'));
    EXPECT_DOUBLE_EQ(report->chips[0].seconds, 2.5);

    // A damaged row is named, not shown.
    exec("UPDATE serial_chip SET passed = 7 WHERE serial = 101");
    EXPECT_FALSE(second->report(error));
    EXPECT_NE(error.find("壊れています: IC の記録 2 件目"), std::string::npos) << error;
}

// A failed chip that holds its number uses it up: not left, not to settle.
TEST_P(RunRecordTest, AReportCountsANumberAFailedChipHoldsAsSpoiled) {
    std::string error;
    SerialRunSettings run;
    run.quantity = 3;
    run.address = 0x3F0;
    ASSERT_TRUE(RunStore::create(path, run, error)) << error;
    auto store = open();
    const auto a = take(*store);
    ASSERT_TRUE(store->markWriting(a.reservation, error)) << error;
    const auto failed = Chip("pc", "line", false, 1000);
    ASSERT_TRUE(store->giveBack(a.reservation, error, NumberStep::Spoil, &failed)) << error;
    const auto report = store->report(error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->spoiled, 1);
    EXPECT_EQ(report->failedChips, 1);
    EXPECT_EQ(report->toSettle, 0);
    EXPECT_EQ(report->left, 2);
}

TEST_P(RunRecordTest, StoreOfTheEarlierSchemaIsUpgradedOnce) {
    std::string error;
    SerialRunSettings run;
    run.quantity = 5;
    run.address = 0x3F0;
    ASSERT_TRUE(RunStore::create(path, run, error)) << error;
    exec("DROP TABLE serial_chip; DROP TABLE serial_tally; DROP TABLE serial_plan; ALTER TABLE serial_run DROP COLUMN source; "
         "UPDATE vormex_meta SET value = '2' WHERE name = 'schema'");
    std::string note;
    auto store = open(&note);
    ASSERT_TRUE(store);
    EXPECT_NE(note.find("新しい形式にしました"), std::string::npos) << note;
    const auto a = take(*store);
    EXPECT_EQ(a.reservation.value, 0);
    const auto failed = Chip("pc", "line", false, 1000);
    ASSERT_TRUE(store->giveBack(a.reservation, error, NumberStep::GiveBack, &failed)) << error;
    note.clear();
    auto again = open(&note);
    EXPECT_EQ(note, "");  // once
    EXPECT_EQ(again->report(error)->chips.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Stores, RunRecordTest, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
