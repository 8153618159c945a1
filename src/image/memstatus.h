// The program memory usage map: four strips of 2048 words each.
#pragma once

#include <array>
#include <vector>

#include "session/session.h"

namespace vx {

constexpr int kWordsPerStrip = 2048;
constexpr std::uint32_t kColourUsedArea = 0xFF8080;  // light red

struct MemoryStrip {
    // Part of the strip's width, from the left, in light red (the rest
    // shows the button face): 0, 1 / 4.05, 1 / 2.05 or 1.
    double usedFraction = 0;
    // Offsets in the strip of the words that hold 0x3FFF; drawn as black
    // lines. Only the 14-bit blank word counts, so a 12-bit part shows all red.
    std::vector<int> blankOffsets;
};

std::array<MemoryStrip, 4> MemoryUsageMap(const Session& s);

}  // namespace vx
