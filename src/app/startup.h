// The program's start and end on the core state: everything after the main
// window exists and the single-instance check passed, and the ending.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/session.h"

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

std::string VersionLabel();  // "Ver " + major.minor.revision
std::string LocalTimeStamp();  // date, one space, time

// Start-up from the command line on: AppDir (already set by the front end) is
// normalised, the title, history, check marks, database, grid, port and
// board, device, options, log and board window follow in order. False when
// the database could not be read: the steps after it did not run.
bool Startup(Session& s, const std::string& commandLine,
             const std::function<std::string()>& startStamp = LocalTimeStamp);

// The ending: port closed, main window position saved, temporary files gone.
void Shutdown(Session& s, const WindowPlacement& mainWindow);

}  // namespace vx
