#include "link/family.h"

#include "base/convert.h"

namespace vx {

namespace {

constexpr const Core* k12 = &kTwelveBitCore;
constexpr const Core* k14 = &kFourteenBitCore;
using Blank = BlankCheckLayout;

// One row per family, in the order of Family.
constexpr std::array<FamilyTraits, 8> kFamilies{{
    {.family = Family::F5X18, .name = "5X18", .core = k12,
     .calibrated = false, .eeprom = false, .flash = false, .bandGap = false, .eraseMenu = false,
     .oldIdHexAddress = 0x1000, .hexProtectRule = false, .codeProtectMask = 0x0008, .blankCheck = Blank::WholeArea,
     .letters = {.identify = "?", .blankCheckProgram = "bps", .blankCheckConfig = "rps", .readConfig = "rps",
                 .readProgram = "rps", .readConfigArea = "rsc", .writeProgram = "wps", .writeConfig = "wps",
                 .verifyProgram = "rps", .verifyConfig = "rps"},
     .oldOscillatorParts = {"PIC16C54", "PIC16C56"}},
    {.family = Family::F5X28, .name = "5X28", .core = k12,
     .calibrated = false, .eeprom = false, .flash = false, .bandGap = false, .eraseMenu = false,
     .oldIdHexAddress = 0x1000, .hexProtectRule = false, .codeProtectMask = 0x0008, .blankCheck = Blank::WholeArea,
     .letters = {.identify = "?", .blankCheckProgram = "bpl", .blankCheckConfig = "rpl", .readConfig = "rpl",
                 .readProgram = "rpl", .readConfigArea = "rsc", .writeProgram = "wpl", .writeConfig = "wpl",
                 .verifyProgram = "rpl", .verifyConfig = "rpl"},
     .oldOscillatorParts = {"PIC16C55", "PIC16C57"}},
    {.family = Family::F12C5, .name = "12C5", .core = k12,
     .calibrated = true, .eeprom = false, .flash = false, .bandGap = false, .eraseMenu = false,
     .oldIdHexAddress = -1, .hexProtectRule = true, .codeProtectMask = 0x0008, .blankCheck = Blank::CalibrationThenIds,
     .letters = {.identify = "?", .blankCheckProgram = "bs", .blankCheckConfig = "rsc", .readConfig = "rsp",
                 .readProgram = "rsp", .readConfigArea = "rsc", .writeProgram = "wsp", .writeConfig = "wsp",
                 .verifyProgram = "rsp", .verifyConfig = "rsc"}},
    {.family = Family::F12C6, .name = "12C6", .core = k14,
     .calibrated = true, .eeprom = false, .flash = false, .bandGap = false, .eraseMenu = true,
     .oldIdHexAddress = -1, .hexProtectRule = false, .codeProtectMask = 0x0010, .blankCheck = Blank::CalibrationLast,
     .letters = {.identify = "?", .blankCheckProgram = "bs", .blankCheckConfig = "rsc", .readConfig = "rsc",
                 .readProgram = "rsp", .readConfigArea = "rsc", .writeProgram = "wsp", .writeConfig = "wsc",
                 .verifyProgram = "rsp", .verifyConfig = "rsc"}},
    {.family = Family::F12F6, .name = "12F6", .core = k14,
     .calibrated = true, .eeprom = true, .flash = true, .bandGap = true, .eraseMenu = false,
     .oldIdHexAddress = -1, .hexProtectRule = false, .codeProtectMask = 0x0080, .blankCheck = Blank::CalibrationLast,
     .letters = {.identify = "?", .eraseProgram = "bD", .blankCheckProgram = "bs", .blankCheckEeprom = "rsd",
                 .blankCheckConfig = "rsc", .readConfig = "rsc", .readEeprom = "rsd", .readProgram = "rsp",
                 .readConfigArea = "rsc", .writeProgram = "wef", .writeConfig = "wec", .writeEeprom = "wed",
                 .verifyProgram = "rsp", .verifyEeprom = "rsd", .verifyConfig = "rsc"}},
    {.family = Family::Eprom, .name = "EPROM", .core = k14,
     .calibrated = false, .eeprom = false, .flash = false, .bandGap = false, .eraseMenu = false,
     .oldIdHexAddress = -1, .hexProtectRule = false, .codeProtectMask = 0x0010, .blankCheck = Blank::ProgramWords,
     .letters = {.identify = "?", .blankCheckProgram = "bs", .blankCheckConfig = "rsc", .readConfig = "rsc",
                 .readProgram = "rsp", .readConfigArea = "rsc", .writeProgram = "wsp", .writeConfig = "wsc",
                 .verifyProgram = "rsp", .verifyConfig = "rsc"}},
    {.family = Family::Flash, .name = "FLASH", .core = k14,
     .calibrated = false, .eeprom = true, .flash = true, .bandGap = false, .eraseMenu = true,
     .oldIdHexAddress = -1, .hexProtectRule = false, .codeProtectMask = 0x0010, .blankCheck = Blank::ProgramWords,
     .letters = {.identify = "?", .eraseProgram = "bd", .blankCheckProgram = "bs", .blankCheckEeprom = "rsd",
                 .blankCheckConfig = "rsc", .readConfig = "rsc", .readEeprom = "rsd", .readProgram = "rsp",
                 .readConfigArea = "rsc", .writeProgram = "wef", .writeConfig = "wec", .writeEeprom = "wed",
                 .verifyProgram = "rsp", .verifyEeprom = "rsd", .verifyConfig = "rsc"}},
    // Nothing is sent for an unknown family, not even "?".
    {.family = Family::Unknown, .name = "", .core = nullptr,
     .calibrated = false, .eeprom = false, .flash = false, .bandGap = false, .eraseMenu = true,
     .oldIdHexAddress = -1, .hexProtectRule = false, .codeProtectMask = 0x0010, .blankCheck = Blank::ProgramWords,
     .letters = {}},
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

std::string CommandLetters(protocol::BoardOp op, Family family) {
    using Op = protocol::BoardOp;
    const BoardLetters& l = Traits(family).letters;
    switch (op) {
    case Op::Identify: return l.identify;
    case Op::EraseProgram: return l.eraseProgram;
    case Op::BlankCheckProgram: return l.blankCheckProgram;
    case Op::BlankCheckEeprom: return l.blankCheckEeprom;
    case Op::BlankCheckConfig: return l.blankCheckConfig;
    case Op::ReadConfig: return l.readConfig;
    case Op::ReadEeprom: return l.readEeprom;
    case Op::ReadProgram: return l.readProgram;
    case Op::ReadConfigArea: return l.readConfigArea;
    case Op::WriteProgram: return l.writeProgram;
    case Op::WriteConfig: return l.writeConfig;
    case Op::WriteEeprom: return l.writeEeprom;
    case Op::VerifyProgram: return l.verifyProgram;
    case Op::VerifyEeprom: return l.verifyEeprom;
    case Op::VerifyConfig: return l.verifyConfig;
    }
    return "";
}

bool IsOldOscillatorPart(const FamilyTraits& family, std::string_view part) {
    for (std::string_view name : family.oldOscillatorParts)
        if (!name.empty() && name == part)
            return true;
    return false;
}

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
