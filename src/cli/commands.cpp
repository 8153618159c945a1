#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "device/devicedb.h"
#include "disasm/disasm.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "image/selection.h"
#include "link/family.h"
#include "ops/detect.h"
#include "ops/workflows.h"

namespace vx::cli {

namespace {

void printError(const std::string& text) { std::fprintf(stderr, "vormex-cli: %s\n", text.c_str()); }

// The list index of a device name: exact, else the one name equal ignoring case.
int findDevice(const Session& s, const std::string& name) {
    const auto& list = s.view.deviceList;
    if (const auto it = std::find(list.begin(), list.end(), name); it != list.end())
        return static_cast<int>(it - list.begin());
    auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::toupper(ch); });
        return text;
    };
    int found = -1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (upper(list[i]) != upper(name))
            continue;
        if (found >= 0)
            return -1;
        found = static_cast<int>(i);
    }
    return found;
}

int selectDevice(Context& c) {
    const int index = findDevice(c.s, c.options.deviceName);
    if (index < 0) {
        printError("unknown device " + c.options.deviceName + " (\"vormex-cli devices\" lists them)");
        return kExitUsage;
    }
    c.s.db.error = false;
    SelectDeviceIndex(c.s, index);
    c.ui.flush();
    if (c.s.db.error || c.s.device.name != c.s.view.deviceList[index]) {
        printError("the database entry of " + c.options.deviceName + " cannot be read");
        return kExitUsage;
    }
    return kExitOk;
}

int checkHex(const std::string& path) {
    std::string error;
    std::vector<std::string> warnings;
    const bool ok = CheckHexFile(path, error, warnings);
    for (const auto& warning : warnings)
        printError("warning: " + warning);
    if (!ok) {
        printError(error);
        return kExitUsage;
    }
    return kExitOk;
}

// Loads a checked HEX file as the window's reload paths do: no dialog.
void loadHex(Context& c, const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    c.s.loader.hexPath = ec ? path : absolute.lexically_normal().string();
    c.s.loader.skipHexDialog = true;
    LoadHexFile(c.s);
    c.s.loader.skipHexDialog = false;
    c.ui.flush();
}

// Saves the buffer as the window does, without its dialog and overwrite question.
int saveHex(Context& c, const std::string& path) {
    std::string error;
    if (!WriteHexFile(c.s, path, error)) {
        printError("cannot save " + path + ": " + error);
        return kExitUsage;
    }
    return kExitOk;
}

int devices(Context& c) {
    const auto index = ReadDeviceIndex(c.s);
    std::size_t width = 0;
    for (const auto& device : index)
        width = std::max(width, device.name.size());
    for (const auto& device : index) {
        char line[256];
        std::snprintf(line, sizeof line, "%-*s  %-6s %5d %4d", static_cast<int>(width), device.name.c_str(),
                      device.family.c_str(), device.programWords, device.eepromBytes);
        c.ui.printLine(line);
    }
    return kExitOk;
}

// The file checked, the device selected, the file loaded: the start of the
// commands that work on a file without the board.
int loadForDevice(Context& c, const std::string& file) {
    if (int status = checkHex(file); status != kExitOk)
        return status;
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    loadHex(c, file);
    return kExitOk;
}

int checksum(Context& c) {
    const std::string& file = c.options.args[0];
    if (int status = loadForDevice(c, file); status != kExitOk)
        return status;
    c.ui.printLine(PcBufferChecksum(c.s) + "  " + file);
    return kExitOk;
}

int convert(Context& c) {
    if (int status = loadForDevice(c, c.options.args[0]); status != kExitOk)
        return status;
    return saveHex(c, c.options.args[1]);
}

int disasm(Context& c) {
    if (int status = loadForDevice(c, c.options.args[0]); status != kExitOk)
        return status;
    if (!Traits(c.s.device.family).fourteenBit()) {
        printError("disasm lists 14-bit core devices only; " + c.s.device.name + " is of family " +
                   c.s.device.familyName);
        return kExitUsage;
    }
    SearchCodes codes;
    std::copy(c.options.searchCodes.begin(), c.options.searchCodes.end(), codes.begin());
    const std::string out = c.options.output.empty() ? "dis_asm.asm" : c.options.output;
    const auto listing = ListProgramToFile(c.s, codes, out);
    c.ui.flush();
    if (!listing) {
        printError("cannot write " + out);
        return kExitUsage;
    }
    c.ui.printLine(listing->countText);
    return kExitOk;
}

int exitFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed: return kExitOk;
    case Outcome::Failed: return kExitVerdict;
    case Outcome::Cancelled: return kExitVerdict;
    case Outcome::LinkFailed: return kExitLink;
    case Outcome::NoDevice: return kExitUsage;
    case Outcome::NoBoard: return kExitNoBoard;
    case Outcome::Busy: return kExitUsage;
    }
    return kExitUsage;
}

// detect, blank, erase, read, verify, program: device (when needed) and file
// first, so bad input is reported before the board is touched; then the
// board search; then the device again, as the window selects it after its
// search (the firmware check runs only once a board is found).
int boardCommand(Context& c) {
    const std::string& command = c.options.command;
    const bool withFile = command == "verify" || command == "program";
    if (withFile)
        if (int status = checkHex(c.options.args[0]); status != kExitOk)
            return status;
    const bool withSerial = command == "program" && !c.options.serialState.empty();
    if (withSerial)
        if (int status = CheckSerialRun(c); status != kExitOk)
            return status;
    const bool withDevice = !c.options.deviceName.empty();
    if (withDevice)
        if (int status = selectDevice(c); status != kExitOk)
            return status;
    // As the window, which offers Erase only where it keeps what the chip
    // must keep (PIC12F629/675 lose their factory calibration to it).
    if (command == "erase" && withDevice && !c.s.view.menus["mnuDevice_clear"].enabled) {
        printError("erase is not offered for " + c.s.device.name + " (the window's Erase menu entry is off for it)");
        return kExitUsage;
    }
    if (int status = OpenBoard(c); status != kExitOk)
        return status;
    DetectBoard(c.s);
    c.ui.flush();
    if (!c.s.link.boardFound)
        return kExitNoBoard;
    if (command == "detect") {
        c.ui.printLine(c.s.link.detectedFirmwareId);
        return kExitOk;
    }
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    if (withFile)
        loadHex(c, c.options.args[0]);
    std::unique_ptr<SerialHook> station;
    if (withSerial)
        station = StartSerialStation(c);

    Outcome outcome = Outcome::Busy;
    if (command == "blank")
        outcome = RunBlankCheck(c.s);
    else if (command == "erase")
        outcome = RunErase(c.s);
    else if (command == "read")
        outcome = RunRead(c.s);
    else if (command == "verify")
        outcome = RunVerify(c.s);
    else if (command == "program")
        outcome = RunProgram(c.s);
    c.ui.flush();
    int status = exitFor(outcome);
    if (station)
        status = SerialExitStatus(c, *station, status);
    if (!SaveSimState(c) && status == kExitOk)
        status = kExitUsage;
    if (status == kExitOk && command == "read" && !c.options.output.empty())
        return saveHex(c, c.options.output);
    return status;
}

}  // namespace

int RunCommand(Context& c) {
    const std::string& command = c.options.command;
    if (command == "devices")
        return devices(c);
    if (command == "checksum")
        return checksum(c);
    if (command == "convert")
        return convert(c);
    if (command == "disasm")
        return disasm(c);
    if (command == "serial")
        return SerialCommand(c);
    return boardCommand(c);
}

}  // namespace vx::cli
