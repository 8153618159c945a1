#include "base/placement.h"

#include <charconv>

#include "base/settings.h"

namespace vx {

namespace {

// Single-precision, shortest form: 1500 -> "1500", 1507.5 -> "1507.5".
std::string twipsText(double twips) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<float>(twips));
    return std::string(text, result.ptr);
}

}  // namespace

void SaveWindowPosition(SettingsStore& settings, const std::string& leftKey, const std::string& topKey,
                        const WindowPlacement& placement) {
    if (placement.minimized)
        return;
    settings.setValue(leftKey, twipsText(placement.leftTwips));
    settings.setValue(topKey, twipsText(placement.topTwips));
}

SavedPosition MainWindowPosition(const SettingsStore& settings) {
    return {SettingReal(settings, "MainLeft", 100), SettingReal(settings, "MainTop", 100)};
}

SavedPosition BoardWindowPosition(const SettingsStore& settings) {
    return {SettingReal(settings, "BoardLeft", 10), SettingReal(settings, "BoardTop", 10)};
}

void SaveBoardWindowPosition(SettingsStore& settings, const WindowPlacement& placement) {
    SaveWindowPosition(settings, "BoardLeft", "BoardTop", placement);
}

}  // namespace vx
