#include <gtest/gtest.h>

#include "device/devicedb.h"
#include "device/devicefile.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

namespace {

const char* const kMissingText = "デバイス情報設定ファイル 'device.ini'が、以下のフォルダーに有りませんでした。";
const char* const kMissingTitle = "設定ファイルを開けませんでした";
const char* const kEntryFailedTitle = "ﾌｧｲﾙ 開く失敗";

void WriteDatabase(TestRig& rig, const std::string& text) { test::WriteFileBytes(rig.dir + "device.ini", text); }

std::string Entry(const std::string& name, const std::string& rows) {
    return "#BEGIN\n" + name + "\n" + rows + "#END\n";
}

const std::string kF84 =
    "#BEGIN\n"
    "PIC16F84A\n"
    "PGM_TYPE FLASH\n"
    "PGM 0x3FF\n"
    "EEPROM 0x3F\n"
    "CONFIG 0x3FF1\n"
    "OTHER0 0x3FFF\n"
    "OTHER1 0x0000\n"
    "FIRM 2\n"
    "PACKAGE 18\n"
    "JP2 NON\n"
    "COMMENT 18-pin flash part\n"
    "FOSC LP 0x0003 0x0000\n"
    "FOSC XT 0x0003 0x0001\n"
    "CP OFF 0x3FF0 0x3FF0\n"
    "CP ALL 0x3FF0 0x0000\n"
    "#END\n";

std::vector<std::string> GridKeys(const Session& s) {
    std::vector<std::string> keys;
    for (std::size_t r = 1; r < s.grid.cells.size(); ++r)
        keys.push_back(s.grid.cells[r][0]);
    return keys;
}

}  // namespace

TEST(DeviceFileFields, CommaEndsAFieldUnlessQuoted) {
    EXPECT_EQ(SplitFields("PGM 0x3FF, EEPROM 0\n"), (std::vector<std::string>{"PGM 0x3FF", "EEPROM 0"}));
    EXPECT_EQ(SplitFields("\"COMMENT a, b\" tail, next\n"), (std::vector<std::string>{"COMMENT a, b", "next"}));
    EXPECT_EQ(SplitFields("  \t  key x\n\nlast"), (std::vector<std::string>{"key x", "", "last"}));
    EXPECT_EQ(SplitFields("\"open quote, to the end\n"), (std::vector<std::string>{"open quote, to the end"}));
}

TEST(DeviceFileFields, AcceptsEveryLineEnd) {
    const std::vector<std::string> expected{"a", "b", "c", "d"};
    EXPECT_EQ(SplitFields("a\r\nb\r\nc\r\nd\r\n"), expected);
    EXPECT_EQ(SplitFields("a\nb\nc\nd"), expected);
    EXPECT_EQ(SplitFields("a\rb\rc\rd\r"), expected);
    EXPECT_EQ(SplitFields("a\rb\nc\r\nd"), expected);
    EXPECT_EQ(SplitFields("a\r\rb"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(DeviceFileDecoding, KeepsUtf8AndDecodesShiftJis) {
    EXPECT_EQ(DecodeDatabaseText("CMT FOSC 発振器"), "CMT FOSC 発振器");
    EXPECT_EQ(DecodeDatabaseText("\xEF\xBB\xBFVERSION 1"), "VERSION 1");
    // "発振器" and half-width "ｱ" in Shift_JIS.
    EXPECT_EQ(DecodeDatabaseText("CMT \x94\xad\x90\x55\x8a\xed \xb1"), "CMT 発振器 ｱ");
    EXPECT_FALSE(DecodeDatabaseText("bad \x81"));  // a lead byte with no trail
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
}

TEST(SplitDeviceLine, EqualsIsATokenAndTabsAreSpaces) {
    EXPECT_EQ(SplitDeviceLine("PGM=0x3FF"), (std::vector<std::string>{"PGM", "=", "0x3FF"}));
    EXPECT_EQ(SplitDeviceLine("A=B=C"), (std::vector<std::string>{"A", "=", "B=C"}));
    EXPECT_EQ(SplitDeviceLine(ExpandTabs("PGM\t0x3FF")), (std::vector<std::string>{"PGM", "0x3FF"}));
    EXPECT_EQ(SplitDeviceLine("   "), (std::vector<std::string>{""}));
}

TEST(LoadDeviceList, ListsPicAndTvNamesInFileOrderWithTheVersion) {
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, "VERSION 1.0\n" + Entry("PIC16C54", "PGM 0x1FF\n") + Entry("TV-1", "") +
                           Entry("pic12c508", "") + Entry("XYZ", "") +
                           // a comma ends a line, so the name may follow on the same line
                           "#BEGIN,PIC16F84A\n#END\n"
                           "VERSION 2.10\n");
    EXPECT_TRUE(LoadDeviceList(s));
    EXPECT_EQ(s.db.deviceNames, (std::vector<std::string>{"PIC16C54", "TV-1", "PIC16F84A"}));
    EXPECT_EQ(s.view.deviceList, s.db.deviceNames);
    EXPECT_EQ(s.db.deviceIniVersion, "2.10");
    EXPECT_FALSE(s.db.error);
    EXPECT_TRUE(rig.ui.boxes.empty());

    WriteDatabase(rig, "VERSION = 2.10\nVERSION 1 . 2 3 4 5\n");
    EXPECT_TRUE(LoadDeviceList(s));
    EXPECT_EQ(s.db.deviceIniVersion, "1.23");
    WriteDatabase(rig, "VERSION = 2.10\n");
    EXPECT_TRUE(LoadDeviceList(s));
    EXPECT_EQ(s.db.deviceIniVersion, "=2.10");
    EXPECT_TRUE(s.db.deviceNames.empty());
}

TEST(LoadDeviceList, MissingFileIsReportedWithTheFolder) {
    TestRig rig;
    auto& s = *rig.session;
    EXPECT_FALSE(LoadDeviceList(s));
    EXPECT_TRUE(s.db.error);
    EXPECT_TRUE(s.view.deviceList.empty());
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.ui.boxes[0].title, kMissingTitle);
    EXPECT_EQ(rig.ui.boxes[0].text, kMissingText + rig.dir);
}

TEST(LoadDeviceList, ListBoxTakesAtMost512Names) {
    TestRig rig;
    auto& s = *rig.session;
    std::string text;
    for (int i = 0; i < 1025; ++i)
        text += "#BEGIN\nPIC" + std::to_string(i) + "\n#END\n";
    WriteDatabase(rig, text);
    EXPECT_TRUE(LoadDeviceList(s));
    EXPECT_EQ(s.db.deviceNames.size(), 1025u);
    ASSERT_EQ(s.view.deviceList.size(), 512u);
    EXPECT_EQ(s.view.deviceList.back(), "PIC511");
}

TEST(LoadDeviceEntry, AppliesEveryRowOfTheEntry) {
    TestRig rig;
    auto& s = *rig.session;
    s.view.menus["mnuBoardInfomation"].checked = true;
    WriteDatabase(rig, "CMT FOSC osc-help text2\nCMT CP cp-help more\n" + kF84 + "CMT LATE after entry\n");
    LoadDeviceEntry(s, "PIC16F84A");

    EXPECT_FALSE(s.db.error);
    EXPECT_TRUE(rig.ui.boxes.empty());
    const DeviceInfo& d = s.device;
    EXPECT_EQ(d.family, Family::Flash);
    EXPECT_EQ(d.familyName, "FLASH");
    EXPECT_EQ(d.programWords, 1024);
    EXPECT_EQ(d.programSizeHigh, 0x04);
    EXPECT_EQ(d.programSizeLow, 0x00);
    EXPECT_EQ(s.view.pmSizeLabel.caption, "= 1024 word");
    EXPECT_EQ(d.eepromBytes, 64);
    EXPECT_EQ(d.eepromSizeLow, 64);
    EXPECT_EQ(s.view.edSizeLabel.caption, "= 64 byte");
    EXPECT_TRUE(s.view.eeprom.visible);
    EXPECT_EQ(s.view.programMemory.heightTwips, 2820);
    EXPECT_EQ(d.defaultConfig, 0x3FF1);
    EXPECT_EQ(s.buffer.configWord, 0x3FF1);
    EXPECT_EQ(s.buffer.configArea[14], 0x3F);
    EXPECT_EQ(s.buffer.configArea[15], 0xF1);
    EXPECT_EQ(s.view.configText, "3FF1");
    EXPECT_EQ(d.configAndMask, 0x3FFF);
    EXPECT_EQ(d.configOrMask, 0);
    EXPECT_EQ(d.codeProtectMask, 0x3FF0);
    EXPECT_DOUBLE_EQ(d.minFirmware, 2.0);
    EXPECT_EQ(d.package, "18");
    EXPECT_EQ(d.jumperJp2, "NON");
    EXPECT_EQ(s.view.board.package, "18");
    EXPECT_EQ(s.view.board.jumper, "NON");
    EXPECT_TRUE(s.view.board.visible);
    EXPECT_EQ(d.comment, " 18-pin flash part  ");
    ASSERT_EQ(d.rows.size(), 14u);
    EXPECT_EQ(d.rows[12][0], "CP");
    EXPECT_EQ(d.rows[12][3], "0x3FF0");
    EXPECT_EQ(d.rows[12][4], "");

    EXPECT_EQ(GridKeys(s), (std::vector<std::string>{"FOSC", "CP"}));
    EXPECT_FALSE(s.grid.visible);  // shown by the caller after its refresh
    EXPECT_FALSE(s.grid.armed);
    EXPECT_EQ(s.grid.currentRow, 1);
    EXPECT_EQ(s.grid.currentCol, 0);
    ASSERT_EQ(s.db.settingHelp.size(), 2u);
    EXPECT_EQ(s.db.settingHelp[1].key, "CP");
    EXPECT_EQ(s.db.settingHelp[1].text1, "cp-help");
    EXPECT_EQ(s.db.settingHelp[1].text2, "more");
}

TEST(LoadDeviceEntry, RowFormsAndSpellings) {
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, Entry("PIC1", "PGM_TYPE FLASH2\nEEPROM 0\nCONFIG 0x1F\nCOMMENT abc\nPGM = 0x3FF\n") +
                           Entry("PIC2", "pgm_type flash\n; PGM 0x7FF\n\tpgm\t0x7FF \n\nFIRM 2.5\n") +
                           Entry("PIC3", "PGM 0b11\nEEPROM 3FF\nCONFIG 12\n"));
    LoadDeviceEntry(s, "PIC1");
    EXPECT_EQ(s.device.family, Family::Flash);
    EXPECT_EQ(s.device.familyName, "FLASH");
    EXPECT_EQ(s.device.eepromBytes, 0);
    EXPECT_FALSE(s.view.eeprom.visible);
    EXPECT_FALSE(s.view.edSizeLabel.visible);
    EXPECT_FALSE(s.view.eepromHeadingVisible);
    EXPECT_EQ(s.view.eeprom.backColour, kColourDisabled);
    EXPECT_EQ(s.view.programMemory.heightTwips, 4440);
    EXPECT_EQ(s.view.configText, "001F");
    EXPECT_EQ(s.device.comment, " abc    ");
    EXPECT_EQ(s.device.programWords, 0);  // "=" is token 1, the number reads -1

    LoadDeviceEntry(s, "PIC2");
    EXPECT_EQ(s.device.family, Family::Unknown);  // keys are upper-cased, values are not
    EXPECT_EQ(s.device.familyName, "flash");
    EXPECT_EQ(s.device.programWords, 0x800);
    EXPECT_DOUBLE_EQ(s.device.minFirmware, 2.5);
    EXPECT_EQ(s.device.eepromBytes, 0);  // no EEPROM row: the previous value stays

    LoadDeviceEntry(s, "PIC3");
    EXPECT_EQ(s.device.programWords, 4);
    EXPECT_EQ(s.device.eepromBytes, 0);  // a malformed size shows the box with 0 bytes
    EXPECT_TRUE(s.view.eeprom.visible);
    EXPECT_EQ(s.view.edSizeLabel.caption, "= 0 byte");
    EXPECT_EQ(s.view.configText, "000C");
}

TEST(LoadDeviceEntry, SizesStayWithinThePcBuffer) {
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, Entry("PIC1", "PGM 0x7FFFFFFF\nEEPROM 0xFFFF\n") + Entry("PIC2", "PGM -9\nEEPROM -9\n"));
    LoadDeviceEntry(s, "PIC1");
    EXPECT_EQ(s.device.programWords, kProgramBytes / 2);
    EXPECT_EQ(s.device.eepromBytes, kEepromBytes / 2);
    LoadDeviceEntry(s, "PIC2");
    EXPECT_EQ(s.device.programWords, 0);
    EXPECT_EQ(s.device.eepromBytes, 0);
}

TEST(LoadDeviceEntry, GridRowsFollowKeyRuns) {
    TestRig rig;
    auto& s = *rig.session;
    s.grid.cells.resize(16);
    s.grid.cells[1][1] = "old";
    WriteDatabase(rig, Entry("PIC1", "FOSC LP 0x3 0x0\nFOSC XT 0x3 0x1\n") +
                           Entry("PIC2", "FOSC LP 0x3 0x0\nWDT ON 0x4 0x4\nFOSC XT 0x3 0x1\n"
                                         "CALIB(retlw) 80\n") +
                           Entry("PIC3", "CALIB(movlw) 34\nPGM 0x1FF\n") + Entry("PIC4", "PGM 0x1FF\n"));
    LoadDeviceEntry(s, "PIC1");
    EXPECT_EQ(GridKeys(s), (std::vector<std::string>{"FOSC"}));
    EXPECT_EQ(s.grid.cells[1][1], "old");  // refreshed from the configuration word later
    EXPECT_EQ(s.buffer.calibText, "");

    LoadDeviceEntry(s, "PIC2");
    EXPECT_EQ(GridKeys(s), (std::vector<std::string>{"FOSC", "WDT", "FOSC", "CALIB(retlw)"}));
    EXPECT_EQ(s.device.calibInstruction, "retlw 0x80");
    EXPECT_EQ(s.buffer.calibText, "retlw 0x80");

    LoadDeviceEntry(s, "PIC3");
    EXPECT_EQ(GridKeys(s), (std::vector<std::string>{"CALIB(movlw)"}));
    EXPECT_EQ(s.buffer.calibText, "movlw 0x34");

    LoadDeviceEntry(s, "PIC4");
    EXPECT_EQ(s.buffer.calibText, "");
    EXPECT_EQ(s.device.calibInstruction, "movlw 0x34");  // no row: the previous value stays
    EXPECT_EQ(GridKeys(s), (std::vector<std::string>{""}));
}

TEST(LoadDeviceEntry, BoardWindowFollowsTheMenuCheckMark) {
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, Entry("PIC1", "PACKAGE 28A\nJP2 2-3\n") + Entry("PIC2", "PACKAGE 20\nJP2 X\n"));
    s.view.board.visible = true;
    LoadDeviceEntry(s, "PIC1");
    EXPECT_FALSE(s.view.board.visible);
    EXPECT_EQ(s.view.board.package, "28A");
    EXPECT_EQ(s.view.board.jumper, "2-3");
    s.view.menus["mnuBoardInfomation"].checked = true;
    LoadDeviceEntry(s, "PIC2");
    EXPECT_TRUE(s.view.board.visible);
    EXPECT_EQ(s.device.package, "20");
    EXPECT_EQ(s.view.board.package, "");  // no outline for an unknown socket
    EXPECT_EQ(s.view.board.jumper, "");
}

TEST(LoadDeviceEntry, BrokenEntriesAreReportedAndApplyNothing) {
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, kF84 + "#BEGIN\nPIC2\nPGM 0x7FF\nFOSC RC 0x3 0x3\n#BEGIN\nPIC3\n#END\n" +
                           "#BEGIN\nPIC4\nPGM 0x7FF\n;\n");
    LoadDeviceEntry(s, "PIC16F84A");
    const auto rows = s.device.rows;
    const auto grid = s.grid.cells;

    LoadDeviceEntry(s, "PIC2");
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.ui.boxes[0].title, kEntryFailedTitle);
    EXPECT_EQ(rig.ui.boxes[0].text, "ｿｰｽﾌｧｲﾙの読み出しに失敗しました。\r\u3000#End が見つかりませんでした。");
    EXPECT_TRUE(s.db.error);
    EXPECT_TRUE(s.grid.visible);
    EXPECT_EQ(s.device.programWords, 1024);
    EXPECT_EQ(s.device.rows, rows);
    EXPECT_EQ(s.grid.cells, grid);

    LoadDeviceEntry(s, "PIC4");
    ASSERT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_EQ(rig.ui.boxes[1].text, "ｿｰｽﾌｧｲﾙの読み出しに失敗しました。\r\u3000EOF を検出しました。");
    EXPECT_EQ(s.db.errorText, "EOF を検出しました。");

    // A name without an entry says nothing, even right after a failure.
    LoadDeviceEntry(s, "PIC16F877");
    EXPECT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_FALSE(s.db.error);
    EXPECT_EQ(s.device.rows, rows);

    LoadDeviceEntry(s, "PIC3");
    EXPECT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_TRUE(s.device.rows.empty());
}

// DEVICE_ID is no setting row; an entry without it has no ID, whatever the
// device before had; a value that names no ID breaks the entry.
TEST(LoadDeviceEntry, DeviceIdRow) {
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, Entry("PIC12F675", "PGM_TYPE 12F6\ndevice_id 0x0FC0\nFOSC LP 0x7 0x0\n") + kF84 +
                           Entry("PIC5", "PGM 0x3FF\nDEVICE_ID 0x3FFF\n") + Entry("PIC6", "DEVICE_ID 0FC0\n") +
                           Entry("PIC7", "DEVICE_ID 0x0FC0 junk\n"));
    LoadDeviceEntry(s, "PIC12F675");
    EXPECT_EQ(s.device.deviceId, 0x0FC0);
    EXPECT_EQ(GridKeys(s), std::vector<std::string>{"FOSC"});
    LoadDeviceEntry(s, "PIC16F84A");
    EXPECT_EQ(s.device.deviceId, -1);
    const auto rows = s.device.rows;

    for (const char* broken : {"PIC5", "PIC7", "PIC6"}) {
        LoadDeviceEntry(s, broken);
        ASSERT_FALSE(rig.ui.boxes.empty());
        EXPECT_EQ(rig.ui.boxes.back().title, kEntryFailedTitle);
        EXPECT_EQ(s.device.rows, rows);
    }
    EXPECT_EQ(rig.ui.boxes.back().text,
              "ｿｰｽﾌｧｲﾙの読み出しに失敗しました。\r\u3000DEVICE_ID の値 '0FC0' はデバイスIDではありません。");

    const auto index = ReadDeviceIndex(s);
    ASSERT_EQ(index.size(), 5u);
    EXPECT_EQ(index[0].deviceId, 0x0FC0);
    EXPECT_EQ(index[1].deviceId, -1);
    EXPECT_EQ(index[2].deviceId, -1);
    EXPECT_EQ(index[4].deviceId, -1);
}

TEST(LoadDeviceEntry, VanishedFileIsReported) {
    TestRig rig;
    auto& s = *rig.session;
    LoadDeviceEntry(s, "PIC16F84A");
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].title, kEntryFailedTitle);
    EXPECT_EQ(rig.ui.boxes[0].text,
              std::string("ｿｰｽﾌｧｲﾙの読み出しに失敗しました。\r\u3000") + kMissingText + rig.dir);
    EXPECT_TRUE(s.db.error);
}

TEST(LoadDeviceEntry, ReadsShiftJisAndCrOnlyFiles) {
    // "CMT FOSC 発振器の種類を選択します。 ﾃｽﾄ" in Shift_JIS, CR line ends.
    const std::string sjis =
        "CMT FOSC \x94\xad\x90\x55\x8a\xed\x82\xcc\x8e\xed\x97\xde\x82\xf0\x91\x49\x91\xf0\x82\xb5\x82\xdc"
        "\x82\xb7\x81\x42 \xc3\xbd\xc4\r"
        "VERSION 3\r#BEGIN\rPIC16F84A\rPGM 0x3FF\rFOSC XT 0x3 0x1\r#END\r";
    TestRig rig;
    auto& s = *rig.session;
    WriteDatabase(rig, sjis);
    ASSERT_TRUE(LoadDeviceList(s));
    EXPECT_EQ(s.db.deviceNames, (std::vector<std::string>{"PIC16F84A"}));
    EXPECT_EQ(s.db.deviceIniVersion, "3");
    LoadDeviceEntry(s, "PIC16F84A");
    EXPECT_TRUE(rig.ui.boxes.empty());
    EXPECT_EQ(s.device.programWords, 1024);
    ASSERT_EQ(s.db.settingHelp.size(), 1u);
    EXPECT_EQ(s.db.settingHelp[0].text1, "発振器の種類を選択します。");
    EXPECT_EQ(s.db.settingHelp[0].text2, "ﾃｽﾄ");
}

TEST(DeviceDatabaseLimits, FilesAtTheLimitsLoad) {
    TestRig rig;
    auto& s = *rig.session;
    std::string rows, tokens = "K";
    for (int i = 0; i < 65; ++i)
        rows += "K" + std::to_string(i) + " a 0x1 0x1\n";
    for (int i = 1; i < 65; ++i)
        tokens += " " + std::to_string(i);
    std::string help;
    for (int i = 0; i < 65; ++i)
        help += "CMT K" + std::to_string(i) + " a b\n";
    WriteDatabase(rig, help + Entry("PIC1", rows) + Entry("PIC2", tokens + "\n"));
    ASSERT_TRUE(LoadDeviceList(s));
    LoadDeviceEntry(s, "PIC1");
    EXPECT_EQ(s.device.rows.size(), 65u);
    EXPECT_EQ(s.grid.cells.size(), 66u);
    EXPECT_EQ(s.db.settingHelp.size(), 65u);
    LoadDeviceEntry(s, "PIC2");
    ASSERT_EQ(s.device.rows.size(), 1u);
    EXPECT_EQ(s.device.rows[0][15], "15");  // columns past 15 are dropped
    EXPECT_TRUE(rig.ui.boxes.empty());
}

TEST(DeviceDatabaseLimits, OversizedOrBinaryFilesAreRejectedWhole) {
    std::string manyNames, manyRows, manyHelp, garbage;
    for (int i = 0; i < 2000; ++i)
        manyNames += "#BEGIN\nPIC" + std::to_string(i) + "\n#END\n";
    for (int i = 0; i < 66; ++i)
        manyRows += "K" + std::to_string(i) + " a\n";
    for (int i = 0; i < 66; ++i)
        manyHelp += "CMT K a b\n";
    std::string manyTokens = "COMMENT";
    for (int i = 0; i < 200; ++i)
        manyTokens += " t";
    unsigned seed = 12345;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245 + 12345;
        garbage += static_cast<char>(seed >> 16);
    }
    const std::vector<std::string> files{
        manyNames,
        Entry("PIC1", manyRows),
        manyHelp + Entry("PIC1", ""),
        Entry("PIC1", manyTokens + "\n"),
        Entry("PIC1", "COMMENT " + std::string(100000, 'x') + "\n"),
        Entry("PIC1", "") + garbage,
        Entry("PIC1", "PGM 0x3FF\n") + std::string("\0\0", 2),
        Entry("PIC1", "") + "#BEGIN",
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        TestRig rig;
        auto& s = *rig.session;
        WriteDatabase(rig, files[i]);
        EXPECT_FALSE(LoadDeviceList(s));
        EXPECT_TRUE(s.db.error);
        EXPECT_TRUE(s.db.deviceNames.empty());
        LoadDeviceEntry(s, "PIC1");
        EXPECT_EQ(s.device.name, "");
        EXPECT_TRUE(s.device.rows.empty());
        ASSERT_EQ(rig.ui.boxes.size(), 2u);
        EXPECT_EQ(rig.ui.boxes[0].text, kMissingText + rig.dir);
        EXPECT_EQ(rig.ui.boxes[1].title, kEntryFailedTitle);
    }
}
