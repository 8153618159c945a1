// Readers of the device database "device.ini" in AppDir.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/session.h"

namespace vx {

// The file every pass reads: db.path when set (the CLI's --ini), else AppDir + "device.ini".
inline std::string DeviceIniPath(const Session& s) {
    return s.db.path.empty() ? s.run.appDir + "device.ini" : s.db.path;
}

// One line of device.ini as every pass sees it: the field and its tokens.
struct DeviceLine {
    std::string text;
    std::vector<std::string> tokens;  // never empty
};
using DeviceText = std::vector<DeviceLine>;

// The database from its bytes in memory; nullopt when they are not text or
// beyond the limits of deviceinfo.h, which rejects the file whole.
std::optional<DeviceText> ParseDeviceText(std::string bytes);
// DeviceIniPath read and parsed; nullopt also when it cannot be read.
std::optional<DeviceText> ReadDeviceText(const Session& s);

// Fills db.deviceNames, db.deviceIniVersion and the device list; false (and
// db.error set) when the file cannot be read or is beyond the limits of
// deviceinfo.h, which rejects it whole.
bool LoadDeviceList(Session& s);
// The same on a text already read (nullopt: the file could not be read).
bool LoadDeviceListFrom(Session& s, const std::optional<DeviceText>& text);

// Reads the entry `name` and applies its rows to DeviceInfo, the grid, the
// buffer's configuration word and the labels. A broken entry or an unreadable
// file is reported in a message box and applies nothing.
void LoadDeviceEntry(Session& s, const std::string& name);
void LoadDeviceEntryFrom(Session& s, const std::string& name, const std::optional<DeviceText>& text);

std::vector<std::string> SplitDeviceLine(const std::string& line);

// One listed device as the device index shows it.
struct DeviceSummary {
    std::string name;
    std::string family;  // as texts show it (FamilyNameOf)
    int programWords = 0;
    int eepromBytes = 0;
    int deviceId = -1;  // DEVICE_ID; -1 none
};

// Every listed entry of the database in file order, read without touching
// the session; empty when the file cannot be read.
std::vector<DeviceSummary> ReadDeviceIndex(const Session& s);
// The same from a text already read.
std::vector<DeviceSummary> DeviceIndexOf(const DeviceText& text);

// The device ID a DEVICE_ID row gives: a number of 14 bits that names a
// part (neither 0x0000 nor 0x3FFF); nullopt otherwise.
std::optional<int> ParseDeviceId(const std::string& text);

}  // namespace vx
