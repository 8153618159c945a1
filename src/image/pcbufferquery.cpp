#include "image/pcbufferquery.h"

#include <algorithm>

#include "base/convert.h"
#include "link/family.h"

namespace vx {

int BufferProgramWords(const DeviceInfo& device) { return std::clamp(device.programWords, 0, (kProgramBytes - 1) / 2); }

int BufferEepromBytes(const DeviceInfo& device) { return std::clamp(device.eepromBytes, 0, (kEepromBytes - 1) / 2); }

int BlankProgramWord(Family family) {
    const Core* core = Traits(family).core;
    return core ? core->blankWord : -1;
}

std::string PcBufferChecksum(const Session& s) {
    std::uint32_t sum = 0;
    for (int a = 0; a < BufferProgramWords(s.device); ++a)
        sum += static_cast<std::uint32_t>(ProgramWordAt(s.buffer, a));
    return HexText(sum, 4);
}

}  // namespace vx
