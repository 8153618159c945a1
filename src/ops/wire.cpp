#include "ops/wire.h"

#include <array>

namespace vx::wire {

namespace {

constexpr std::array<const char*, 7> kFamilies{"5X18", "5X28", "12C5", "12C6", "12F6", "EPROM", "FLASH"};

// Rows in the order of Command, columns in the order of kFamilies.
constexpr std::array<std::array<const char*, 7>, 14> kLetters{{
    {"", "", "", "", "bD", "", "bd"},                        // EraseProgram
    {"bps", "bpl", "bs", "bs", "bs", "bs", "bs"},            // BlankProgram
    {"", "", "", "", "rsd", "", "rsd"},                      // BlankEeprom
    {"rps", "rpl", "rsc", "rsc", "rsc", "rsc", "rsc"},       // BlankConfig
    {"rps", "rpl", "rsp", "rsc", "rsc", "rsc", "rsc"},       // ReadConfig
    {"", "", "", "", "rsd", "", "rsd"},                      // ReadEeprom
    {"rps", "rpl", "rsp", "rsp", "rsp", "rsp", "rsp"},       // ReadProgram
    {"rsc", "rsc", "rsc", "rsc", "rsc", "rsc", "rsc"},       // ReadConfigArea
    {"wps", "wpl", "wsp", "wsp", "wef", "wsp", "wef"},       // WriteProgram
    {"wps", "wpl", "wsp", "wsc", "wec", "wsc", "wec"},       // WriteConfig
    {"", "", "", "", "wed", "", "wed"},                      // WriteEeprom
    {"rps", "rpl", "rsp", "rsp", "rsp", "rsp", "rsp"},       // VerifyProgram
    {"", "", "", "", "rsd", "", "rsd"},                      // VerifyEeprom
    {"rps", "rpl", "rsc", "rsc", "rsc", "rsc", "rsc"},       // VerifyConfig
}};

}  // namespace

std::string Letters(Command command, const std::string& family) {
    for (std::size_t i = 0; i < kFamilies.size(); ++i)
        if (family == kFamilies[i])
            return kLetters[static_cast<std::size_t>(command)][i];
    return "";
}

}  // namespace vx::wire
