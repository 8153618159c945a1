// The production record (SERIAL_LOG.txt): one line per chip, appended.
#pragma once

#include <string>

namespace vx {

class FaultPoints;

// The local time as runs and records write it: "2026/05/20 12:00:00".
std::string SerialTimeText();

bool AppendRecord(const std::string& path, const std::string& line, FaultPoints& faults, std::string& error);

}  // namespace vx
