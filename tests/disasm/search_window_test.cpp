// What the search window decides without drawing: which parts it lists, and
// saving the shown listing.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/convert.h"
#include "disasm/disasm.h"
#include "support/fakes.h"

using namespace vx;
using namespace vx::test;

TEST(SearchWindow, RefusesOnlyTheTwelveBitCoreNames) {
    for (const char* name : {"16C54", "16C55A", "16C56", "16C57C", "12C508", "12C508A", "12C509AF", "16C505",
                             "12CE519", "12CE518"})
        EXPECT_EQ(CoreSelectFor(name), "12") << name;
    for (const char* name : {"16F84A", "16F877A", "12C671", "12F675", "16C58", "16C5", "12C50", "12CE67", ""})
        EXPECT_EQ(CoreSelectFor(name), "14") << name;
}

struct SaveFixture : ::testing::Test {
    TestRig rig;
    Session& s = *rig.session;
};

TEST_F(SaveFixture, WritesTheTextWithCrLfAndRemembersTheFolder) {
    rig.settings.values["SAVE_DIR_asm"] = "/start/here";
    rig.ui.fileAnswers.push_back(rig.dir + "copy.asm");
    SaveListingAs(s, "\t\tNOP\n\t\tEND\r\n");
    ASSERT_EQ(rig.ui.fileRequests.size(), 1u);
    EXPECT_EQ(rig.ui.fileRequests[0].startDir, "/start/here");
    EXPECT_EQ(rig.ui.fileRequests[0].filter, "全てのファイル|*.*|");
    EXPECT_EQ(rig.ui.fileRequests[0].defaultName, "");
    EXPECT_EQ(ReadFileBytes(rig.dir + "copy.asm"), "\t\tNOP\r\n\t\tEND\r\n");
    EXPECT_EQ(rig.settings.values["SAVE_DIR_asm"], rig.dir.substr(0, rig.dir.size() - 1));
    EXPECT_TRUE(rig.ui.boxes.empty());

    rig.ui.fileAnswers.push_back(rig.dir + "plain");
    SaveListingAs(s, "x");
    EXPECT_EQ(ReadFileBytes(rig.dir + "plain.asm"), "x");
}

TEST_F(SaveFixture, LeavesEverythingAsItWasWhenCancelled) {
    rig.settings.values["SAVE_DIR_asm"] = "/old";
    SaveListingAs(s, "text");  // the dialog is cancelled
    EXPECT_EQ(rig.settings.values["SAVE_DIR_asm"], "/old");

    const std::string existing = rig.dir + "keep.asm";
    WriteFileBytes(existing, "previous");
    rig.ui.fileAnswers.push_back(existing);
    rig.ui.boxAnswers.push_back(MsgAnswer::Cancel);
    SaveListingAs(s, "new text");
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(rig.ui.boxes[0].title, "上書き保存");
    EXPECT_EQ(rig.ui.boxes[0].text, "ファイルが存在します。上書きしますか？");
    EXPECT_EQ(ReadFileBytes(existing), "previous");
    EXPECT_EQ(rig.settings.values["SAVE_DIR_asm"], "/old");

    rig.ui.fileAnswers.push_back(existing);
    rig.ui.boxAnswers.push_back(MsgAnswer::Ok);
    SaveListingAs(s, "new text");
    EXPECT_EQ(ReadFileBytes(existing), "new text");
}

TEST_F(SaveFixture, ReportsAFailedWriteAndKeepsTheFolder) {
    // A folder of that name cannot be replaced by the file.
    const std::string target = rig.dir + "taken.asm";
    std::filesystem::create_directory(target);
    rig.ui.fileAnswers.push_back(target);
    SaveListingAs(s, "new text");
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_NE(s.view.note.find("taken.asm"), std::string::npos);
    EXPECT_FALSE(rig.settings.values.contains("SAVE_DIR_asm"));
}
