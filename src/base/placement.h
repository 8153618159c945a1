// Where windows stand on the screen, kept in the settings, and where they
// first open.
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

// Positions of a minimized window are not saved. A coordinate whose pixel is
// that of the stored value keeps the stored text: a pixel holds fifteen
// twips, and 100 twips read as 6 pixels would come back as 90.
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

// Screen geometry in pixels. A window's rectangle is its frame, the window
// system's border and title included; its position is the frame's corner.
struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

int PixelsFromTwips(double twips);

// The corner that puts a frame of this size inside the area (the screen's
// available area), moving it as little as it can; a frame larger than the
// area keeps its top left corner in the area. An empty area moves nothing.
PixelPoint KeepInside(PixelPoint at, int width, int height, const PixelRect& area);

// Where a window first opens: at the saved position (a coordinate that is
// not readable stays at laidOut), inside the area.
PixelPoint FirstPosition(const SavedPosition& saved, PixelPoint laidOut, int width, int height,
                         const PixelRect& area);

// Beside another window (right of it, else left of it, else at the area's
// right edge, over that window but a window of its own), inside the area.
PixelPoint BesidePosition(const PixelRect& other, int width, int height, const PixelRect& area);

// A window opened from a question (the hint beside the overwrite question):
// its place and size in the part of the area left, right, above or below
// the question that leaves it largest, shrunk to fit there, so it never
// covers the question; aligned with the question where it can be.
PixelRect UncoveringRect(const PixelRect& question, int width, int height, const PixelRect& area);

// The board window: at its saved position; on the first start, when nothing
// is saved, beside the main window. Inside the area either way.
PixelPoint BoardWindowFirstPosition(const SettingsStore& settings, const PixelRect& mainWindow, int width,
                                    int height, const PixelRect& area);

}  // namespace vx
