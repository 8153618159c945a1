// The report of a 100 000-chip run, made from its store (read, checked and
// written as HTML and as CSV), and what an operator's screen reads from a
// store that large; on SQLite and on a throwaway PostgreSQL server.
//   bench_runreport [FOLDER]
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "benchutil.h"
#include "serialization/runrows.h"
#include "serialization/runstore.h"
#include "serialization/sqllink.h"
#include "support/pgcluster.h"

namespace {

constexpr int kChips = 100000;
constexpr int kStations = 8;

// A run of kChips chips, every 20th failed, from kStations stations over a
// day, written in one transaction behind the store's back.
bool Fill(const std::string& path, std::string& error) {
    vx::SerialRunSettings settings;
    settings.quantity = kChips;
    settings.address = 0x3F0;
    settings.bytes = 3;
    if (!vx::RunStore::create(path, settings, error))
        return false;
    vx::FaultPoints none({});
    auto link = vx::RunStore::isServer(path) ? vx::OpenPostgresLink(path, none, error)
                                             : vx::OpenSqliteLink(path, false, none, {}, error);
    if (!link || !link->configure(error))
        return false;
    vx::Tx tx(*link);
    if (!tx.begin(error))
        return false;
    const std::int64_t start = static_cast<std::int64_t>(std::time(nullptr)) - 86400;
    vx::ChipRecord chip;
    chip.device = "PIC16F84A";
    chip.deviceId = 0x0560;
    chip.programChecksum = "D457";
    chip.hexSha256 = std::string(64, 'a');
    chip.seconds = 6.2;
    for (int i = 0; i < kChips; ++i) {
        chip.at = start + std::int64_t{i} * 86400 / kChips;
        chip.host = "line-pc" + std::to_string(i % kStations);
        chip.user = "line";
        chip.operatorName = i % 3 ? "山田" : "佐藤";
        chip.imageSha256 = std::to_string(i) + std::string(58, 'b');
        chip.serial = i;
        chip.passed = i % 20 != 0;
        chip.failure = chip.passed ? "" : "プログラムメモリのベリファイ エラー";
        if (!vx::InsertChip(*link, 1, i + 1, chip.at * 1000, chip, error))
            return false;
    }
    return tx.commit(error);
}

bool Measure(const char* name, const std::string& path) {
    std::string error;
    auto t = bench::Wall::now();
    if (!Fill(path, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::printf("%s: %d chips written in %.1f s\n", name, kChips, bench::Ms(bench::Wall::now() - t) / 1000);
    t = bench::Wall::now();
    auto store = vx::RunStore::open(path, error);
    const auto report = store ? store->report(error) : std::nullopt;
    if (!report) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const double read = bench::Ms(bench::Wall::now() - t) / 1000;
    t = bench::Wall::now();
    const std::string html = vx::ReportText(*report, vx::ReportFormat::Html);
    const double htmlSeconds = bench::Ms(bench::Wall::now() - t) / 1000;
    t = bench::Wall::now();
    const std::string csv = vx::ReportText(*report, vx::ReportFormat::Csv);
    const double csvSeconds = bench::Ms(bench::Wall::now() - t) / 1000;
    std::printf("  report: store read and checked %.2f s; HTML %.2f s (%.1f MB); CSV %.2f s (%.1f MB); "
                "HTML report in all %.2f s (limit 10 s)\n",
                read, htmlSeconds, static_cast<double>(html.size()) / 1e6, csvSeconds,
                static_cast<double>(csv.size()) / 1e6, read + htmlSeconds);
    double worst = 0;
    for (int i = 0; i < 20; ++i) {
        t = bench::Wall::now();
        if (!store->lineView("line-pc3", "line", error))
            return false;
        worst = std::max(worst, bench::Ms(bench::Wall::now() - t));
    }
    std::printf("  the operator's counters and last chips of this run: worst of 20 %.2f ms\n", worst);
    return read + htmlSeconds < 10;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("vormex-bench-report-" + std::to_string(getpid()));
    fs::create_directories(dir);
    bool ok = Measure("SQLite", (dir / "run.db").string());
    vx::test::PgCluster cluster;
    if (cluster.running())
        ok = Measure("PostgreSQL", cluster.newDatabase()) && ok;
    else
        std::printf("PostgreSQL: skipped, %s\n", cluster.whyNot().c_str());
    fs::remove_all(dir);
    std::printf("%s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
