// Where windows stand on the screen, kept in the settings.
#pragma once

#include <optional>
#include <string>

#include "base/seams.h"

namespace vx {

// Window positions are kept in twips so stored values keep their meaning.
constexpr double kTwipsPerPixel = 15;

struct WindowPlacement {
    double leftTwips = 0;
    double topTwips = 0;
    bool minimized = false;
};

// Positions of a minimized window are not saved.
void SaveWindowPosition(SettingsStore& settings, const std::string& leftKey, const std::string& topKey,
                        const WindowPlacement& placement);

// A saved position in twips; a coordinate whose value does not convert is
// nullopt and stays where the window was laid out.
struct SavedPosition {
    std::optional<double> leftTwips;
    std::optional<double> topTwips;
};
SavedPosition MainWindowPosition(const SettingsStore& settings);   // at its load
SavedPosition BoardWindowPosition(const SettingsStore& settings);  // when first shown
// The board window losing the focus, and its unload.
void SaveBoardWindowPosition(SettingsStore& settings, const WindowPlacement& placement);

}  // namespace vx
