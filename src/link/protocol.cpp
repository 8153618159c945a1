#include "link/protocol.h"

#include <array>

namespace vx::protocol {

namespace {

constexpr int kFamilies = 7;
constexpr std::array<const char*, kFamilies> kFamilyCodes{"5X18", "5X28", "12C5", "12C6",
                                                         "12F6", "EPROM", "FLASH"};

struct OpLetters {
    BoardOp op;
    std::array<const char*, kFamilies> letters;  // in kFamilyCodes order; "" = nothing sent
};

// The board's command matrix, one row per operation.
constexpr std::array<OpLetters, 15> kMatrix{{
    {BoardOp::Identify, {"?", "?", "?", "?", "?", "?", "?"}},
    {BoardOp::EraseProgram, {"", "", "", "", "bD", "", "bd"}},
    {BoardOp::BlankCheckProgram, {"bps", "bpl", "bs", "bs", "bs", "bs", "bs"}},
    {BoardOp::BlankCheckEeprom, {"", "", "", "", "rsd", "", "rsd"}},
    {BoardOp::BlankCheckConfig, {"rps", "rpl", "rsc", "rsc", "rsc", "rsc", "rsc"}},
    {BoardOp::ReadConfig, {"rps", "rpl", "rsp", "rsc", "rsc", "rsc", "rsc"}},
    {BoardOp::ReadEeprom, {"", "", "", "", "rsd", "", "rsd"}},
    {BoardOp::ReadProgram, {"rps", "rpl", "rsp", "rsp", "rsp", "rsp", "rsp"}},
    {BoardOp::ReadConfigArea, {"rsc", "rsc", "rsc", "rsc", "rsc", "rsc", "rsc"}},
    {BoardOp::WriteProgram, {"wps", "wpl", "wsp", "wsp", "wef", "wsp", "wef"}},
    {BoardOp::WriteConfig, {"wps", "wpl", "wsp", "wsc", "wec", "wsc", "wec"}},
    {BoardOp::WriteEeprom, {"", "", "", "", "wed", "", "wed"}},
    {BoardOp::VerifyProgram, {"rps", "rpl", "rsp", "rsp", "rsp", "rsp", "rsp"}},
    {BoardOp::VerifyEeprom, {"", "", "", "", "rsd", "", "rsd"}},
    {BoardOp::VerifyConfig, {"rps", "rpl", "rsc", "rsc", "rsc", "rsc", "rsc"}},
}};

int FamilyIndex(std::string family) {
    if (family == "EPROM2")
        family = "EPROM";
    if (family == "FLASH2")
        family = "FLASH";
    for (int i = 0; i < kFamilies; ++i)
        if (family == kFamilyCodes[i])
            return i;
    return -1;
}

}  // namespace

std::string CommandLetters(BoardOp op, const std::string& family) {
    const int index = FamilyIndex(family);
    if (index < 0)
        return {};
    for (const auto& row : kMatrix)
        if (row.op == op)
            return row.letters[index];
    return {};
}

}  // namespace vx::protocol
