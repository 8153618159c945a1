// The strict check of a HEX file that is written to a chip without anyone
// looking at it first (the CLI's file, a watch reload). The window's own
// load stays lenient.
#pragma once

#include <string>
#include <vector>

namespace vx {

enum class HexFault { None, Unreadable, NoRecords, BadLine };

// What the check found: on a fault why (the file and the first bad line).
// Record checksums are not checked (the loader takes hand-edited files so
// that saving repairs them); a warning names them.
struct HexFileCheck {
    std::string error;
    std::vector<std::string> warnings;
    // Text ahead of the records: a file that may not be what it seems.
    int linesBeforeFirstRecord = 0;
};
// Reads and sanity-checks a HEX file before it is loaded.
HexFault CheckHexFile(const std::string& path, HexFileCheck& check);

}  // namespace vx
