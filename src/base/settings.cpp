#include "base/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace vx {

namespace {
std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}
}  // namespace

std::string SettingText(const SettingsStore& store, const std::string& key, const std::string& def) {
    return store.value(key).value_or(def);
}

std::optional<double> SettingReal(const SettingsStore& store, const std::string& key, double def) {
    const auto raw = store.value(key);
    if (!raw)
        return def;
    const std::string text = trimmed(*raw);
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return std::nullopt;
    return value;
}

std::optional<long> SettingInt(const SettingsStore& store, const std::string& key, long def) {
    const auto value = SettingReal(store, key, static_cast<double>(def));
    if (!value || *value > 2147483647.0 || *value < -2147483648.0)
        return std::nullopt;
    return std::lround(*value);
}

std::optional<bool> SettingBool(const SettingsStore& store, const std::string& key, bool def) {
    const auto raw = store.value(key);
    if (!raw)
        return def;
    std::string text = trimmed(*raw);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (text == "true")
        return true;
    if (text == "false")
        return false;
    const auto number = SettingReal(store, key, 0);
    if (!number)
        return std::nullopt;
    return *number != 0;
}

}  // namespace vx
