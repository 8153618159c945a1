#include "image/pcbufferops.h"

#include "base/convert.h"
#include "image/display.h"
#include "image/grid.h"
#include "image/pcbufferquery.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

void ClearPcBuffer(Session& s) {
    if (RefuseWhileLocked(s) || StartDeviceCommand(s) != CommandStart::Go)
        return;
    HideGridEditors(s);
    ShowImageFile(s, "");
    s.view.hexSummary.clear();
    s.loader.contents = HexContents{};
    auto& b = s.buffer;
    b.readFromChip = false;
    const bool twelve = Traits(s.device.family).twelveBit();
    const bool fourteen = Traits(s.device.family).fourteenBit();

    if (const int blank = BlankProgramWord(s.device.family); blank >= 0) {
        for (int a = 0; a < BufferProgramWords(s.device); ++a) {
            b.program[2 * a] = static_cast<std::uint8_t>(blank >> 8);
            b.program[2 * a + 1] = 0xFF;
        }
    }
    RefreshProgramMemoryText(s);

    if (twelve || fourteen) {
        for (int i = 0; i < 16; i += 2) {
            b.configArea[i] = twelve ? 0x0F : 0x3F;
            b.configArea[i + 1] = 0xFF;
        }
    }
    if (fourteen) {
        int high = 0, low = 0;
        SplitWord(b.configWord, high, low);
        b.configArea[14] = static_cast<std::uint8_t>(high);
        b.configArea[15] = static_cast<std::uint8_t>(low);
        s.view.configText = HexText(static_cast<std::uint32_t>(b.configWord), 4);
    }
    RefreshIdConfigDisplay(s);
    b.configWord = b.configArea[14] * 256 + b.configArea[15];
    RefreshGridFromConfig(s);

    if (s.device.eepromBytes != 0) {
        if (fourteen) {
            for (int n = 0; n < BufferEepromBytes(s.device); ++n) {
                b.eeprom[2 * n] = 0x3F;
                b.eeprom[2 * n + 1] = 0xFF;
            }
        }
        RefreshEepromText(s);
    }
    s.view.idText = "FFFF";
    b.idText = "FFFF";
    s.ui.viewChanged();
}

void ShowImageFile(Session& s, const std::string& path) {
    s.view.title = s.run.titleBase + path;
    s.ui.viewChanged();
}

void UsedProgramLength(Session& s) {
    const int words = BufferProgramWords(s.device);
    int used = words;
    for (int a = words - 1; a >= 0; --a) {
        if (ProgramWordAt(s.buffer, a) != 0x3FFF) {
            used = a + 1;
            break;
        }
    }
    s.buffer.usedLength = used;
    SplitWord(used, s.buffer.usedLengthHigh, s.buffer.usedLengthLow);
}

}  // namespace vx
