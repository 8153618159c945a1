#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "device/devicedb.h"
#include "device/selection.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"

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

int devices(Context& c) {
    struct Row {
        std::string name, family;
        int words, eeprom;
    };
    std::vector<Row> rows;
    int status = kExitOk;
    std::size_t width = 0;
    for (const auto& name : c.s.view.deviceList) {
        c.s.db.error = false;
        LoadDeviceEntry(c.s, name);
        c.ui.flush();
        if (c.s.db.error) {
            status = kExitUsage;
            continue;
        }
        rows.push_back({name, c.s.device.family, c.s.device.programWords, c.s.device.eepromBytes});
        width = std::max(width, name.size());
    }
    for (const auto& row : rows) {
        char line[256];
        std::snprintf(line, sizeof line, "%-*s  %-6s %5d %4d", static_cast<int>(width), row.name.c_str(),
                      row.family.c_str(), row.words, row.eeprom);
        c.ui.printLine(line);
    }
    return status;
}

int checksum(Context& c) {
    const std::string& file = c.options.args[0];
    if (int status = checkHex(file); status != kExitOk)
        return status;
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    loadHex(c, file);
    c.ui.printLine(PcBufferChecksum(c.s) + "  " + file);
    return kExitOk;
}

}  // namespace

int RunCommand(Context& c) {
    const std::string& command = c.options.command;
    if (command == "devices")
        return devices(c);
    if (command == "checksum")
        return checksum(c);
    printError(command + ": not available in this build");
    return kExitUsage;
}

}  // namespace vx::cli
