// The Intel HEX loader on any text: every family's mapping, then a round
// trip through the writer for one of the 512-word devices or the PIC16C505,
// picked by the input's length (an 8K-word image would cost ten times the rest). Oracles: no
// memory fault (sanitizers), the ID words finished as the family says, and
// saving then loading again reproduces what the writer covers.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzzsupport.h"
#include "image/hexfile.h"

using namespace vx;

namespace {

struct Device {
    DeviceInfo info;
    PcBuffer cleared;  // as a device selection leaves it
};

struct Targets {
    fuzz::ShippedRig rig;
    std::vector<Device> devices;
    std::vector<const Device*> small;  // the round trip's
    Targets() {
        // Every family, the largest memories, and the 12C5 parts on both sides of the code-protect rule.
        for (const char* name : {"PIC16F83", "PIC16F877", "PIC12F675", "PIC12C671", "PIC16C77", "PIC12C508",
                                 "PIC16C505", "PIC16C54", "PIC16C57", "PIC16C620A"}) {
            rig.select(name);
            devices.push_back({rig.s.device, rig.s.buffer});
        }
        for (const Device& d : devices)
            if (d.info.programWords <= 512 || d.info.name == "PIC16C505")
                small.push_back(&d);
    }
};

Targets& targets() {
    static Targets t;
    return t;
}

void checkIds(const Device& d, const PcBuffer& b) {
    for (int k = 0; k < 4; ++k) {
        const int high = b.configArea[2 * k], low = b.configArea[2 * k + 1];
        if (Traits(d.info.family).fourteenBit() && (high != 0x3F || (low & 0xF0) != 0xF0))
            fuzz::Fail("14-bit ID word not 0x3FF0 + digit");
        if (Traits(d.info.family).twelveBit() && (high != 0 || low > 0x0F))
            fuzz::Fail("12-bit ID word not a digit");
    }
}

int word(const std::uint8_t* bytes, int index) { return bytes[2 * index] * 256 + bytes[2 * index + 1]; }

// What the writer saves must load back the same.
void checkRoundTrip(Session& s, const Device& d) {
    const PcBuffer first = s.buffer;
    const std::string saved = BuildHexText(s);
    s.buffer = d.cleared;
    const HexTextReport report = DecodeHexText(d.info, saved, s.buffer, false);
    if (!report.skippedLines.empty() || report.firstShortLine != 0)
        fuzz::Fail("the writer's own file has lines the loader flags");
    const PcBuffer& again = s.buffer;
    for (int a = 0; a < d.info.programWords / 8 * 8; ++a)
        if (word(first.program.data(), a) != word(again.program.data(), a))
            fuzz::Fail("program word changed by save and load");
    for (int n = 0; n < d.info.eepromBytes / 8 * 8; ++n)
        if (first.eeprom[2 * n + 1] != again.eeprom[2 * n + 1])
            fuzz::Fail("EEPROM byte changed by save and load");
    for (int i = 0; i < 8; ++i)
        if (first.configArea[i] != again.configArea[i])
            fuzz::Fail("ID word changed by save and load");
    if (word(first.configArea.data(), 7) != word(again.configArea.data(), 7))
        fuzz::Fail("configuration word changed by save and load");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Targets& t = targets();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PcBuffer& buffer = t.rig.s.buffer;
    for (const Device& d : t.devices) {
        buffer = d.cleared;
        const HexTextReport report = DecodeHexText(d.info, text, buffer, false);
        if (report.firstShortLine < 0 || static_cast<std::size_t>(report.firstShortLine) > size)
            fuzz::Fail("short line outside the file");
        checkIds(d, buffer);
    }
    // One device by the input's length: the writer's round trip and the folder entry's rules.
    const Device& d = *t.small[size % t.small.size()];
    Session& s = t.rig.s;
    s.device = d.info;
    s.buffer = d.cleared;
    DecodeHexText(d.info, text, s.buffer, false);
    checkRoundTrip(s, d);
    s.buffer = d.cleared;
    DecodeHexText(d.info, text, s.buffer, true);
    return 0;
}
