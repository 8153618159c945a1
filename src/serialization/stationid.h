// Who holds a number of a run: a station as the store names it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx {

// A station as the store names it: the host and its boot, and the process
// with its start time. Whether it lives is not told by these: on SQLite by
// a lock it holds on a file beside the store, on PostgreSQL by its session.
struct StationId {
    std::string host;
    std::string boot;          // /proc/sys/kernel/random/boot_id
    std::int64_t pid = 0;
    std::int64_t started = 0;  // clock ticks since boot
    bool operator==(const StationId&) const = default;
};
constexpr std::int64_t kMaxPid = 0x7FFFFFFF;

StationId ThisStation();
// Seen from `here`: a station of another machine is alive (it is that
// machine's to judge), one of an earlier boot of this host is gone; one of
// this kernel, whatever its host name or process namespace, is for its
// lock to tell (nullopt).
std::optional<bool> StationAlive(const StationId& station, const StationId& here);

}  // namespace vx
