#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "device/devicedb.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

struct Loaded {
    TestRig rig;
    Session& s = *rig.session;
    explicit Loaded(const std::string& device) {
        UseTestDatabase(rig);
        EXPECT_TRUE(SelectByName(rig, device));
    }
    void load(const std::string& text) { LoadHexPath(rig, WriteTestFile(rig, "in.hex", text)); }
    void loadFromFolder(const std::string& text) {
        const std::string path = WriteTestFile(rig, "in.hex", text);
        rig.ui.fileAnswers.push_back(path);
        LoadHexFromFolder(s, rig.dir);
    }
};

}  // namespace

TEST(LoadHexFile, MapsRecordsOntoProgramConfigIdAndEeprom) {
    Loaded l("PIC16F84A");
    l.load(":02000000831665\r\n"
           ":02400E00F23F7F\r\n"
           ":084000000100020003000400AE\r\n"
           ":0242000041007B\r\n"
           ":02800200420039\r\n"
           ":00000001FF\r\n");
    auto& s = l.s;
    EXPECT_EQ(s.buffer.program[0], 0x16);
    EXPECT_EQ(s.buffer.program[1], 0x83);
    EXPECT_EQ(ProgramWord(s, 1), 0x3FFF);
    EXPECT_EQ(s.buffer.configArea[14], 0x3F);
    EXPECT_EQ(s.buffer.configArea[15], 0xF2);
    EXPECT_EQ(s.buffer.configWord, 0x3FF2);
    EXPECT_EQ(s.buffer.idText, "1234");
    EXPECT_EQ(s.view.idText, "1234");
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(IdWord(s, k), 0x3FF1 + k);
    EXPECT_EQ(s.buffer.eeprom[0], 0x3F);
    EXPECT_EQ(EepromByte(s, 0), 0x41);
    EXPECT_EQ(EepromByte(s, 1), 0x42);  // the 0x8000 image
    EXPECT_EQ(EepromByte(s, 2), 0xFF);
    EXPECT_EQ(s.view.configText, "3FF2");
    EXPECT_EQ(s.grid.cells[1][1], "HS");
    EXPECT_EQ(s.view.note, "ファイルオープン完了 ");
    EXPECT_EQ(s.view.title, s.run.titleBase + s.loader.hexPath);
}

TEST(LoadHexFile, ConfigurationRecordDropsTheTopBitsAndAppliesTheMasks) {
    Loaded l("PIC12F675");
    l.load(":02400E00FFFFB2\r\n");
    EXPECT_EQ(l.s.buffer.configArea[14], 0x3F & 0x31);  // AND 0x3F, then OTHER0 0x31FF
    EXPECT_EQ(l.s.buffer.configArea[15], 0xFF);
    EXPECT_EQ(l.s.buffer.configWord, 0x31FF);
}

TEST(LoadHexFile, ReadsOnlyUpperCaseDigitsAndIgnoresEndOfFile) {
    Loaded l("PIC16F84A");
    l.load(":02000000ab1665\r\n"
           ":00000001FF\r\n"
           ":020002003412B6\r\n");  // after the end record: still loaded
    EXPECT_EQ(ProgramWord(l.s, 0), 0x1600);
    EXPECT_EQ(ProgramWord(l.s, 1), 0x1234);
}

TEST(LoadHexFile, ResetsCountersAndChecksum) {
    Loaded l("PIC16F84A");
    l.s.run.attemptCount = 3;
    l.s.run.passCount = 2;
    l.load(":02000000FF0FF0\r\n");
    EXPECT_EQ(l.s.run.attemptCount, 0);
    EXPECT_EQ(l.s.run.passCount, 0);
    // 1023 blank words and one 0x0FFF.
    EXPECT_EQ(l.s.view.checksumLabel.caption, "CC00");
}

TEST(LoadHexFile, ListsSkippedLinesByNumber) {
    Loaded l("PIC16F84A");
    l.load(":02000000831665\r\n"
           ":02000200831663\r\n"
           "garbage\r\n"
           ":00000001FF\r\n"
           "\r\n"
           ":02000400831661\n"
           "x,:020006008316 5F\r");  // a comma ends a field: two lines counted
    EXPECT_EQ(l.s.view.note, "3、5、7行目はＨＥＸデータでないので読み飛ばしました。 ");
    EXPECT_EQ(ProgramWord(l.s, 2), 0x1683);
    EXPECT_EQ(ProgramWord(l.s, 3), 0x1683);
}

// A record cut short still loads (its missing digits as 0), but the note
// says so in red, naming the first such line, below the lines skipped.
TEST(LoadHexFile, ShortDataRecordLoadsAndItsLineIsNamedInRed) {
    Loaded l("PIC16F84A");
    l.load(":02000000831665\r\n"
           "junk\r\n"
           ":10000200831686\r\n"  // 16 bytes announced, 3 there
           ":00000001FF\r\n"     // complete, and not data
           ":04002000AA55\r\n"   // short too, not the first
           ":02003000AA55CF\r\n");
    auto& s = l.s;
    EXPECT_EQ(ProgramWord(s, 0), 0x1683);
    EXPECT_EQ(ProgramWord(s, 1), 0x1683);
    EXPECT_EQ(ProgramWord(s, 2), 0x0086);
    EXPECT_EQ(ProgramWord(s, 8), 0x0000);
    EXPECT_EQ(ProgramWord(s, 9), 0x3FFF);
    EXPECT_EQ(ProgramWord(s, 16), 0x55AA);
    EXPECT_EQ(ProgramWord(s, 17), 0x0000);
    EXPECT_EQ(ProgramWord(s, 24), 0x55AA);
    EXPECT_EQ(s.view.note, "2行目はＨＥＸデータでないので読み飛ばしました。\r\n"
                           "3行目のＨＥＸレコードはデータがバイト数より短いので、足りない分を0として読み込みました。 ");
    EXPECT_EQ(s.view.noteColour, kColourRed);

    l.load(":04000000831686\r\n");
    EXPECT_EQ(s.view.note, "1行目のＨＥＸレコードはデータがバイト数より短いので、足りない分を0として読み込みました。 ");

    l.load(":02000000831665\r\n");
    EXPECT_EQ(s.view.noteColour, kColourBlack);
    EXPECT_EQ(s.view.note, "ファイルオープン完了 ");
}

TEST(LoadHexFile, UnreadableFileLeavesTheBufferAlone) {
    Loaded l("PIC16F84A");
    l.s.buffer.program[0] = 0x12;
    LoadHexPath(l.rig, l.rig.dir + "missing.hex");
    EXPECT_EQ(l.s.view.note, "ファイルをオープンできませんでした。 ");
    EXPECT_EQ(l.s.buffer.program[0], 0x12);
    LoadHexPath(l.rig, l.rig.dir);  // a folder
    EXPECT_EQ(l.s.buffer.program[0], 0x12);
}

TEST(LoadHexFile, DialogSetsTheFolderAndCancelDoesNothing) {
    Loaded l("PIC16F84A");
    l.s.settings.setValue("OPEN_DIR0", "/start");
    LoadHexFile(l.s);  // cancelled
    ASSERT_EQ(l.rig.ui.fileRequests.size(), 1u);
    EXPECT_EQ(l.rig.ui.fileRequests[0].startDir, "/start");
    EXPECT_EQ(l.rig.ui.fileRequests[0].filter, "Hexファイル|*.HEX|全てのファイル|*.*|");
    EXPECT_EQ(l.rig.ui.fileRequests[0].defaultName, "*.hex");
    EXPECT_EQ(l.s.settings.value("OPEN_DIR0"), "/start");

    const std::string path = WriteTestFile(l.rig, "Blink.HEX", ":02000000831665\r\n");
    l.rig.ui.fileAnswers.push_back(path);
    LoadHexFile(l.s);
    EXPECT_EQ(l.s.loader.hexPath, path);
    EXPECT_EQ(l.s.settings.value("OPEN_DIR0"), l.rig.dir.substr(0, l.rig.dir.size() - 1));
    EXPECT_EQ(ProgramWord(l.s, 0), 0x1683);
}

TEST(LoadHexFile, CompilerDeviceLineSelectsTheListedDevice) {
    Loaded l("PIC12F675");
    l.s.settings.setValue("CCSC_option", "1");
    l.load(":02000000831665\r\n;PIC16F84A\r\n");
    EXPECT_EQ(l.s.device.name, "PIC16F84A");
    EXPECT_EQ(l.s.view.deviceList[static_cast<std::size_t>(l.s.view.deviceIndex)], "PIC16F84A");
    EXPECT_EQ(ProgramWord(l.s, 0), 0x1683);
    EXPECT_EQ(l.s.view.note, "2行目はＨＥＸデータでないので読み飛ばしました。 ");
    EXPECT_FALSE(l.s.loader.deviceChangeSuppressed);
    EXPECT_TRUE(l.rig.ui.boxes.empty());
}

TEST(LoadHexFile, UnknownCompilerDeviceKeepsTheCurrentOne) {
    Loaded l("PIC12F675");
    const int index = l.s.view.deviceIndex;
    l.s.settings.setValue("CCSC_option", "1");
    l.load(";PIC99X1\r\n:02000000831665\r\n");
    EXPECT_EQ(l.s.device.name, "PIC12F675");
    EXPECT_EQ(l.s.view.deviceIndex, index);
    ASSERT_EQ(l.rig.ui.boxes.size(), 1u);
    EXPECT_EQ(l.rig.ui.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(l.rig.ui.boxes[0].text,
              "HEXファイル内に、サポート外のデバイス名(\u3000PIC99X1\u3000)が設定されています。"
              "\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\r\n現在のデバイス設定のままHEXファイルをロードします。");
    EXPECT_EQ(ProgramWord(l.s, 0), 0x1683);

    l.s.settings.setValue("CCSC_option", "0");  // the scan is off
    l.rig.ui.boxes.clear();
    l.load(";PIC16F84A\r\n");
    EXPECT_EQ(l.s.device.name, "PIC12F675");
    EXPECT_TRUE(l.rig.ui.boxes.empty());
}

TEST(LoadHexFile, PackedFuseRecordUsesTheTableOfTheDevice) {
    // Words 4..7: FOSC 2, word 5 = (0, 1), word 6 = (1, 0), ID 0x1234.
    const std::string record = ":10FF0000000000000000000000020100000134120000\r\n";
    Loaded mid("PIC16F84A");
    mid.load(record);
    EXPECT_EQ(ConfigAreaWord(mid.s), 0x000E);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(IdWord(mid.s, k), 0x3FF1 + k);

    Loaded base("PIC12C508");
    base.load(record);
    // 2 | 4 | 0x10; bit 3 clear is code protection: the top bits go.
    EXPECT_EQ(ConfigAreaWord(base.s), 0x0016);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(IdWord(base.s, k), 1 + k);

    Loaded folder("PIC12C508");
    folder.loadFromFolder(record);
    EXPECT_EQ(ConfigAreaWord(folder.s), 0x000E);  // always the other table
}

TEST(LoadHexFile, TwelveBitConfigurationAndCodeProtection) {
    Loaded l("PIC12C508");
    l.load(":021FFE00EA0FE8\r\n");
    EXPECT_EQ(ConfigAreaWord(l.s), 0x0FEA);
    EXPECT_EQ(l.s.buffer.configWord, 0x0FEA);
    EXPECT_EQ(ProgramWord(l.s, 0xFFF), 0x0FEA);  // stored as program data too
    EXPECT_EQ(l.s.grid.cells[1][1], "INTRC");
    l.load(":021FFE00F20FE0\r\n");  // bit 3 clear
    EXPECT_EQ(ConfigAreaWord(l.s), 0x0012);
    l.loadFromFolder(":021FFE00F20FE0\r\n");
    EXPECT_EQ(ConfigAreaWord(l.s), 0x0FF2);

    Loaded c54("PIC16C54");  // the rule is the 12C5 family's only
    c54.load(":021FFE00F20FE0\r\n");
    EXPECT_EQ(ConfigAreaWord(c54.s), 0x0FF2);
}

// Decided from the entry's own "CP" rows: only a mask of bit 3 alone is the
// 12C50x layout. An entry without CP rows keeps the word even right after a
// 12C508 was selected (its codeProtectMask would still be that one's).
TEST(LoadHexFile, TwelveBitCodeProtectRuleFollowsTheEntrysOwnMask) {
    const std::string head = "PGM_TYPE 12C5\nPGM 0x1FF\nEEPROM 0\nCONFIG 0x0FFF\nOTHER0 0x0FFF\nOTHER1 0\n";
    TestRig rig;
    WriteTestFile(rig, "device.ini",
                  "#BEGIN\nPIC12C508\n" + head + "CP ON 0x0008 0x0000\nCP OFF 0x0008 0x0008\n#END\n" +
                      "#BEGIN\nPIC12CWIDE\n" + head + "CP ON 0x0018 0x0000\nCP OFF 0x0018 0x0018\n#END\n" +
                      "#BEGIN\nPIC12CNOCP\n" + head + "#END\n");
    ASSERT_TRUE(LoadDeviceList(*rig.session));
    for (const auto& [device, expected] : {std::pair{"PIC12C508", 0x0012}, std::pair{"PIC12CWIDE", 0x0FF2},
                                           std::pair{"PIC12C508", 0x0012}, std::pair{"PIC12CNOCP", 0x0FF2}}) {
        SCOPED_TRACE(device);
        ASSERT_TRUE(SelectByName(rig, device));
        LoadHexPath(rig, WriteTestFile(rig, "in.hex", ":021FFE00F20FE0\r\n"));
        EXPECT_EQ(ConfigAreaWord(*rig.session), expected);
    }
}

TEST(LoadHexFile, TwelveBitIdWordsFollowProgramMemory) {
    const std::string ids400 = ":08040000010002000300040073\r\n";
    const std::string ids800 = ":08080000050006000700080063\r\n";
    Loaded c508("PIC12C508");  // 512 words: IDs at 0x0400
    c508.load(ids400);
    EXPECT_EQ(c508.s.buffer.idText, "1234");
    EXPECT_EQ(c508.s.view.idText, "1234");
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(IdWord(c508.s, k), 1 + k);

    Loaded c509("PIC12C509");  // 1024 words: 0x0400 is code, IDs at 0x0800
    c509.load(ids400 + ids800);
    EXPECT_EQ(ProgramWord(c509.s, 0x200), 0x0001);
    EXPECT_EQ(c509.s.buffer.idText, "5678");
    EXPECT_EQ(IdWord(c509.s, 0), 5);

    Loaded c54("PIC16C54");  // 512 words of the 5X family
    c54.load(ids400);
    EXPECT_EQ(IdWord(c54.s, 3), 4);

    Loaded c57("PIC16C57");  // 2048 words: 0x1000
    c57.load(":08100000090001000200030057\r\n");
    EXPECT_EQ(c57.s.buffer.idText, "9123");
    c54.load(":08100000090001000200030057\r\n");  // the 5X parts' own ID address, past 512 words too
    EXPECT_EQ(c54.s.buffer.idText, "9123");
    EXPECT_EQ(IdWord(c54.s, 0), 9);
    c508.load(":08100000090001000200030057\r\n");  // not the 12C5 family's
    EXPECT_EQ(c508.s.buffer.idText, "FFFF");

    Loaded folder("PIC12C508");  // the folder entry point takes them as code
    folder.loadFromFolder(ids400);
    EXPECT_EQ(folder.s.buffer.idText, "FFFF");
    EXPECT_EQ(IdWord(folder.s, 0), 0x000F);
    EXPECT_EQ(ProgramWord(folder.s, 0x200), 0x0001);
}

TEST(LoadHexFromFolder, DiffersFromTheFileCommandAsDocumented) {
    Loaded l("PIC16F84A");
    l.s.settings.setValue("OPEN_DIR0", "/kept");
    l.s.settings.setValue("CCSC_option", "1");
    l.loadFromFolder(";PIC12F675\r\n"
                     ":0A400000010002000300040000FFB1\r\n"
                     ":02400E00FFFFB2\r\n"
                     "junk\r\n");
    auto& s = l.s;
    ASSERT_EQ(l.rig.ui.fileRequests.size(), 1u);
    EXPECT_EQ(l.rig.ui.fileRequests[0].startDir, l.rig.dir);
    EXPECT_EQ(l.rig.ui.fileRequests[0].filter, "Hex File|*.HEX|All Files|*.*|");
    EXPECT_EQ(l.rig.ui.fileRequests[0].defaultName, "");
    EXPECT_EQ(s.device.name, "PIC16F84A");  // no device scan
    EXPECT_EQ(s.settings.value("OPEN_DIR0"), "/kept");
    // 0x4000 is a configuration-area record: word 4 lands in bytes 8..9.
    EXPECT_EQ(IdWord(s, 0), 0x3FF1);
    EXPECT_EQ(s.buffer.configArea[8], 0xFF);
    EXPECT_EQ(s.buffer.idText, "FFFF");
    EXPECT_EQ(s.buffer.configArea[14], 0xFF & 0x3F);  // masked by OTHER0 only
    EXPECT_EQ(s.view.note, "2行分は無効データなので読み飛ばしました。 ");

    l.loadFromFolder(":02000000831665\r\n");
    EXPECT_EQ(s.view.note, "ファイルオープン完了。 ");
}

TEST(LoadHexFile, BadInputNeverWritesOutsideTheBuffers) {
    Loaded l("PIC16F877");
    auto& s = l.s;
    std::string text;
    text += ":103FF800010002000300040005000600070008009B\r\n";  // runs past program memory
    text += ":10401000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n";  // past the configuration area
    text += ":1043F800AA00BB00CC00DD00EE00FF001100220000\r\n";  // past the EEPROM image
    text += ":1081F800AA00BB00CC00DD00EE00FF001100220000\r\n";
    text += ":0450000012345678FF\r\n";                         // unmapped
    text += ":FF000000" + std::string(100000, 'F') + "\r\n";    // a long line
    text += ":03000000563412FF\r\n";                           // odd count
    text += ":084000000G000x00030004000000\r\n";               // not hex in the ID digits
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 37) & 0xFF);
    text += garbage;
    for (int i = 0; i < 33000; ++i)
        text += "x\r\n";
    text += ":02001000AA55FF\r\n";  // still read after 33000 lines
    l.load(text);
    EXPECT_EQ(ProgramWord(s, 0x1FFC), 0x0001);
    EXPECT_EQ(s.buffer.program[16384], 0x00);  // word 4's high byte fits the last index
    EXPECT_EQ(s.buffer.configArea[20], 0xFF);
    EXPECT_EQ(EepromByte(s, 0xFF), 0xDD);
    EXPECT_EQ(s.buffer.eeprom[512], 0x3F);
    EXPECT_EQ(ProgramWord(s, 0), 0x3456);
    EXPECT_EQ(ProgramWord(s, 1), 0xFF12);  // odd count: the checksum is the high byte
    EXPECT_EQ(ProgramWord(s, 2), 0xFFFF);  // the long line's words
    EXPECT_EQ(ProgramWord(s, 8), 0x55AA);
    EXPECT_EQ(s.buffer.idText, "Gx34");
    EXPECT_EQ(IdWord(s, 0), 0x3FF0);  // not hex: reads as 0
    EXPECT_EQ(IdWord(s, 1), 0x3FF0);
    EXPECT_EQ(IdWord(s, 2), 0x3FF3);
    EXPECT_NE(s.view.note.find("行目はＨＥＸデータでないので読み飛ばしました。"), std::string::npos);
    EXPECT_NE(s.view.note.find("33009、"), std::string::npos);
}

TEST(LoadHexFile, OnlyTheDialogPathEntersTheHistoryWithTheFolderAsNamed) {
    Loaded l("PIC16F84A");
    std::filesystem::create_directory(l.rig.dir + "Proj");
    const std::string path = l.rig.dir + "Proj/A.HEX";
    WriteFileBytes(path, ":02000000831665\r\n");
    LoadHexPath(l.rig, path);  // a reload: no history
    EXPECT_FALSE(l.s.settings.value("OPEN_DIR1").has_value());
    l.loadFromFolder(":02000000831665\r\n");
    EXPECT_FALSE(l.s.settings.value("OPEN_DIR1").has_value());

    l.rig.ui.fileAnswers.push_back(path);
    LoadHexFile(l.s);
    EXPECT_EQ(l.s.settings.value("OPEN_DIR1"), l.rig.dir + "Proj    PIC16F84A");
    EXPECT_EQ(l.s.settings.value("OPEN_Device1"), std::to_string(l.s.view.deviceIndex));
}

// The file summary counts what reaches the chip and names what does not.
TEST(LoadHexFile, SummarySaysWhatTheFileHoldsForTheDevice) {
    Loaded l("PIC16F84A");
    auto& s = l.s;
    l.load(":0400000083168601DC\r\n"             // words 0, 1
           ":0400020086018601EB\r\n"             // words 1 (again), 2
           ":02400E00F13F80\r\n"                 // configuration word
           ":084000000100020003000400AE\r\n"     // four ID words
           ":044200004800690009\r\n"             // EEPROM cells 0, 1
           ":020800000000F6\r\n"                 // word 0x400: past 1024 words
           ":0242800000003C\r\n"                 // EEPROM cell 64: past 64 cells
           ":02600000000098\r\n"                 // unmapped
           ":00000001FF\r\n");
    const HexContents& c = s.loader.contents;
    EXPECT_EQ(c.programWordsUsed, 3);
    EXPECT_TRUE(c.configWordSet);
    EXPECT_EQ(c.idWords, 4);
    EXPECT_EQ(c.eepromCells, 2);
    EXPECT_EQ(c.outsideRecords, 3);
    EXPECT_EQ(s.view.hexSummary,
              "プログラム 3 / 1024 ワード　コンフィギュレーションワード 0x3FF1　ID 4 ワード　ＥＥＰＲＯＭ 2 / 64 バイト"
              "　デバイス外 3 レコード（読み飛ばし）");
    EXPECT_EQ(s.view.hexSummaryColour, kColourRed);
    // The loader's own note is the one it always gave.
    EXPECT_EQ(s.view.note, "ファイルオープン完了 ");

    // Without a configuration record the chip gets the grid's word (the
    // previous file's, which the clear keeps), said in red.
    l.load(":0400000083168601DC\r\n:00000001FF\r\n");
    EXPECT_FALSE(s.loader.contents.configWordSet);
    EXPECT_EQ(s.loader.contents.outsideRecords, 0);
    EXPECT_NE(s.view.hexSummary.find("コンフィギュレーションワードの指定なし（グリッドの値 0x3FF1 を書込みます）"),
              std::string::npos)
        << s.view.hexSummary;
    EXPECT_EQ(s.view.hexSummaryColour, kColourRed);

    // A clean file is black; a cleared buffer has no summary.
    l.load(":0400000083168601DC\r\n:02400E00F13F80\r\n:00000001FF\r\n");
    EXPECT_FALSE(s.loader.contents.suspect());
    EXPECT_EQ(s.view.hexSummaryColour, kColourBlack);
    ClearPcBuffer(s);
    EXPECT_EQ(s.view.hexSummary, "");
}

// A record counts every word its bytes touch; what lies past the device,
// past 64 KiB or past the one configuration word and the four IDs of a 12-bit
// part is counted outside, and the chip gets only what fits.
TEST(LoadHexFile, SummaryCountsEveryWordARecordTouches) {
    Loaded l("PIC12C509");
    const HexContents& c = l.s.loader.contents;
    l.load(":02000700AB1233\r\n:021FFE00EA0FEA\r\n:00000001FF\r\n");
    EXPECT_EQ(c.programWordsUsed, 2) << "bytes 7 and 8 are halves of words 3 and 4";
    EXPECT_FALSE(c.suspect());

    l.load(":0207FF00AB124B\r\n:021FFE00EA0FEA\r\n:00000001FF\r\n");
    EXPECT_EQ(c.programWordsUsed, 1);
    EXPECT_EQ(c.outsideRecords, 1) << "byte 0x800 is half of word 0x400, past 1024 words";

    l.load(":041FFE00EA0F0000E6\r\n:00000001FF\r\n");
    EXPECT_EQ(l.s.buffer.configArea[14] * 256 + l.s.buffer.configArea[15], 0x0FEA);
    EXPECT_TRUE(c.configWordSet);
    EXPECT_EQ(c.outsideRecords, 1);

    l.load(":0A08000001000200030004000500DF\r\n:021FFE00EA0FEA\r\n:00000001FF\r\n");
    EXPECT_EQ(l.s.buffer.idText, "1234");
    EXPECT_EQ(c.idWords, 4);
    EXPECT_EQ(c.outsideRecords, 1);

    // An upper address of 1 puts the next record at 0x10000: not over word 0.
    l.load(":020000040001F9\r\n:02000000AB1241\r\n:020000040000FA\r\n:021FFE00EA0FEA\r\n:00000001FF\r\n");
    EXPECT_EQ(l.s.buffer.program[0] * 256 + l.s.buffer.program[1], 0x0FFF);
    EXPECT_EQ(c.programWordsUsed, 0);
    EXPECT_EQ(c.outsideRecords, 1);
    EXPECT_TRUE(c.configWordSet) << "upper address 0 again";
}

// The band-gap box shows the file's bits, and another device starts from the initial value again.
TEST(LoadHexFile, BandGapBoxShowsTheFilesBitsAndNoOtherDevicesValue) {
    Loaded l("PIC12F675");
    auto& s = l.s;
    EXPECT_EQ(s.view.bandGapText, "3");
    l.load(":02400E00C421CB\r\n:00000001FF\r\n");  // 0x21C4: band gap 2
    EXPECT_EQ(s.view.bandGapText, "2");
    l.load(":0400000083168601DC\r\n:00000001FF\r\n");  // no configuration word: the box stays
    EXPECT_EQ(s.view.bandGapText, "2");
    BandGapTyped(s, "1");
    ASSERT_TRUE(SelectByName(l.rig, "PIC16F84A"));
    EXPECT_EQ(s.view.bandGapText, "3");
    ASSERT_TRUE(SelectByName(l.rig, "PIC12F675"));
    EXPECT_EQ(s.view.bandGapText, "3");
    EXPECT_FALSE(s.ops.keptBandGap);
}

// On 12-bit parts the configuration word and IDs lie past program memory and still count as the device's.
TEST(LoadHexFile, SummaryOfATwelveBitFileKeepsConfigurationAndIdsInside) {
    Loaded l("PIC12C508");
    l.load(":02000000250AD7\r\n"
           ":080400000100020003000400E3\r\n"
           ":021FFE00EA0FEA\r\n"
           ":00000001FF\r\n");
    const HexContents& c = l.s.loader.contents;
    EXPECT_EQ(c.programWordsUsed, 1);
    EXPECT_TRUE(c.configWordSet);
    EXPECT_EQ(c.idWords, 4);
    EXPECT_EQ(c.outsideRecords, 0);
    EXPECT_NE(l.s.view.hexSummary.find("ＥＥＰＲＯＭ なし"), std::string::npos) << l.s.view.hexSummary;
}
