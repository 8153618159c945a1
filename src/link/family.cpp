#include "link/family.h"

#include "base/convert.h"

namespace vx {

namespace {

constexpr const Core* k12 = &kTwelveBitCore;
constexpr const Core* k14 = &kFourteenBitCore;
using Blank = BlankCheckLayout;

// One row per family, in the order FamilyTraits declares its fields:
//   family, name, core,
//   calibrated, eeprom, flash, bandGap, eraseMenu,
//   oldIdHexAddress, hexProtectRule, codeProtectMask, blankCheck,
//   letters: "?" | erase | blank check: program, EEPROM, configuration |
//            read: configuration, EEPROM, program, configuration area |
//            write: program, configuration, EEPROM | verify: program, EEPROM, configuration
constexpr std::array<FamilyTraits, 8> kFamilies{{
    {Family::F5X18, "5X18", k12, false, false, false, false, false, 0x1000, false, 0x0008, Blank::WholeArea,
     {"?", "", "bps", "", "rps", "rps", "", "rps", "rsc", "wps", "wps", "", "rps", "", "rps"}},
    {Family::F5X28, "5X28", k12, false, false, false, false, false, 0x1000, false, 0x0008, Blank::WholeArea,
     {"?", "", "bpl", "", "rpl", "rpl", "", "rpl", "rsc", "wpl", "wpl", "", "rpl", "", "rpl"}},
    {Family::F12C5, "12C5", k12, true, false, false, false, false, -1, true, 0x0008, Blank::CalibrationThenIds,
     {"?", "", "bs", "", "rsc", "rsp", "", "rsp", "rsc", "wsp", "wsp", "", "rsp", "", "rsc"}},
    {Family::F12C6, "12C6", k14, true, false, false, false, true, -1, false, 0x0010, Blank::CalibrationLast,
     {"?", "", "bs", "", "rsc", "rsc", "", "rsp", "rsc", "wsp", "wsc", "", "rsp", "", "rsc"}},
    {Family::F12F6, "12F6", k14, true, true, true, true, false, -1, false, 0x0080, Blank::CalibrationLast,
     {"?", "bD", "bs", "rsd", "rsc", "rsc", "rsd", "rsp", "rsc", "wef", "wec", "wed", "rsp", "rsd", "rsc"}},
    {Family::Eprom, "EPROM", k14, false, false, false, false, false, -1, false, 0x0010, Blank::ProgramWords,
     {"?", "", "bs", "", "rsc", "rsc", "", "rsp", "rsc", "wsp", "wsc", "", "rsp", "", "rsc"}},
    {Family::Flash, "FLASH", k14, false, true, true, false, true, -1, false, 0x0010, Blank::ProgramWords,
     {"?", "bd", "bs", "rsd", "rsc", "rsc", "rsd", "rsp", "rsc", "wef", "wec", "wed", "rsp", "rsd", "rsc"}},
    // Nothing is sent for an unknown family, not even "?".
    {Family::Unknown, "", nullptr, false, false, false, false, true, -1, false, 0x0010, Blank::ProgramWords,
     {"", "", "", "", "", "", "", "", "", "", "", "", "", "", ""}},
}};

constexpr bool InEnumOrder() {
    for (std::size_t i = 0; i < kFamilies.size(); ++i)
        if (static_cast<std::size_t>(kFamilies[i].family) != i)
            return false;
    return true;
}
static_assert(InEnumOrder() && kFamilies.back().family == Family::Unknown);

// Older names of two families that device.ini still accepts.
struct Alias {
    const char* code;
    Family family;
};
constexpr std::array<Alias, 2> kAliases{{{"EPROM2", Family::Eprom}, {"FLASH2", Family::Flash}}};

}  // namespace

const FamilyTraits& Traits(Family family) { return kFamilies[static_cast<std::size_t>(family)]; }

bool IsCalibrationInstruction(const FamilyTraits& family, int word) {
    if (!family.calibrated || !family.core || word < 0 || (word & ~family.core->blankWord) != 0)
        return false;
    return (word >> 8) == family.core->calibOpcode;
}

int CalibrationInstruction(const FamilyTraits& family, int k) {
    return family.drivenCore().calibOpcode * 256 + (k & 0xFF);
}

std::string CalibrationText(const FamilyTraits& family, int k) {
    return std::string(family.drivenCore().calibMnemonic) + " 0x" + HexText(static_cast<std::uint32_t>(k & 0xFF), 2);
}

int CalibrationTextValue(const std::string& text) {
    return ParseNumber("0x" + text.substr(text.size() >= 2 ? text.size() - 2 : 0));
}

std::optional<int> ParseCalibrationValue(const FamilyTraits& family, std::string_view text) {
    // Hexadecimal with its prefix, the one form of a whole word.
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    const int word = ParseNumber(std::string(text));
    if (!IsCalibrationInstruction(family, word))
        return std::nullopt;
    return word;
}

std::optional<int> ParseBandGapValue(std::string_view text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '3')
        return std::nullopt;
    return text[0] - '0';
}

std::optional<int> BandGapOf(const FamilyTraits& family, int configWord) {
    if (!family.bandGap || IsNoChipWord(configWord))
        return std::nullopt;
    return (configWord & kBandGapMask) >> kBandGapShift;
}

Family ParseFamily(std::string_view code) {
    for (const FamilyTraits& t : kFamilies)
        if (t.family != Family::Unknown && code == t.name)
            return t.family;
    for (const Alias& a : kAliases)
        if (code == a.code)
            return a.family;
    return Family::Unknown;
}

std::string FamilyNameOf(std::string_view code) {
    const Family family = ParseFamily(code);
    return family == Family::Unknown ? std::string(code) : Traits(family).name;
}

}  // namespace vx
