// doctor: the serial-port doctor's findings, one a line.
#include "app/portdoctor.h"
#include "cli/commands.h"
#include "link/comport.h"

namespace vx::cli {

int DoctorCommand(Context& c) {
    if (int status = OpenBoard(c); status != kExitOk)
        return status;
    const int number = c.s.link.portNumber;
    const std::string chosen = number == 0 ? "" : ComDevicePath(c.s.settings, number);
    const auto findings = DiagnoseSerialPorts(c.s, c.options.root.empty() ? "/" : c.options.root, chosen);
    c.ui.flush();
    for (const std::string& line : FindingLines(findings))
        c.ui.printLine(line);
    return StandsInTheWay(findings) ? kExitVerdict : kExitOk;
}

}  // namespace vx::cli
