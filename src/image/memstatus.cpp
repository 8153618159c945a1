#include "image/memstatus.h"

#include "image/pcbufferquery.h"

namespace vx {

std::array<MemoryStrip, 4> MemoryUsageMap(const Session& s) {
    std::array<MemoryStrip, 4> strips;
    const int words = s.device.programWords;
    if (words > 511)
        strips[0].usedFraction = 1 / 4.05;
    if (words > 1023)
        strips[0].usedFraction = 1 / 2.05;
    if (words > 2047)
        strips[0].usedFraction = 1;
    if (words > 4095)
        strips[1].usedFraction = 1;
    if (words > 8191)
        strips[2].usedFraction = strips[3].usedFraction = 1;
    for (int a = 0; a < BufferProgramWords(s.device); ++a)
        if (ProgramWordAt(s.buffer, a) == 0x3FFF)
            strips[static_cast<std::size_t>(a / kWordsPerStrip)].blankOffsets.push_back(a % kWordsPerStrip);
    return strips;
}

}  // namespace vx
