#include "base/placement.h"

#include <algorithm>
#include <cmath>

#include "base/convert.h"
#include "base/settings.h"

namespace vx {

namespace {

void saveCoordinate(SettingsStore& settings, const std::string& key, double twips) {
    const auto stored = SettingReal(settings, key, 0);
    if (settings.value(key) && stored && PixelsFromTwips(*stored) == PixelsFromTwips(twips))
        return;
    settings.setValue(key, ShortestFloatText(twips));
}

// One coordinate: from as far as the area lets a frame of this length go.
int keepInside(int at, int length, int areaStart, int areaLength) {
    if (areaLength <= 0)
        return at;
    return std::max(areaStart, std::min(at, areaStart + areaLength - length));
}

}  // namespace

int PixelsFromTwips(double twips) {
    // Far beyond any screen either way; a damaged value must still convert.
    constexpr double kLimit = 1e6;
    if (!(twips > -kLimit * kTwipsPerPixel))
        return static_cast<int>(-kLimit);
    return static_cast<int>(std::floor(std::min(twips / kTwipsPerPixel, kLimit) + 1e-6));
}

void SaveWindowPosition(SettingsStore& settings, const std::string& leftKey, const std::string& topKey,
                        const WindowPlacement& placement) {
    if (placement.minimized)
        return;
    saveCoordinate(settings, leftKey, placement.leftTwips);
    saveCoordinate(settings, topKey, placement.topTwips);
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

PixelPoint KeepInside(PixelPoint at, int width, int height, const PixelRect& area) {
    return {keepInside(at.x, width, area.x, area.width), keepInside(at.y, height, area.y, area.height)};
}

PixelPoint FirstPosition(const SavedPosition& saved, PixelPoint laidOut, int width, int height,
                         const PixelRect& area) {
    if (saved.leftTwips)
        laidOut.x = PixelsFromTwips(*saved.leftTwips);
    if (saved.topTwips)
        laidOut.y = PixelsFromTwips(*saved.topTwips);
    return KeepInside(laidOut, width, height, area);
}

PixelPoint BesidePosition(const PixelRect& other, int width, int height, const PixelRect& area) {
    constexpr int kGap = 8;
    PixelPoint at{other.x + other.width + kGap, other.y};
    if (area.width > 0 && at.x + width > area.x + area.width) {
        at.x = other.x - kGap - width;
        if (at.x < area.x)
            at.x = area.x + area.width - width;
    }
    return KeepInside(at, width, height, area);
}

PixelRect UncoveringRect(const PixelRect& question, int width, int height, const PixelRect& area) {
    const int right = area.x + area.width, bottom = area.y + area.height;
    const int qRight = question.x + question.width, qBottom = question.y + question.height;
    // The room right, left, below and above the question.
    const int room[4][2] = {{right - qRight, area.height},
                            {question.x - area.x, area.height},
                            {area.width, bottom - qBottom},
                            {area.width, question.y - area.y}};
    PixelRect best;
    long long bestSize = -1;
    for (int side = 0; side < 4; ++side) {
        const int w = std::clamp(width, 0, std::max(0, room[side][0]));
        const int h = std::clamp(height, 0, std::max(0, room[side][1]));
        if (static_cast<long long>(w) * h <= bestSize)
            continue;
        bestSize = static_cast<long long>(w) * h;
        // Against the question's edge, level with the question where it can be.
        const int level = std::clamp(question.y, area.y, bottom - h);
        const int across = std::clamp(question.x, area.x, right - w);
        switch (side) {
        case 0: best = {qRight, level, w, h}; break;
        case 1: best = {question.x - w, level, w, h}; break;
        case 2: best = {across, qBottom, w, h}; break;
        default: best = {across, question.y - h, w, h}; break;
        }
    }
    return best;
}

PixelPoint BoardWindowFirstPosition(const SettingsStore& settings, const PixelRect& mainWindow, int width,
                                    int height, const PixelRect& area) {
    if (settings.value("BoardLeft") || settings.value("BoardTop"))
        return FirstPosition(BoardWindowPosition(settings), {mainWindow.x, mainWindow.y}, width, height, area);
    return BesidePosition(mainWindow, width, height, area);
}

}  // namespace vx
