// The production record (SERIAL_LOG.txt): one line per chip, appended.
#pragma once

#include <string>

namespace vx {

class FaultPoints;

bool AppendRecord(const std::string& path, const std::string& line, FaultPoints& faults, std::string& error);

}  // namespace vx
