// The time a production run's store adds to each chip: the reserve,
// writing and commit transactions (with the production record's line and
// the chip's row), every one durable, with four station processes sharing
// one run, as four vormex-cli stations do; and what an operator's screen
// reads after each chip (the counters and the last chips). On SQLite in a folder (default: the system's
// temporary folder; give one on the disk the line will use) and on a
// throwaway PostgreSQL server.
//   bench_serialrun [FOLDER]
#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "benchutil.h"
#include "ops/workflows.h"
#include "serialization/runstore.h"
#include "support/pgcluster.h"
#include "support/simrig.h"

namespace {

constexpr int kStations = 4;
constexpr int kChipsEach = 100;
// Between cycles in the round that stands for a line: short against a real
// chip, so that stations still meet now and then.
constexpr int kPauseMs = 50;

// What the store's cost is set against: Program of a PIC16F84A-sized part
// with a two-word program on the simulated board at 9600 baud: the board's
// paced replies and pauses in its simulated time, plus the line time of
// every byte the PC sent.
double ChipMs() {
    vx::test::SimRig rig("FLASH", 1024, 64);
    vx::Session& s = *rig.session;
    s.device.name = "PIC16F84A";
    for (int w = 0; w < 1024; ++w) {
        s.buffer.program[2 * w] = 0x3F;
        s.buffer.program[2 * w + 1] = 0xFF;
    }
    s.buffer.program[0] = 0x28;  // goto 0
    s.buffer.program[1] = 0x00;
    rig.board().pacing = true;
    const auto start = rig.clock.now;
    if (vx::RunProgram(s) != vx::Outcome::Passed)
        return 0;
    const double sentMs = static_cast<double>(rig.sentText().size()) * vx::SimBoard::kByteTimeUs / 1000;
    return static_cast<double>(rig.clock.now - start) + sentMs;
}

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// One station: reserve, mark writing, commit with a record line (every
// tenth chip fails first and gives its number back); programmingMs between
// cycles stands for the chip. Prints the median and the worst cycle.
int Station(const std::string& run, const std::string& record, int k, int programmingMs, double chipMs) {
    std::string error;
    auto store = vx::RunStore::open(run, error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const vx::StationId me = vx::ThisStation();
    std::vector<double> times, cpu, counters, bare, bareCpu;
    vx::ChipAttempt attempt;
    attempt.chip.host = me.host;
    attempt.chip.user = "station" + std::to_string(k);
    attempt.chip.device = "PIC16F84A";
    attempt.chip.deviceId = 0x0560;
    attempt.chip.programChecksum = "D457";
    attempt.chip.hexSha256 = attempt.chip.imageSha256 = std::string(64, '0');
    attempt.chip.seconds = chipMs / 1000;
    for (int chip = 0; chip < kChipsEach; ++chip) {
        const auto start = bench::Wall::now();
        const double cpuStart = CpuMs();
        attempt.atMs = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
        attempt.chip.at = attempt.atMs / 1000;
        if (chip % 10 == 9) {
            attempt.chip.passed = false;
            const auto failed = store->reserve(me, nullptr);
            if (failed.result != vx::RunStore::Take::Reserved || !store->markWriting(failed.reservation, error) ||
                !store->giveBack(failed.reservation, error, vx::NumberStep::GiveBack, &attempt))
                return 1;
        }
        attempt.chip.passed = true;
        // Every other chip without its row: what the row itself costs.
        const bool withRow = chip % 2 == 0;
        const auto taken = store->reserve(me, nullptr);
        if (taken.result != vx::RunStore::Take::Reserved || !store->markWriting(taken.reservation, error) ||
            !store->commit(taken.reservation, record, "station " + std::to_string(k), error, nullptr,
                           withRow ? &attempt : nullptr))
            return 1;
        (withRow ? times : bare).push_back(bench::Ms(bench::Wall::now() - start));
        (withRow ? cpu : bareCpu).push_back(CpuMs() - cpuStart);
        const auto shown = bench::Wall::now();
        if (!store->lineView(me.host, attempt.chip.user, error))
            return 1;
        counters.push_back(bench::Ms(bench::Wall::now() - shown));
        if (programmingMs > 0)
            usleep(static_cast<useconds_t>(programmingMs * 1000));
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::sort(counters.begin(), counters.end());
    std::sort(bare.begin(), bare.end());
    std::sort(bareCpu.begin(), bareCpu.end());
    const double median = times[times.size() / 2], shown = counters[counters.size() / 2];
    const double row = std::max(0.0, median - bare[bare.size() / 2]);
    const double rowCpu = cpu[cpu.size() / 2] - bareCpu[bareCpu.size() / 2];
    // Wall time includes waiting for the other stations' transactions and for the CPU.
    std::printf("  station %d: %zu chips with their row, store per chip: wall median %.2f ms (%.2f %% of a chip), "
                "99th %.2f ms, worst %.2f ms; CPU median %.2f ms\n",
                k, times.size(), median, 100 * median / chipMs, times[times.size() * 99 / 100], times.back(),
                cpu[cpu.size() / 2]);
    std::printf("  station %d: the chip's row: wall %.2f ms more than without (CPU %.2f ms); the operator's "
                "counters after it: %.2f ms; row and counters %.2f %% of a chip\n",
                k, row, rowCpu, shown, 100 * (row + shown) / chipMs);
    std::fflush(stdout);
    return 0;
}

// Stations at once on a fresh run; false when a number went wrong.
bool Round(const std::string& run, const std::string& record, int stations, int programmingMs, double chipMs) {
    vx::SerialRunSettings settings;
    settings.quantity = stations * kChipsEach;
    settings.bytes = 2;
    settings.address = 0x3F0;
    std::string error;
    if (!vx::RunStore::create(run, settings, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::printf("%d station(s), %d ms programming a chip:\n", stations, programmingMs);
    std::fflush(stdout);
    std::vector<pid_t> children;
    for (int k = 0; k < stations; ++k) {
        const pid_t child = fork();
        if (child == 0)
            _exit(Station(run, record, k, programmingMs, chipMs));
        children.push_back(child);
    }
    bool ok = true;
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    auto store = vx::RunStore::open(run, error);
    const auto state = store ? store->load(error) : std::nullopt;
    return ok && state && state->recorded() == settings.quantity && state->held.empty();
}

// What one durable write costs on this disk: each chip needs three (the
// writing mark, the commit and the production record's line).
double SyncMs(const std::string& folder) {
    const std::string file = folder + "/sync-probe";
    std::vector<double> times;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string block(4096, 'x');
    for (int i = 0; fd >= 0 && i < 20; ++i) {
        const auto start = bench::Wall::now();
        if (::write(fd, block.data(), block.size()) < 0 || ::fsync(fd) != 0)
            break;
        times.push_back(bench::Ms(bench::Wall::now() - start));
    }
    if (fd >= 0)
        ::close(fd);
    ::unlink(file.c_str());
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
}

std::string FileSystem(const std::string& folder) {
    struct statfs fs {};
    if (statfs(folder.c_str(), &fs) != 0)
        return "?";
    switch (fs.f_type) {
    case 0x01021994: return "tmpfs (syncs cost nothing: give a folder on a disk for real figures)";
    case 0xEF53: return "ext2/3/4";
    case 0x9123683E: return "btrfs";
    case 0x58465342: return "xfs";
    case 0x794C7630: return "overlayfs";
    default: return "type " + std::to_string(fs.f_type);
    }
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("vormex-bench-serial-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string record = (dir / "SERIAL_LOG.txt").string();
    const double chip = ChipMs();
    std::printf("a chip: Program of a PIC16F84A with a small program at 9600 baud takes %.0f ms\n", chip);
    std::printf("SQLite in %s (%s, one write and sync of 4 KB: %.2f ms), WAL, synchronous=FULL\n", dir.c_str(),
                FileSystem(dir.string()).c_str(), SyncMs(dir.string()));
    // Real chips take seconds, so cycles seldom meet; back to back is the worst case.
    bool ok = chip > 0 && Round((dir / "one.db").string(), record, 1, 0, chip) &&
              Round((dir / "four.db").string(), record, kStations, 0, chip) &&
              Round((dir / "line.db").string(), record, kStations, kPauseMs, chip);
    vx::test::PgCluster cluster;
    if (!cluster.running()) {
        std::printf("PostgreSQL: skipped, %s\n", cluster.whyNot().c_str());
    } else {
        std::printf("PostgreSQL (a throwaway server on this machine, Unix socket, fsync on)\n");
        ok = ok && Round(cluster.newDatabase(), record, 1, 0, chip) &&
             Round(cluster.newDatabase(), record, kStations, 0, chip) &&
             Round(cluster.newDatabase(), record, kStations, kPauseMs, chip);
    }
    std::printf("limit: 1 %% of a chip (%.0f ms)%s\n", chip / 100, ok ? "" : "  FAILED: numbers lost or doubled");
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
