// Which device a COM number stands for on this system.
#pragma once

#include <string>

#include "base/seams.h"

namespace vx {

constexpr int kMaxComPort = 20;
// The device path of the built-in simulated board.
constexpr const char* kSimPortName = "sim";

// "ComDevice<n>": the setting that maps COM<n> to a device path.
std::string ComDeviceKey(int comNumber);
// The setting when present and not empty, else the system's usual name for
// COM<n> (/dev/ttyS<n-1> on Linux). Empty for a number outside 1..20.
std::string ComDevicePath(const SettingsStore& settings, int comNumber);

// A device the user may not open: the group that may, the command that adds
// the user to it, and that a new login is needed.
std::string PortPermissionText(const std::string& path);

}  // namespace vx
