#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/convert.h"
#include "base/textfile.h"
#include "image/display.h"
#include "image/grid.h"
#include "image/hexfile.h"
#include "image/pcbufferops.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

// Runs a command line of the test's own making; its exit status.
int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

bool haveTool(const std::string& name) { return run("command -v " + name) == 0; }

}  // namespace

TEST(AppendHexChecksum, TwosComplementOfTheByteSum) {
    EXPECT_EQ(AppendHexChecksum(":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F"), ":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F00");
    EXPECT_EQ(AppendHexChecksum(":08400000F13FF23FF33FF43F"), ":08400000F13FF23FF33FF43FF2");
    EXPECT_EQ(AppendHexChecksum(":021FFE00EA0F"), ":021FFE00EA0FE8");
    EXPECT_EQ(AppendHexChecksum(":02400E00F23F"), ":02400E00F23F7F");
    EXPECT_EQ(AppendHexChecksum(":0100000001"), ":0100000001FE");  // below 0x10 keeps its zero
}

TEST(BuildHexText, ClearedFourteenBitDeviceInRecordOrder) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    s.buffer.eeprom[1] = 0x41;
    CommitIdText(s, "1234");
    const auto lines = SplitLines(BuildHexText(s));
    ASSERT_EQ(lines.size(), 128u + 8 + 8 + 3);
    EXPECT_EQ(lines[0], ":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F00");
    EXPECT_EQ(lines[127].substr(0, 9), ":1007F000");
    EXPECT_EQ(lines[128].substr(0, 13), ":104200004100");
    EXPECT_EQ(lines[128], AppendHexChecksum(":1042000041" + std::string("00") + "FF00FF00FF00FF00FF00FF00FF00"));
    EXPECT_EQ(lines[136].substr(0, 13), ":108000004100");
    EXPECT_EQ(lines[143].substr(0, 9), ":10807000");
    EXPECT_EQ(lines[144], ":08400000F13FF23FF33FF43FF2");
    EXPECT_EQ(lines[145], ":02400E00FF3F72");
    EXPECT_EQ(lines[146], ":00000001FF");
}

TEST(BuildHexText, TwelveBitConfigurationAddressAndNoEeprom) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC12C508"));
    auto& s = *rig.session;
    s.buffer.configArea[14] = 0x0F;
    s.buffer.configArea[15] = 0xEA;
    const auto lines = SplitLines(BuildHexText(s));
    ASSERT_EQ(lines.size(), 64u + 3);
    EXPECT_EQ(lines[0], ":10000000FF0FFF0FFF0FFF0FFF0FFF0FFF0FFF0F80");
    EXPECT_EQ(lines[64], ":08400000FF0FFF0FFF0FFF0F80");
    EXPECT_EQ(lines[65], ":021FFE00EA0FE8");
}

TEST(BuildHexText, APartialLastGroupIsNotWritten) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    rig.session->device.programWords = 1020;
    const auto lines = SplitLines(BuildHexText(*rig.session));
    EXPECT_EQ(lines[126].substr(0, 9), ":1007E000");
    EXPECT_EQ(lines[127].substr(0, 9), ":10420000");
}

TEST(SaveHexFile, AsksBeforeOverwritingAndRemembersTheFolder) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    auto& s = *rig.session;
    s.run.titleBase = "Vormex V3 Ver 2.9.24  ";
    s.settings.setValue("SAVE_DIR", "/saved");
    const std::string path = WriteTestFile(rig, "out.hex", "old");

    rig.ui.boxAnswers.push_back(MsgAnswer::Cancel);
    SaveHexPath(rig, path);
    EXPECT_EQ(rig.ui.fileRequests.back().startDir, "/saved");
    EXPECT_EQ(rig.ui.fileRequests.back().filter, "Hexファイル|*.hex|全てのファイル|*.*|");
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].title, "上書き保存");
    EXPECT_EQ(rig.ui.boxes[0].text, "ファイルが存在します。上書きしますか？");
    EXPECT_EQ(s.view.note, "ファイル保存をキャンセルしました。  ");
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(s.settings.value("SAVE_DIR"), "/saved");

    SaveHexPath(rig, path);  // answered OK
    EXPECT_EQ(ReadFileBytes(path), BuildHexText(s));
    EXPECT_EQ(s.view.note, "ファイル保存完了。 " + path + " ");
    EXPECT_EQ(s.view.title, "Vormex V3 Ver 2.9.24  " + path);
    EXPECT_EQ(s.settings.value("SAVE_DIR"), rig.dir.substr(0, rig.dir.size() - 1));
    EXPECT_EQ(s.loader.hexPath, path);

    SaveHexPath(rig, rig.dir + "noext");  // the dialog's default extension
    EXPECT_TRUE(FileExists(rig.dir + "noext.hex"));
    EXPECT_EQ(rig.ui.boxes.size(), 2u);  // a new file is not questioned

    const auto before = rig.ui.fileRequests.size();
    SaveHexFile(s);  // cancelled dialog
    EXPECT_EQ(rig.ui.fileRequests.size(), before + 1);
}

TEST(SaveHexFile, AFailedSaveLeavesTheOldFileAndSaysSo) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F877"));
    auto& s = *rig.session;

    SaveHexPath(rig, rig.dir + "no/such/folder/x.hex");
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_EQ(s.view.note.rfind("ファイルを保存できませんでした。", 0), 0u);

    std::filesystem::create_directory(rig.dir + "adir.hex");
    SaveHexPath(rig, rig.dir + "adir.hex");
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_TRUE(std::filesystem::is_directory(rig.dir + "adir.hex"));

    // A full disk: the file size limit makes the write fail part way.
    const std::string path = WriteTestFile(rig, "keep.hex", "previous content");
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveHexPath(rig, path);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_EQ(ReadFileBytes(path), "previous content");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(rig.dir))
        ++files;
    EXPECT_EQ(files, 3u);  // device.ini, adir.hex, keep.hex: no temporary left behind
}

TEST(SaveHexFile, ReadOnlyFolderIsReported) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    const std::string folder = rig.dir + "ro";
    std::filesystem::create_directory(folder);
    WriteFileBytes(folder + "/x.hex", "old");
    chmod(folder.c_str(), 0555);
    SaveHexPath(rig, folder + "/x.hex");
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(rig.session->view.noteColour, kColourRed);
    EXPECT_EQ(ReadFileBytes(folder + "/x.hex"), "old");
}

// Save, load again: the same image; the file is valid Intel HEX to srec_cat.
TEST(HexRoundTrip, EveryFamilyReloadsTheSameImage) {
    ASSERT_TRUE(haveTool("srec_cat")) << "srec_cat (package srecord) is needed: scripts/deps.sh installs it";
    const struct {
        const char* device;
        int wordMask;
        int config;
    } cases[] = {{"PIC16F84A", 0x3FFF, 0x3FF1},  {"PIC12F675", 0x3FFF, 0x31C4}, {"PIC12C671", 0x3FFF, 0x3F64},
                 {"PIC16C74B", 0x3FFF, 0x3F31},  {"PIC12C508", 0x0FFF, 0x0FEA}, {"PIC16C54", 0x0FFF, 0x0FF9},
                 {"PIC16C57", 0x0FFF, 0x0FFD}};
    std::mt19937 random(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        TestRig rig;
        UseTestDatabase(rig);
        ASSERT_TRUE(SelectByName(rig, c.device));
        auto& s = *rig.session;
        for (int a = 0; a < s.device.programWords; ++a) {
            const int word = static_cast<int>(random()) & c.wordMask;
            s.buffer.program[static_cast<std::size_t>(2 * a)] = static_cast<std::uint8_t>(word >> 8);
            s.buffer.program[static_cast<std::size_t>(2 * a + 1)] = static_cast<std::uint8_t>(word);
        }
        for (int n = 0; n < s.device.eepromBytes; ++n)
            s.buffer.eeprom[static_cast<std::size_t>(2 * n + 1)] = static_cast<std::uint8_t>(random());
        CommitIdText(s, "A5C3");
        s.buffer.configArea[14] = static_cast<std::uint8_t>(c.config >> 8);
        s.buffer.configArea[15] = static_cast<std::uint8_t>(c.config);
        s.buffer.configWord = c.config;
        const PcBuffer before = s.buffer;

        const std::string path = rig.dir + "round.hex";
        SaveHexPath(rig, path);
        ASSERT_EQ(s.view.noteColour, kColourBlack) << s.view.note;
        EXPECT_EQ(run("srec_cat " + path + " -Intel -o " + rig.dir + "copy.hex -Intel"), 0);
        LoadHexPath(rig, path);
        const int words = s.device.programWords;
        EXPECT_TRUE(std::equal(before.program.begin(), before.program.begin() + 2 * words, s.buffer.program.begin()));
        for (int n = 0; n < s.device.eepromBytes; ++n)
            EXPECT_EQ(EepromByte(s, n), before.eeprom[static_cast<std::size_t>(2 * n + 1)]);
        EXPECT_TRUE(std::equal(before.configArea.begin(), before.configArea.begin() + 8, s.buffer.configArea.begin()));
        EXPECT_EQ(ConfigAreaWord(s), c.config);
        EXPECT_EQ(s.buffer.configWord, c.config);
        EXPECT_EQ(s.view.note, "ファイルオープン完了 ");
    }
}

TEST(HexRoundTrip, SrecCatRejectsABadChecksum) {
    // The check above means something only if the tool does check.
    ASSERT_TRUE(haveTool("srec_cat"));
    TestRig rig;
    const std::string path = WriteTestFile(rig, "bad.hex", ":02000000831666\r\n:00000001FF\r\n");
    EXPECT_NE(run("srec_cat " + path + " -Intel -o " + rig.dir + "copy.hex -Intel"), 0);
}
