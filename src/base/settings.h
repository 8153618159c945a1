// Typed reads of the settings store. A value that does not convert is an
// error the caller skips (nullopt); a missing key gives the default.
#pragma once

#include <optional>
#include <string>

#include "base/seams.h"

namespace vx {

std::string SettingText(const SettingsStore& store, const std::string& key, const std::string& def = "");
std::optional<long> SettingInt(const SettingsStore& store, const std::string& key, long def);
// "True"/"False" in any case, or a number (non-zero = true).
std::optional<bool> SettingBool(const SettingsStore& store, const std::string& key, bool def);
std::optional<double> SettingReal(const SettingsStore& store, const std::string& key, double def);

}  // namespace vx
