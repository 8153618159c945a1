// The serial-port doctor: why a board vanishes, times out or cannot be
// opened on this system. It reads the system below a root folder (see
// link/portsystem.h), asks the board on the chosen port, and says what it
// found, each finding with what to do: a command or a udev rule to copy.
// It never changes the system itself.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"

namespace vx {

enum class FindingLevel {
    Ok,        // checked, nothing to do
    Advice,    // works, but better done otherwise; or could not be read
    Blocking,  // stands in the way of the board
};

struct Finding {
    FindingLevel level = FindingLevel::Ok;
    std::string text;
    std::vector<std::string> todo;  // commands to copy, one a line
};

// Every serial port of the system below root: its names, driver, USB ids,
// owner group and mode and whether this user may open it; brltty and
// ModemManager against each adapter; an FTDI adapter's latency timer; other
// processes that hold a port; then the board on chosenPath (a device path,
// "sim", or "" when no port is chosen). Findings about a listed port other
// than the chosen one do not stand in the way. The link is closed before
// and after the board is asked.
std::vector<Finding> DiagnoseSerialPorts(Session& s, const std::string& root, const std::string& chosenPath);

bool StandsInTheWay(const std::vector<Finding>& findings);

// One line per finding, its mark first ("○ ", "△ ", "× "), each command of
// its todo on a line of its own below it, indented by four spaces.
std::vector<std::string> FindingLines(const std::vector<Finding>& findings);

}  // namespace vx
