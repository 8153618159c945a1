// Who holds a number of a run: a station as the store names it.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

// A station as the store names it: the host and its boot, and the process
// with its start time, so that a recycled process id is not taken for the
// one that made the reservation. On PostgreSQL a station's liveness is its
// database session; these fields only name it.
struct StationId {
    std::string host;
    std::string boot;          // /proc/sys/kernel/random/boot_id
    std::int64_t pid = 0;
    std::int64_t started = 0;  // clock ticks since boot
    bool operator==(const StationId&) const = default;
};
constexpr std::int64_t kMaxPid = 0x7FFFFFFF;

StationId ThisStation();
// Seen from `here`: a station of another host is alive (it is that host's
// to judge), one of an earlier boot of this host is gone, else its process.
bool StationAlive(const StationId& station, const StationId& here);

}  // namespace vx
