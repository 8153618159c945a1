#include <gtest/gtest.h>

#include "image/display.h"
#include "image/grid.h"
#include "image/memstatus.h"
#include "image/pcbufferops.h"
#include "image/pcbufferquery.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

const std::string kDot = "\xEF\xBD\xA5";

std::string repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

}  // namespace

TEST(PcBufferChecksum, SumsTheWholeClearedDevice) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(PcBufferChecksum(*rig.session), "FC00");
    EXPECT_EQ(rig.session->view.checksumLabel.caption, "FC00");
    ASSERT_TRUE(SelectByName(rig, "PIC12C508"));
    EXPECT_EQ(PcBufferChecksum(*rig.session), "FE00");
    EXPECT_EQ(rig.session->view.checksumLabel.caption, "FE00");
}

TEST(UsedProgramLength, EndsAfterTheLastNonBlankWord) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    UsedProgramLength(s);
    EXPECT_EQ(s.buffer.usedLength, 1024);
    EXPECT_EQ(s.buffer.usedLengthHigh, 4);
    EXPECT_EQ(s.buffer.usedLengthLow, 0);
    s.buffer.program[11] = 0x00;  // word 5
    UsedProgramLength(s);
    EXPECT_EQ(s.buffer.usedLength, 6);
    EXPECT_EQ(s.buffer.usedLengthLow, 6);
}

TEST(ClearPcBuffer, FourteenBitKeepsTheGridWordAndTheCalibration) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC12F675"));
    auto& s = *rig.session;
    EXPECT_EQ(s.buffer.calibText, "retlw 0x80");
    s.buffer.calibText = "retlw 0x34";
    s.buffer.program[0] = 0x12;
    s.buffer.eeprom[1] = 0x55;
    s.buffer.configWord = 0x31F4;
    ClearPcBuffer(s);
    EXPECT_EQ(ProgramWord(s, 0), 0x3FFF);
    EXPECT_EQ(EepromByte(s, 0), 0xFF);
    EXPECT_EQ(s.buffer.eeprom[0], 0x3F);
    EXPECT_EQ(ConfigAreaWord(s), 0x31F4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(IdWord(s, k), 0x3FFF);
    EXPECT_EQ(s.buffer.calibText, "retlw 0x34");
    EXPECT_EQ(s.view.idText, "FFFF");
    EXPECT_EQ(s.buffer.idText, "FFFF");
    EXPECT_EQ(s.view.configText, "31F4");

}

TEST(ClearPcBuffer, KeepsTheChosenOptionsUntilTheDeviceIsSelectedAgain) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    GridCellChanged(s, 1, 0);  // FOSC; the first leave-cell only arms the grid
    ComboOptionChosen(s, "XT");
    EXPECT_EQ(s.buffer.configWord, 0x3FFD);
    ClearPcBuffer(s);
    EXPECT_EQ(ConfigAreaWord(s), 0x3FFD);
    EXPECT_EQ(s.grid.cells[1][1], "XT");
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(ConfigAreaWord(s), 0x3FFF);
    EXPECT_EQ(s.grid.cells[1][1], "RC");
}

TEST(ClearPcBuffer, TwelveBitBlanksEverythingToFFF) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16C54"));
    auto& s = *rig.session;
    s.buffer.configArea[14] = 0;
    s.buffer.program[2] = 0;
    ClearPcBuffer(s);
    EXPECT_EQ(ProgramWord(s, 1), 0x0FFF);
    EXPECT_EQ(ConfigAreaWord(s), 0x0FFF);
    EXPECT_EQ(s.buffer.configWord, 0x0FFF);
    EXPECT_EQ(IdWord(s, 3), 0x0FFF);
}

TEST(ClearPcBuffer, WithoutADeviceAsksForOneAndChangesNothing) {
    TestRig rig;
    auto& s = *rig.session;
    s.buffer.program[0] = 0x12;
    ClearPcBuffer(s);
    EXPECT_EQ(s.buffer.program[0], 0x12);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].text, "MCUを選んでください。");
}

TEST(ProgramMemoryDump, WritesWholeLinesOfEightWords) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    s.buffer.program[0] = 0x16;
    s.buffer.program[1] = 0x41;  // 'A'
    s.buffer.program[2] = 0x00;
    s.buffer.program[3] = 0x1F;  // below 32: the dot
    RefreshProgramMemoryText(s);
    const std::string first = "0000:1641 001F " + repeat("3FFF ", 6) + kDot + "A" + repeat(kDot, 14) + "\n";
    EXPECT_EQ(s.view.programMemory.text.substr(0, first.size()), first);

    s.device.programWords = 1018;  // the last two words are not shown
    RefreshProgramMemoryText(s);
    const std::string& text = s.view.programMemory.text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 127);
    EXPECT_NE(text.find("\n03F0:"), std::string::npos);
    EXPECT_EQ(text.find("03F8:"), std::string::npos);
}

TEST(EepromDump, SixteenBytesPerLine) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    s.buffer.eeprom[1] = 0x41;
    s.buffer.eeprom[33] = 0x7F;  // byte 16: 127 is not printable
    RefreshEepromText(s);
    const std::string line0 = "0000:41 " + repeat("FF ", 15) + "A" + repeat(kDot, 15);
    const std::string line1 = "0010:7F " + repeat("FF ", 15) + repeat(kDot, 16);
    const std::string line3 = "0030:" + repeat("FF ", 16) + repeat(kDot, 16);
    EXPECT_EQ(s.view.eeprom.text, line0 + "\n" + line1 + "\n" + line3.substr(0, 2) + "2" + line3.substr(3) + "\n" + line3);
}

TEST(IdConfigDisplay, ShowsIdDigitsConfigHexOrBits) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    const std::uint8_t ids[] = {0x3F, 0xF1, 0x3F, 0xF2, 0x3F, 0xFA, 0x3F, 0xF4};
    std::copy(std::begin(ids), std::end(ids), s.buffer.configArea.begin());
    s.buffer.configArea[14] = 0x3F;
    s.buffer.configArea[15] = 0xF1;
    RefreshIdConfigDisplay(s);
    EXPECT_EQ(s.view.idText, "12A4");
    EXPECT_EQ(s.view.configText, "3FF1");
    ToggleConfigDisplay(s);
    EXPECT_EQ(s.view.configText, "11 1111 1111 0001");
    EXPECT_EQ(s.view.note, "コンフィギュレーションデータ表示。クリックでの１６ or ２進数表示を切り替えます。変更は左側のデバイス設定で行います。 ");
    ToggleConfigDisplay(s);
    EXPECT_EQ(s.view.configText, "3FF1");

    ASSERT_TRUE(SelectByName(rig, "PIC12C508"));  // 12-bit: the ID text as loaded
    s.buffer.idText = "9a3F";
    RefreshIdConfigDisplay(s);
    EXPECT_EQ(s.view.idText, "9a3F");
}

TEST(MemoryUsageMap, MarksTheDeviceExtentAndBlankWords) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    s.buffer.program[0] = 0x28;  // word 0 in use
    auto strips = MemoryUsageMap(s);
    EXPECT_DOUBLE_EQ(strips[0].usedFraction, 1 / 2.05);
    EXPECT_EQ(strips[1].usedFraction, 0);
    ASSERT_EQ(strips[0].blankOffsets.size(), 1023u);
    EXPECT_EQ(strips[0].blankOffsets.front(), 1);

    ASSERT_TRUE(SelectByName(rig, "PIC16F877"));
    strips = MemoryUsageMap(s);
    for (const auto& strip : strips) {
        EXPECT_EQ(strip.usedFraction, 1);
        EXPECT_EQ(strip.blankOffsets.size(), 2048u);
    }

    ASSERT_TRUE(SelectByName(rig, "PIC12C508"));  // 0x0FFF is not blank here
    strips = MemoryUsageMap(s);
    EXPECT_DOUBLE_EQ(strips[0].usedFraction, 1 / 4.05);
    EXPECT_TRUE(strips[0].blankOffsets.empty());
}
