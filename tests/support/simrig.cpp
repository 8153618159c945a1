#include "support/simrig.h"

namespace vx::test {

SimRig::SimRig(const std::string& family, int programWords, int eepromBytes,
               std::optional<int> calibration, int codeProtectMask) {
    simPort = std::make_unique<SimPort>(clock, SimChip(family, programWords, eepromBytes, calibration,
                                                       codeProtectMask));
    session = std::make_unique<Session>(*simPort, settings, clock, ui, processes);
    session->run.appDir = dir;

    const SimChip& c = chip();
    DeviceInfo& d = session->device;
    d.name = "SIM-" + c.familyName;
    d.family = c.family;
    d.familyName = c.familyName;
    d.programWords = c.programWords;
    d.eepromBytes = c.eepromBytes;
    d.programSizeHigh = c.programWords / 256;
    d.programSizeLow = c.programWords % 256;
    d.eepromSizeHigh = c.eepromBytes / 256;
    d.eepromSizeLow = c.eepromBytes % 256;
    d.codeProtectMask = c.codeProtectMask;
    d.defaultConfig = c.blankWord();
    d.configAndMask = c.blankWord();
    d.configOrMask = 0;
    session->link.portNumber = 1;
}

std::string SimRig::sentText() const {
    const auto& r = simPort->board.received;
    return std::string(r.begin(), r.end());
}

}  // namespace vx::test
