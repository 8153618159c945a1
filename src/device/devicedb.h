// Readers of the device database "device.ini" in AppDir.
#pragma once

#include <string>
#include <vector>

#include "app/session.h"

namespace vx {

// The file every pass reads: db.path when set (the CLI's --ini), else AppDir + "device.ini".
inline std::string DeviceIniPath(const Session& s) {
    return s.db.path.empty() ? s.run.appDir + "device.ini" : s.db.path;
}

// Fills db.deviceNames, db.deviceIniVersion and the device list; false (and
// db.error set) when the file cannot be read or is beyond the limits of
// deviceinfo.h, which rejects it whole.
bool LoadDeviceList(Session& s);

// Reads the entry `name` and applies its rows to DeviceInfo, the grid, the
// buffer's configuration word and the labels. A broken entry or an unreadable
// file is reported in a message box and applies nothing.
void LoadDeviceEntry(Session& s, const std::string& name);

std::vector<std::string> SplitDeviceLine(const std::string& line);

// One listed device as the device index shows it.
struct DeviceSummary {
    std::string name;
    std::string family;  // "EPROM2"/"FLASH2" stored as "EPROM"/"FLASH"
    int programWords = 0;
    int eepromBytes = 0;
};

// Every listed entry of the database in file order, read without touching
// the session; empty when the file cannot be read.
std::vector<DeviceSummary> ReadDeviceIndex(const Session& s);

}  // namespace vx
