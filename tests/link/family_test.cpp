// The command letters of each family.
#include <gtest/gtest.h>

#include "link/family.h"
#include "link/protocol.h"

namespace vx {
namespace {

TEST(Protocol, LettersPerFamily) {
    using protocol::BoardOp;
    auto letters = [](BoardOp op, const char* family) { return CommandLetters(op, ParseFamily(family)); };
    EXPECT_EQ(letters(BoardOp::EraseProgram, "12F6"), "bD");
    EXPECT_EQ(letters(BoardOp::EraseProgram, "FLASH2"), "bd");
    EXPECT_EQ(letters(BoardOp::EraseProgram, "EPROM"), "");
    EXPECT_EQ(letters(BoardOp::ReadConfig, "12C5"), "rsp");
    EXPECT_EQ(letters(BoardOp::ReadConfig, "5X28"), "rpl");
    EXPECT_EQ(letters(BoardOp::WriteConfig, "12C6"), "wsc");
    EXPECT_EQ(letters(BoardOp::WriteProgram, "EPROM2"), "wsp");
    EXPECT_EQ(letters(BoardOp::VerifyConfig, "5X18"), "rps");
    EXPECT_EQ(letters(BoardOp::BlankCheckProgram, "PIC"), "");
}

}  // namespace
}  // namespace vx
