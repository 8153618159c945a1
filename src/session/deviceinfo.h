// The selected device's parameters, as read from its device.ini entry.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "link/family.h"

namespace vx {

constexpr int kMaxDeviceNames = 1025;
constexpr int kMaxRows = 65;
constexpr int kRowColumns = 16;
constexpr int kMaxTokens = 65;
constexpr int kMaxHelpLines = 65;

using DeviceRow = std::array<std::string, kRowColumns>;

struct DeviceInfo {
    std::string name;    // "" = no device selected
    Family family = Family::Unknown;  // PGM_TYPE, read once by the database reader
    std::string familyName;           // PGM_TYPE for texts (FamilyNameOf)
    int programWords = 0;
    int eepromBytes = 0;
    int programSizeHigh = 0, programSizeLow = 0;
    int eepromSizeHigh = 0, eepromSizeLow = 0;
    int defaultConfig = 0;
    int configAndMask = 0;
    int configOrMask = 0;
    int codeProtectMask = 0;
    double minFirmware = 0;
    std::string package;
    std::string jumperJp2;
    std::string comment;
    std::string calibInstruction;
    // DEVICE_ID: the part's device ID (configuration word 6, revision bits
    // 0); -1 for a part without one. Unlike the other fields, an entry
    // without the row has none.
    int deviceId = -1;
    std::vector<DeviceRow> rows;  // at most kMaxRows, in file order
};

struct SettingHelp {
    std::string key, text1, text2;
};

// What the database passes build besides DeviceInfo.
struct DeviceDatabase {
    std::vector<std::string> deviceNames;  // LoadDeviceList, file order
    std::string deviceIniVersion;
    std::vector<SettingHelp> settingHelp;  // LoadDeviceEntry
    bool error = false;                    // database-error flag
    std::string errorText;
    std::string path;  // the database file; "" = AppDir + "device.ini"
};

}  // namespace vx
