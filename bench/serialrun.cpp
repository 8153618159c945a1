// The time a production run's reserve/commit cycle adds to each chip, with
// four station processes sharing one run file, as four vormex-cli stations do.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "benchutil.h"
#include "serialization/production.h"

namespace {

constexpr int kStations = 4;
constexpr int kChipsEach = 150;

// One station: reserve, then commit with a record line (every tenth chip
// fails first and returns its number); programmingMs between cycles stands
// for the chip's programming. Prints the median and the worst cycle.
int Station(const std::string& run, const std::string& record, int k, int programmingMs) {
    vx::SerialRunFile file(run);
    const vx::StationId me = vx::ThisStation();
    std::vector<double> times, cpu;
    std::string error;
    auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
    };
    for (int chip = 0; chip < kChipsEach; ++chip) {
        const auto start = bench::Wall::now();
        const double cpuStart = cpuMs();
        if (chip % 10 == 9) {
            const auto failed = file.reserve(me);
            if (failed.result != vx::SerialRunFile::Take::Reserved || !file.giveBack(failed.reservation, error))
                return 1;
        }
        const auto taken = file.reserve(me);
        if (taken.result != vx::SerialRunFile::Take::Reserved)
            return 1;
        if (!file.commit(taken.reservation, record, "station " + std::to_string(k) + "  " + std::to_string(taken.value),
                         error))
            return 1;
        times.push_back(bench::Ms(bench::Wall::now() - start));
        cpu.push_back(cpuMs() - cpuStart);
        if (programmingMs > 0)
            usleep(static_cast<useconds_t>(programmingMs * 1000));
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    // Wall time includes waiting for the other stations' cycles and for the CPU.
    std::printf("  station %d: %d chips, reserve/commit wall median %.3f ms, 99th %.3f ms, worst %.3f ms; "
                "CPU median %.3f ms\n",
                k, kChipsEach, times[times.size() / 2], times[times.size() * 99 / 100], times.back(),
                cpu[cpu.size() / 2]);
    std::fflush(stdout);
    return 0;
}

// Four stations at once on a fresh run; false when a number went wrong.
bool Round(const std::filesystem::path& dir, int stations, int programmingMs) {
    const std::string run = (dir / "run.txt").string(), record = (dir / "SERIAL_LOG.txt").string();
    std::filesystem::remove(run);
    std::filesystem::remove(record);
    vx::SerialRunSettings settings;
    settings.quantity = stations * kChipsEach;
    settings.bytes = 2;
    settings.address = 0x3F0;
    std::string error;
    if (!vx::SerialRunFile(run).create(settings, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::printf("%d station(s), %d ms programming a chip:\n", stations, programmingMs);
    std::fflush(stdout);
    std::vector<pid_t> children;
    for (int k = 0; k < stations; ++k) {
        const pid_t child = fork();
        if (child == 0)
            _exit(Station(run, record, k, programmingMs));
        children.push_back(child);
    }
    bool ok = true;
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    const auto state = vx::SerialRunFile(run).load(error);
    return ok && state && state->count == settings.quantity && state->reserved.empty() && state->returned.empty();
}

}  // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / ("vormex-bench-serial-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    // Real chips take seconds, so cycles seldom meet; back to back is the worst case.
    const bool ok = Round(dir, 1, 0) && Round(dir, kStations, 20) && Round(dir, kStations, 0);
    std::printf("limit: 5 ms a chip%s\n", ok ? "" : "  FAILED: numbers lost or doubled");
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
