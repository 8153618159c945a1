#include "device/devicedb.h"

#include "image/convert.h"

namespace vx {

// Placeholder until the reader lands.
bool LoadDeviceList(Session& s) {
    s.db.error = true;
    return false;
}

void LoadDeviceEntry(Session&, const std::string&) {}

std::vector<std::string> SplitDeviceLine(const std::string& line) { return SplitWords(line); }

}  // namespace vx
