#include <gtest/gtest.h>

#include "image/display.h"
#include "image/grid.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

// A device whose setting rows are given directly; the grid gets one row per
// run of equal keys, as the database reader builds it.
void useRows(Session& s, const std::vector<DeviceRow>& rows, const std::string& family = "FLASH") {
    s.device.name = "PICTEST";
    s.device.family = ParseFamily(family);
    s.device.programWords = 1024;
    s.device.configAndMask = 0x3FFF;
    s.device.configOrMask = 0;
    s.device.rows = rows;
    InitSettingGrid(s);
    s.grid.cells.resize(1);
    std::string previous;
    for (const auto& row : rows) {
        if (row[0] != previous)
            s.grid.cells.push_back({row[0], ""});
        previous = row[0];
    }
    s.grid.armed = false;
}

DeviceRow row(const std::string& key, const std::string& option, const std::string& mask = "",
              const std::string& value = "") {
    DeviceRow r;
    r[0] = key;
    r[1] = option;
    r[2] = mask;
    r[3] = value;
    return r;
}

const std::vector<DeviceRow> kFosc = {row("FOSC", "LP", "0x0003", "0x0000"), row("FOSC", "XT", "0x0003", "0x0001")};
const std::vector<DeviceRow> kCp = {row("CP", "OFF", "0x3FF0", "0x3FF0"), row("CP", "ALL", "0x3FF0", "0x0000")};

}  // namespace

TEST(RefreshGridFromConfig, ShowsTheFirstOptionInForce) {
    TestRig rig;
    auto& s = *rig.session;
    useRows(s, kFosc);
    s.buffer.configWord = 0x3FF1;
    RefreshGridFromConfig(s);
    EXPECT_EQ(s.grid.cells[1][1], "XT");
    EXPECT_EQ(s.grid.currentRow, 0);
    EXPECT_EQ(s.grid.currentCol, 1);
    EXPECT_TRUE(s.grid.visible);

    s.buffer.configWord = 0x3FF2;  // neither option: the row keeps its text
    RefreshGridFromConfig(s);
    EXPECT_EQ(s.grid.cells[1][1], "XT");
}

TEST(RefreshGridFromConfig, SuspectsCodeProtectionOnlyWithoutACpOptionInForceFirst) {
    TestRig rig;
    auto& s = *rig.session;
    useRows(s, kCp);
    s.buffer.configWord = 0x3FF4;
    RefreshGridFromConfig(s);
    EXPECT_EQ(s.grid.cells[1][1], "OFF");
    EXPECT_FALSE(s.buffer.codeProtectSuspected);

    s.buffer.configWord = 0x0004;
    RefreshGridFromConfig(s);
    EXPECT_EQ(s.grid.cells[1][1], "ALL");
    EXPECT_TRUE(s.buffer.codeProtectSuspected);

    s.buffer.configWord = 0x3FF4;  // cleared again by the next refresh
    RefreshGridFromConfig(s);
    EXPECT_FALSE(s.buffer.codeProtectSuspected);
}

TEST(RefreshGridFromConfig, CalibrationRowsShowTheTwoDigitValue) {
    TestRig rig;
    auto& s = *rig.session;
    useRows(s, {row("CALIB(retlw)", "80"), kFosc[0], kFosc[1]}, "12F6");
    s.buffer.calibText = "retlw 0x5C";
    s.buffer.configWord = 0x3FF0;
    RefreshGridFromConfig(s);
    EXPECT_EQ(s.grid.cells[1][1], "5C");
    EXPECT_EQ(s.grid.cells[2][1], "LP");
}

TEST(ConfigFromGrid, BuildsTheWordFromTheChosenOptionsAndMasks) {
    TestRig rig;
    auto& s = *rig.session;
    useRows(s, kFosc);
    s.grid.cells[1][1] = "LP";
    ConfigFromGrid(s);
    EXPECT_EQ(s.buffer.configWord, 0x3FFC);
    EXPECT_EQ(ConfigAreaWord(s), 0x3FFC);
    EXPECT_EQ(s.view.configText, "3FFC");

    s.device.configAndMask = 0x0FFF;  // a 12-bit part never gets bits above 11
    ConfigFromGrid(s);
    EXPECT_EQ(s.buffer.configWord, 0x0FFC);

    s.device.configAndMask = 0x3FFF;
    s.grid.cells[1][1] = "XX";  // typed, matches no row: no contribution
    ConfigFromGrid(s);
    EXPECT_EQ(s.buffer.configWord, 0x3FFF);
}

TEST(ConfigFromGrid, ARepeatedKeyUsesTheBlockAfterThePreviousRow) {
    TestRig rig;
    auto& s = *rig.session;
    useRows(s, {row("FOSC", "LP", "0x0003", "0x0000"), row("FOSC", "XT", "0x0003", "0x0001"),
                row("WDT", "ON", "0x0004", "0x0004"), row("WDT", "OFF", "0x0004", "0x0000"),
                row("FOSC", "LP", "0x0300", "0x0000"), row("FOSC", "XT", "0x0300", "0x0100")});
    ASSERT_EQ(s.grid.cells.size(), 4u);
    s.grid.cells[1][1] = "XT";
    s.grid.cells[2][1] = "OFF";
    s.grid.cells[3][1] = "LP";
    ConfigFromGrid(s);
    EXPECT_EQ(s.buffer.configWord, 0x3CF9);
}

TEST(CellEditors, FirstLeaveCellOnlyArmsThenOptionsAreWritten) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    s.grid.comboText = "LP";  // left over from an earlier device
    EXPECT_FALSE(s.grid.armed);
    GridCellChanged(s, 1, 0);
    EXPECT_TRUE(s.grid.armed);
    EXPECT_EQ(s.grid.cells[1][1], "RC");  // nothing written by the first event
    EXPECT_TRUE(s.grid.comboVisible);
    EXPECT_FALSE(s.grid.textVisible);
    EXPECT_EQ(s.grid.currentCol, 1);
    EXPECT_EQ(s.grid.comboItems, (std::vector<std::string>{"LP", "XT", "HS", "RC"}));
    EXPECT_EQ(s.grid.comboText, "RC");
    EXPECT_EQ(s.view.note, "発振器の選択 LP/XT/HS/RC");  // the help line of the key

    ComboOptionChosen(s, "HS");
    EXPECT_EQ(s.grid.cells[1][1], "HS");
    EXPECT_EQ(s.buffer.configWord, 0x3FFE);

    s.grid.comboText = "LP";  // typed, then the user moves on
    GridCellChanged(s, 2, 0);
    EXPECT_EQ(s.grid.cells[1][1], "LP");
    EXPECT_EQ(s.grid.comboItems, (std::vector<std::string>{"OFF", "ON"}));
}

TEST(CellEditors, NoEditorWithoutADeviceOrOutOfView) {
    TestRig rig;
    auto& s = *rig.session;
    InitSettingGrid(s);
    GridCellChanged(s, 1, 0);
    EXPECT_FALSE(s.grid.comboVisible);
    EXPECT_FALSE(s.grid.textVisible);
    useRows(s, kFosc);
    GridCellChanged(s, 1, 0, false);
    EXPECT_FALSE(s.grid.comboVisible);
}

TEST(CellEditors, CalibrationValueIsPaddedAndKeepsItsInstruction) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC12F675"));
    auto& s = *rig.session;
    int calibRow = 0;
    for (int i = 1; i < static_cast<int>(s.grid.cells.size()); ++i)
        if (s.grid.cells[static_cast<std::size_t>(i)][0] == "CALIB(retlw)")
            calibRow = i;
    ASSERT_NE(calibRow, 0);
    EXPECT_EQ(s.grid.cells[static_cast<std::size_t>(calibRow)][1], "80");
    GridCellChanged(s, calibRow, 0);
    EXPECT_TRUE(s.grid.textVisible);
    EXPECT_EQ(s.grid.editorText, "80");
    s.grid.editorText = "8";
    CommitCalibration(s);
    EXPECT_EQ(s.grid.cells[static_cast<std::size_t>(calibRow)][1], "08");
    EXPECT_EQ(s.buffer.calibText, "retlw 0x08");
    s.grid.editorText = "";
    GridCellChanged(s, 1, 0);  // leaving the cell pads as well
    EXPECT_EQ(s.grid.cells[static_cast<std::size_t>(calibRow)][1], "00");
}

TEST(IdCommit, PadsTheTextAndWritesIdWordsByCore) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    CommitIdText(s, "7");
    EXPECT_EQ(s.view.idText, "0007");
    EXPECT_EQ(IdWord(s, 0), 0x3FF0);
    EXPECT_EQ(IdWord(s, 1), 0x3FF0);
    EXPECT_EQ(IdWord(s, 2), 0x3FF0);
    EXPECT_EQ(IdWord(s, 3), 0x3FF7);
    CommitIdText(s, "FFFF");  // leaves the words alone
    EXPECT_EQ(IdWord(s, 3), 0x3FF7);
    EXPECT_EQ(s.buffer.idText, "FFFF");

    ASSERT_TRUE(SelectByName(rig, "PIC12C508"));
    CommitIdText(s, "A1");
    EXPECT_EQ(IdWord(s, 0), 0x0000);
    EXPECT_EQ(IdWord(s, 2), 0x000A);
    EXPECT_EQ(IdWord(s, 3), 0x0001);
    CommitIdText(s, "");
    EXPECT_EQ(s.view.idText, "0000");
    EXPECT_EQ(IdWord(s, 2), 0x0000);
}

TEST(HexKeyFilter, AdmitsHexDigitsOnly) {
    std::string text = "12";
    int start = 2, length = 0;
    EXPECT_FALSE(HexKeyFilter(text, start, length, 'g', 4));
    EXPECT_FALSE(HexKeyFilter(text, start, length, ' ', 4));
    EXPECT_EQ(text, "12");
    EXPECT_TRUE(HexKeyFilter(text, start, length, 'a', 4));
    EXPECT_EQ(text, "12A");
    EXPECT_EQ(start, 3);
    start = 0;
    length = 2;
    EXPECT_TRUE(HexKeyFilter(text, start, length, 'F', 4));  // replaces the selection
    EXPECT_EQ(text, "FA");
    EXPECT_EQ(start, 1);
    EXPECT_TRUE(HexKeyFilter(text, start, length, 8, 4));  // Backspace
    EXPECT_EQ(text, "A");
    EXPECT_FALSE(HexKeyFilter(text, start, length, 8, 4));  // nothing before the caret
    text = "1234";
    start = 4;
    EXPECT_FALSE(HexKeyFilter(text, start, length, '5', 4));
    EXPECT_EQ(text, "1234");
}

TEST(Notes, IdBoxExplainsItself) {
    TestRig rig;
    ShowIdNote(*rig.session);
    EXPECT_EQ(rig.session->view.note, "ＩＤ番号の表示。変更するときは４桁の16進数を入力します。 ");
}
