// Intel HEX records as the loader reads them. vormex-cli's file check reads
// through the same functions, so it judges exactly the records that load.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx {

// The lines of a HEX file in the loader's numbering (from 1), by the
// line-input rule of device.ini: a comma ends a line, leading blanks are
// skipped, quotes stripped. Stops (false) when take does.
bool ForEachHexLine(std::string_view text, const std::function<bool(int number, std::string_view line)>& take);

inline bool IsHexRecordLine(std::string_view line) { return !line.empty() && line[0] == ':'; }

struct HexRecord {
    int count = 0;    // byte count field
    int address = 0;  // byte address
    int type = 0;     // 00 data; 04 upper address (data past 64 KiB is outside every part); others ignored
    // Data bytes in pairs, low byte first in the file; (high, low). An odd
    // count takes the checksum as the last word's high byte.
    std::vector<std::pair<int, int>> words;
    // The line holds fewer data digits than the count announces; the
    // missing ones read as 0.
    bool dataShort = false;
};

// Digits read as upper-case hex only; any other character, or one past the
// end of the line, reads as 0.
HexRecord ParseHexRecord(std::string_view line);

}  // namespace vx
