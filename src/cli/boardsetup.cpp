#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/settings.h"
#include "base/textfile.h"
#include "cli/commands.h"
#include "link/comport.h"
#include "link/family.h"
#include "qtplatform/qtserialport.h"
#include "sim/simport.h"

namespace vx::cli {

namespace {

// A device path or "sim" given to --port stands in for this COM number; the
// link names its port by number, and the notes say so.
constexpr int kPathComNumber = 1;

void printError(const std::string& text) { std::fprintf(stderr, "vormex-cli: %s\n", text.c_str()); }

// "COM3" / "com3" -> 3; 0 when the text is not a COM name of 1..20.
int comNumber(const std::string& text) {
    if (text.size() < 4 || text.size() > 5)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i])
            return 0;
    int n = 0;
    for (std::size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return 0;
        n = n * 10 + (text[i] - '0');
    }
    return n >= 1 && n <= kMaxComPort ? n : 0;
}

std::optional<SimChip> simChip(Context& c) {
    const std::string& state = c.options.simState;
    std::error_code ec;
    if (!state.empty() && std::filesystem::exists(state, ec)) {
        std::ifstream in(state, std::ios::binary);
        std::stringstream text;
        if (!in || !(text << in.rdbuf())) {
            printError(state + ": cannot be read");
            return std::nullopt;
        }
        auto chip = SimChip::load(text.str());
        if (!chip) {
            printError(state + ": not a simulated chip");
            return std::nullopt;
        }
        const DeviceInfo& d = c.s.device;
        if (!d.name.empty() && (chip->family != d.family || chip->programWords != d.programWords ||
                                chip->eepromBytes != d.eepromBytes))
            printError("warning: the simulated chip in " + state + " is a " + chip->familyName + " part of " +
                       std::to_string(chip->programWords) + " words, not a " + d.name);
        return chip;
    }
    if (!c.s.device.name.empty())
        return SimChip::ForDevice(c.s.device);
    return SimChip(Family::Flash, 1024, 64);  // detect needs no device: any chip will do
}

}  // namespace

int OpenBoard(Context& c) {
    const std::string& port = c.options.port;
    int number = 0;
    if (port.empty()) {
        number = static_cast<int>(SettingInt(c.s.settings, "ComNo", 0).value_or(0));
        if (number < 0 || number > kMaxComPort)
            number = 0;
    } else if ((number = comNumber(port)) == 0) {
        number = kPathComNumber;
        c.s.settings.setValue(ComDeviceKey(number), port);  // for this run only
    }
    c.s.link.portNumber = number;
    if (number == 0)
        return kExitOk;  // the board search asks for a port and finds no board

    if (ComDevicePath(c.s.settings, number) == kSimPortName) {
        // The window maps COM1 to the simulated board on its first start; a
        // script that follows that mapping would report chips it never touched.
        if (port != kSimPortName) {
            printError("COM" + std::to_string(number) + " is mapped to the built-in simulated board (setting " +
                       ComDeviceKey(number) + "=sim); no chip is reached through it. Give the real board's port " +
                       "with --port, or --port sim for a dry run.");
            return kExitNoBoard;
        }
        auto chip = simChip(c);
        if (!chip)
            return kExitUsage;
        c.clock.simulate();
        c.port.setTarget(std::make_unique<SimPort>(c.clock, std::move(*chip)));
    } else {
        c.port.setTarget(std::make_unique<QtSerialPort>());
    }
    return kExitOk;
}

bool SaveSimState(Context& c) {
    auto* sim = dynamic_cast<SimPort*>(c.port.target());
    if (!sim || c.options.simState.empty())
        return true;
    std::string error;
    if (WriteFileAtomically(c.options.simState, sim->board.chip.save(), error))
        return true;
    printError("cannot keep the simulated chip in " + c.options.simState + ": " + error);
    return false;
}

}  // namespace vx::cli
