#include <gtest/gtest.h>
#include <filesystem>

#include "app/menus.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;
using vx::test::WriteFileBytes;

TEST(MenuToggles, BlankSkipStoresTheMarkButCCaptionStays) {
    TestRig rig;
    auto& s = *rig.session;
    s.device.name = "PIC16C74A";
    ToggleBlankSkip(s);
    EXPECT_TRUE(s.view.menus["mnuBlankSkip"].checked);
    EXPECT_EQ(rig.settings.values["SkipMode"], "-1");
    EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P)");
    s.device.name = "PIC16F84A";
    ToggleBlankSkip(s);
    ToggleBlankSkip(s);
    EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P) (ﾌﾞﾗﾝｸﾁｪｯｸｽｷｯﾌﾟﾓｰﾄﾞ)");
    ToggleBlankSkip(s);
    EXPECT_EQ(rig.settings.values["SkipMode"], "0");
    EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P)");
}

TEST(MenuToggles, CommMode1ChangesTheLink) {
    TestRig rig;
    auto& s = *rig.session;
    ToggleCommMode1(s);
    EXPECT_TRUE(s.link.commMode1);
    EXPECT_EQ(rig.settings.values["mnuComMode1"], "-1");
    EXPECT_EQ(s.view.note, "通信が正常に行われないとき、この設定を有効にしてみてください。 ");
    ToggleCommMode1(s);
    EXPECT_FALSE(s.link.commMode1);
    EXPECT_EQ(rig.settings.values["mnuComMode1"], "0");
}

TEST(MenuToggles, BoardInformationShowsAndHidesTheWindow) {
    TestRig rig;
    auto& s = *rig.session;
    s.view.menus["mnuBoardInfomation"].checked = true;
    s.view.board.visible = true;
    ToggleBoardInformation(s);
    EXPECT_FALSE(s.view.board.visible);
    EXPECT_FALSE(s.view.menus["mnuBoardInfomation"].checked);
    EXPECT_EQ(rig.settings.values["mnuBoardInfomation"], "False");
    ToggleBoardInformation(s);
    EXPECT_TRUE(s.view.board.visible);
    EXPECT_EQ(rig.settings.values["mnuBoardInfomation"], "True");
}

TEST(InformationBox, TextKeepsItsSpacesAndLineBreaks) {
    TestRig rig;
    ShowInformation(*rig.session);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].title, "ｲﾝﾌｫﾒｰｼｮﾝ");
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Information);
    const std::string& text = rig.ui.boxes[0].text;
    EXPECT_NE(text.find("生成しています。 したがい"), std::string::npos);
    EXPECT_NE(text.find("することで  プログラムコード"), std::string::npos);
    EXPECT_NE(text.find("できます。" + std::string(107, ' ') + "\r\n\r\n重要" + std::string(70, ' ') + "\rPIC16F8XX"),
              std::string::npos);
    EXPECT_NE(text.find("下さい。　　　　　\r\n\rPIC16C715"), std::string::npos);
    EXPECT_NE(text.find("ません。 \r\n\r\nPIC16C52"), std::string::npos);
    const std::string tail = "未対応です。 \r\n \r\n \r\n \r\n \r\n ";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(LabelNotes, ExplainWhatEachLabelShows) {
    TestRig rig;
    auto& s = *rig.session;
    ExplainFirmwareLabel(s);
    EXPECT_EQ(s.view.note,
              "ライターのファームウエアのバージョンです。ライターとの通信が正常に行われたときに表示されます。 "
              "ダブルクリックでライターに接続し、ファームウエアバージョンを読み出します。");
    ExplainVersionLabel(s);
    EXPECT_EQ(s.view.note,
              "デバイス情報設定ファイルのバージョンです。\r新製品はこのファイルに製品情報を追加することでサポートできます。 ");
    ExplainChecksumLabel(s);
    EXPECT_EQ(s.view.note, "プログラムメモリのみのチェックサム計算結果を表示します。 ");
}

TEST(Help, OpensTheManualOrSaysItIsMissing) {
    TestRig rig;
    auto& s = *rig.session;
    OpenHelp(s);
    EXPECT_TRUE(rig.processes.opened.empty());
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_EQ(s.view.note, "ヘルプファイル 'index.html' が、以下のフォルダーに有りませんでした。 " + rig.dir + "manual/");
    std::filesystem::create_directories(rig.dir + "manual");
    WriteFileBytes(rig.dir + "manual/index.html", "<html></html>");
    OpenHelp(s);
    EXPECT_EQ(rig.processes.opened, std::vector<std::string>{rig.dir + "manual/index.html"});
    // An installed program reads the shipped manual in place.
    s.run.manualDir = rig.dir + "elsewhere/";
    OpenHelp(s);
    EXPECT_EQ(s.view.note, "ヘルプファイル 'index.html' が、以下のフォルダーに有りませんでした。 " + rig.dir + "elsewhere/");
}
