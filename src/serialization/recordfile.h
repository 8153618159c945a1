// The production record (SERIAL_LOG.txt), one line per chip, and the room
// a station needs on the disk to record a chip before it writes one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx {

class FaultPoints;

// The local time as runs and records write it: "2026/05/20 12:00:00".
std::string SerialTimeText();

// The line, whole and synced, or nothing of it. A record this call creates
// takes the group and mode of `like` (the store file beside it), when given.
bool AppendRecord(const std::string& path, const std::string& line, FaultPoints& faults, std::string& error,
                  const std::string& like = "");

// Why one of these files could not take a chip's record: its disk full or
// read-only, or the file (or, for one not there yet, its folder) not
// writable by this user; nullopt when all can.
std::optional<std::string> NoRoomToRecord(const std::vector<std::string>& files);

// A file this program made beside a shared store takes the store's group
// and mode, so that the store's other users can write it as well.
void ShareLike(const std::string& path, const std::string& like);

}  // namespace vx
