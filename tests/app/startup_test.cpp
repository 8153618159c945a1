#include <gtest/gtest.h>

#include <filesystem>

#include "app/startup.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::ReadFileBytes;
using vx::test::SourcePath;
using vx::test::TestRig;
using vx::test::WriteFileBytes;

namespace {
const char* const kStamp = "2026/12/07 9:15:00";
std::string stamp() { return kStamp; }

void shipDatabase(TestRig& rig) {
    std::filesystem::copy_file(SourcePath("data/device.ini"), rig.dir + "device.ini");
}
}  // namespace

TEST(Startup, WithoutDatabaseStopsAfterTheBox) {
    TestRig rig;
    auto& s = *rig.session;
    EXPECT_FALSE(Startup(s, "", stamp));
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.ui.boxes[0].title, "設定ファイルを開けませんでした");
    EXPECT_EQ(rig.ui.boxes[0].text, "デバイス情報設定ファイル 'device.ini'が、以下のフォルダーに有りませんでした。" + rig.dir);
    EXPECT_TRUE(s.view.deviceList.empty());
    EXPECT_EQ(s.view.title, "Vormex V3 Ver 2.9.24  ");
    // Nothing after the database step ran.
    EXPECT_EQ(rig.ui.portWindowShown, 0);
    EXPECT_FALSE(rig.silentPort->opened);
    EXPECT_EQ(s.view.verLabel.caption, "");
    EXPECT_FALSE(std::filesystem::exists(rig.dir + "LOG.txt"));
    EXPECT_FALSE(s.view.board.visible);
}

TEST(Startup, FirstRunAsksForAPortThenGoesOn) {
    TestRig rig;
    auto& s = *rig.session;
    shipDatabase(rig);
    rig.settings.values["OPEN_DIR0"] = "/home/u/pic";
    rig.settings.values["AsmFilePathWithFileName"] = "/opt/gpasm";
    EXPECT_TRUE(Startup(s, "DEBUG other", stamp));
    EXPECT_EQ(s.run.commandOption, "debug");
    EXPECT_EQ(rig.ui.portWindowShown, 1);
    EXPECT_EQ(s.link.portNumber, 0);
    EXPECT_FALSE(s.view.deviceList.empty());
    EXPECT_EQ(s.view.verLabel.caption, "device.ini : Ver " + s.db.deviceIniVersion);
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG.txt"), std::string(kStamp) + "\r\n");
    EXPECT_EQ(s.view.idText, "FFFF");
    EXPECT_EQ(s.buffer.idText, "FFFF");
    EXPECT_EQ(s.run.asmToolPath, "/opt/gpasm");
    EXPECT_EQ(s.view.title, "Vormex V3 Ver 2.9.24  /home/u/pic");
    EXPECT_TRUE(s.view.board.visible);
    EXPECT_TRUE(s.view.menus["mnuBoardInfomation"].checked);
    EXPECT_FALSE(s.view.menus["mnuSerialPgmSetting"].visible);
    EXPECT_FALSE(s.view.menus["nmuI"].visible);
}

TEST(Startup, VeryFirstRunPutsTheSimulatedBoardOnComOneOnce) {
    TestRig rig;
    auto& s = *rig.session;
    shipDatabase(rig);
    ASSERT_TRUE(Startup(s, "", stamp));
    EXPECT_EQ(rig.settings.values["ComNo"], "1");
    EXPECT_EQ(rig.settings.values["ComDevice1"], "sim");
    EXPECT_EQ(rig.ui.portWindowShown, 0);
    EXPECT_EQ(rig.silentPort->openedName, "sim");  // the board search ran on it
    EXPECT_EQ(s.view.note,
              "初めての起動なので、COM1 を内蔵のシミュレーションボード（sim）に割り当てました。\r\n"
              "実際のライターを使うときは、メニューバーの [オプション] から [ＣＯＭポート設定] を選択してポートを選んでください。 ");

    // Any later start keeps what the user chose since.
    TestRig next;
    shipDatabase(next);
    next.settings.values = rig.settings.values;
    next.settings.values["ComDevice1"] = "/dev/ttyUSB0";
    ASSERT_TRUE(Startup(*next.session, "", stamp));
    EXPECT_EQ(next.settings.values["ComDevice1"], "/dev/ttyUSB0");
    EXPECT_EQ(next.silentPort->openedName, "/dev/ttyUSB0");
    EXPECT_EQ(next.session->view.note.find("初めての起動"), std::string::npos);
}

TEST(Startup, SavedPortIsShownAndSearched) {
    TestRig rig;
    auto& s = *rig.session;
    shipDatabase(rig);
    rig.settings.values["ComNo"] = "3";
    Startup(s, "", stamp);
    EXPECT_EQ(rig.ui.portWindowShown, 0);
    EXPECT_EQ(s.link.portNumber, 3);
    EXPECT_FALSE(rig.silentPort->openedName.empty());  // the board search tried it
}

TEST(Startup, SettingsThatDoNotConvertSkipOnlyTheirStep) {
    TestRig rig;
    auto& s = *rig.session;
    shipDatabase(rig);
    rig.settings.values["ComNo"] = "A";
    rig.settings.values["mnuBoardInfomation"] = "maybe";
    rig.settings.values["SkipMode"] = "x";
    rig.settings.values["mnuComMode1"] = "-1";
    rig.settings.values["deviceNew"] = "second";
    s.view.menus["mnuBoardInfomation"].checked = true;
    EXPECT_TRUE(Startup(s, "", stamp));
    // No port step at all: neither the window nor the search.
    EXPECT_EQ(rig.ui.portWindowShown, 0);
    EXPECT_TRUE(rig.silentPort->openedName.empty());
    EXPECT_TRUE(s.view.menus["mnuBoardInfomation"].checked);
    EXPECT_FALSE(s.view.menus["mnuBlankSkip"].checked);
    // The steps after the bad ones still ran.
    EXPECT_TRUE(s.view.menus["mnuComMode1"].checked);
    EXPECT_TRUE(s.link.commMode1);
    EXPECT_TRUE(std::filesystem::exists(rig.dir + "LOG.txt"));
}

TEST(Startup, BlankSkipMarkRestoredForFlashDevices) {
    TestRig rig;
    auto& s = *rig.session;
    shipDatabase(rig);
    rig.settings.values["ComNo"] = "0";
    rig.settings.values["SkipMode"] = "-1";
    s.device.name = "PIC16F84A";  // as the device selection leaves it
    Startup(s, "", stamp);
    EXPECT_TRUE(s.view.menus["mnuBlankSkip"].checked);
    if (s.device.name.rfind("PIC16F", 0) == 0 || s.device.name.rfind("PIC12F", 0) == 0)
        EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P) (ﾌﾞﾗﾝｸﾁｪｯｸｽｷｯﾌﾟﾓｰﾄﾞ)");
    else
        EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P)");
}

TEST(Startup, AppDirEndsInOneSeparator) {
    TestRig rig;
    auto& s = *rig.session;
    s.run.appDir = rig.dir + "//";
    Startup(s, "", stamp);
    EXPECT_EQ(s.run.appDir, rig.dir);
    EXPECT_EQ(s.run.commandOption, "");
}

TEST(Shutdown, ClosesThePortSavesThePlaceAndRemovesTemporaryFiles) {
    TestRig rig;
    auto& s = *rig.session;
    rig.silentPort->open("sim");
    WriteFileBytes(rig.dir + "tav_vor_mex.txt", "dump");
    WriteFileBytes(rig.dir + "dis_asm.asm", "listing");
    Shutdown(s, {1500, 3000, false});
    EXPECT_FALSE(rig.silentPort->opened);
    EXPECT_EQ(rig.settings.values["MainLeft"], "1500");
    EXPECT_EQ(rig.settings.values["MainTop"], "3000");
    EXPECT_FALSE(std::filesystem::exists(rig.dir + "tav_vor_mex.txt"));
    EXPECT_FALSE(std::filesystem::exists(rig.dir + "dis_asm.asm"));
    Shutdown(s, {15, 15, true});  // minimized; files already gone
    EXPECT_EQ(rig.settings.values["MainLeft"], "1500");
}
