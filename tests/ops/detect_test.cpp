// Finding the board: DetectBoard and CheckBoard.
#include <gtest/gtest.h>

#include <functional>

#include "ops/detect.h"
#include "support/scriptport.h"
#include "support/simrig.h"

namespace vx {
namespace {

using test::ScriptPort;
using test::SimRig;
using test::TestRig;
using test::VirtualClock;

struct ScriptRig : TestRig {
    ScriptRig() {
        port = std::make_unique<ScriptPort>(clock);
        port->open("script");
        session = std::make_unique<Session>(*port, settings, clock, ui, processes);
        session->run.appDir = dir;
    }
    Session& s() { return *session; }
    std::unique_ptr<ScriptPort> port;
};

const std::string kNotFoundNote =
    "ライターを検出できませんでした。メニューバーの [オプション] から [ＣＯＭポート設定] を選択してください。";

TEST(DetectBoard, PortZeroSendsNothingAndOnlyAsksForAPort) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.portNumber = 0;
    DetectBoard(s);
    EXPECT_TRUE(rig.board().received.empty());
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(rig.ui.boxes[0].title, "");
    EXPECT_EQ(rig.ui.boxes[0].text, "通信ポートを選んでください。\rメニューバーの [オプション] から [ＣＯＭポート設定] を選択してください。");
    EXPECT_EQ(s.view.note, "");
    EXPECT_EQ(rig.simPort->openCount, 0);
}

TEST(DetectBoard, BoardAlreadyFoundDoesNothing) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.boardFound = true;
    s.view.note = "before";
    DetectBoard(s);
    EXPECT_TRUE(rig.board().received.empty());
    EXPECT_TRUE(rig.ui.boxes.empty());
    EXPECT_EQ(s.view.note, "before");
}

TEST(DetectBoard, FindsTheBoardOnTheMappedDeviceAndShowsItOnYellow) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.portNumber = 3;
    DetectBoard(s);
    EXPECT_EQ(rig.simPort->openedName, "/dev/ttyS2");
    EXPECT_TRUE(s.link.boardFound);
    EXPECT_EQ(s.link.firmwareId, "TAVPIC-PGMV4.01");
    EXPECT_EQ(s.link.detectedFirmwareId, "TAVPIC-PGMV4.01");
    EXPECT_EQ(s.view.firmwareLabel.caption, "TAVPIC-PGMV4.01 : COM3");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourYellow);
    EXPECT_EQ(s.view.note, "ライターを COM3に検出しました。 ");
    EXPECT_TRUE(s.link.rawReplies);
    EXPECT_TRUE(rig.simPort->rts);  // asserted while communication mode 1 is off
    EXPECT_EQ(rig.sentText(), "??");
    EXPECT_TRUE(rig.ui.boxes.empty());
    EXPECT_GT(rig.ui.eventPumps, 0);
}

TEST(DetectBoard, CommunicationModeOneDropsRtsAndSettingMapsThePort) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.settings.values["ComDevice1"] = "sim";
    s.link.commMode1 = true;
    DetectBoard(s);
    EXPECT_EQ(rig.simPort->openedName, "sim");
    EXPECT_FALSE(rig.simPort->rts);
    EXPECT_TRUE(s.link.boardFound);
}

TEST(DetectBoard, PortHeldByAnotherProgramOrUnusable) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.simPort->openResult = PortOpenResult::InUse;
    s.link.boardFound = false;
    DetectBoard(s);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.note, "他のソフトウエアが、すでに通信ポート使用しています。\r通信ポートを使用しているソフトウエアを終了してください。 ");
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.ui.boxes[0].title, "");
    EXPECT_EQ(rig.ui.boxes[0].text,
              "他のソフトウエアが、すでに通信ポート使用しています。　　　　\r\n"
              "通信ポートを使用しているソフトウエアを終了してください。　　　　");
    EXPECT_TRUE(rig.board().received.empty());

    rig.simPort->openResult = PortOpenResult::Failed;
    DetectBoard(s);
    EXPECT_EQ(s.view.note, "通信ポートが使用できませんでした。\r ");
    ASSERT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_EQ(rig.ui.boxes[1].title, "ｲﾝﾌｫﾒｰｼｮﾝ");
    EXPECT_EQ(rig.ui.boxes[1].text, "通信ポートが使用できませんでした。　他のシリアルポートを選択して下さい。　　　\r\n");
    EXPECT_FALSE(s.link.boardFound);
}

TEST(DetectBoard, SilentBoardTimesOutWithEmptySuffixAndUnconnectedLabel) {
    TestRig rig;
    Session& s = *rig.session;
    s.link.portNumber = 2;
    const auto start = rig.clock.now;
    DetectBoard(s);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.note, kNotFoundNote + " " + "　（受信バイト数： 0byte  , 受信データ： []");
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM2 : ライター未接続");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);
    EXPECT_FALSE(s.link.rawReplies);
    // 1 + 200 + 1 ms of pauses, then just over the 1 s time-out.
    EXPECT_GT(rig.clock.now - start, 1000 + 202);
    EXPECT_LE(rig.clock.now - start, 1000 + 202 + 2);
}

TEST(DetectBoard, ShortReplyShowsCountAndText) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.board().faults.shortReplyBy = 7;
    DetectBoard(s);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.note, kNotFoundNote + " " + "　（受信バイト数： 10byte  , 受信データ： [TAVPIC-PGM]");
    EXPECT_EQ(rig.simPort->bytesAvailable(), 0);  // reading them emptied the buffer
}

TEST(DetectBoard, GarbageRepliesStayValidText) {
    ScriptRig r;
    r.port->onWrite = [&r](const Bytes&) { r.port->deliverIn(5, std::string("\xFE\x80zz", 4)); };
    r.s().link.portNumber = 1;
    DetectBoard(r.s());
    EXPECT_EQ(r.s().view.note, kNotFoundNote + " " + "　（受信バイト数： 4byte  , 受信データ： [\xC3\xBE\xC2\x80zz]");
}

TEST(DetectBoard, ForeignBoardIsNotAccepted) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.board().faults.foreignIdentification = true;
    s.view.firmwareLabel.backColour = kColourYellow;
    DetectBoard(s);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.note, "ファームウエアバージョンを読み出せませんでした。\rメニューバーの [オプション] から [ＣＯＭポート設定] を選択してください。 ");
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM1 : ライター未接続");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);
    EXPECT_EQ(s.link.detectedFirmwareId, "");
    EXPECT_TRUE(s.link.rawReplies);
}

TEST(DetectBoard, AnswerToTheFirstQuestionIsThrownAway) {
    ScriptRig r;
    int questions = 0;
    r.port->onWrite = [&](const Bytes& b) {
        if (b == Bytes{'?'} && ++questions == 1) {
            r.port->deliverIn(50, "XXXXXXXX");             // within the 200 ms pause
            r.port->deliverIn(150, "TAVPIC-PGMV9.99\r\n");  // also too early
        } else if (b == Bytes{'?'}) {
            r.port->deliverIn(20, "TAVPIC-PGMV4.01\r\n");
        }
    };
    r.s().link.portNumber = 4;
    DetectBoard(r.s());
    EXPECT_TRUE(r.s().link.boardFound);
    EXPECT_EQ(r.s().link.firmwareId, "TAVPIC-PGMV4.01");
}

TEST(CheckBoard, SilentBoardGivesRedNoteAndTheNotFoundLabel) {
    TestRig rig;
    Session& s = *rig.session;
    s.link.portNumber = 1;
    s.link.boardFound = true;
    s.view.firmwareLabel = {"TAVPIC-PGMV4.01 : COM1", kColourYellow, true};
    EXPECT_EQ(CheckBoard(s), BoardCheck::Silent);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_EQ(s.view.note,
              "ライターを検出できませんでした。\r\nメニューバーの [オプション] から [ＣＯＭポート設定] を選択してください。\r\n"
              "ライターのＢＵＳＹ ＬＥＤが消灯しないときは、ライターの電源を再投入してください。 ");
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM1 : ライター未接続");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);
    EXPECT_FALSE(s.link.rawReplies);
    EXPECT_EQ(rig.silentPort->written, (Bytes{'*', '*', '*', '?'}));
}

TEST(CheckBoard, AnsweringBoardIsOkAndForeignOneIsNot) {
    SimRig rig("12F6", 1024, 128);
    Session& s = *rig.session;
    s.link.portNumber = 5;
    EXPECT_EQ(CheckBoard(s), BoardCheck::Ready);
    EXPECT_EQ(rig.sentText(), "***?");
    EXPECT_TRUE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "TAVPIC-PGMV4.01 : COM5");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourYellow);
    EXPECT_EQ(s.view.note, "ライターを COM5に検出しました。 ");
    EXPECT_EQ(s.link.detectedFirmwareId, "");  // only DetectBoard sets it
    EXPECT_TRUE(s.link.rawReplies);

    rig.board().faults.foreignIdentification = true;
    EXPECT_EQ(CheckBoard(s), BoardCheck::Foreign);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "TAVPIC-PGMV4.01 : COM5");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);
}

TEST(CheckBoard, PortThatCannotOpenEndsNgWithTheOpenFailureBox) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.boardFound = true;
    s.view.firmwareLabel = {"TAVPIC-PGMV4.01 : COM1", kColourYellow, true};
    rig.simPort->openResult = PortOpenResult::Failed;
    EXPECT_EQ(CheckBoard(s), BoardCheck::PortUnavailable);
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM1 : ライター未接続");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(rig.board().received.empty());

    s.link.portNumber = 0;  // no COM0 device at all
    rig.simPort->openResult = PortOpenResult::Ok;
    EXPECT_EQ(CheckBoard(s), BoardCheck::PortUnavailable);
    EXPECT_EQ(rig.simPort->openCount, 1);
}

TEST(CheckBoard, RecoversABoardLeftInTheMiddleOfATransfer) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.Open("sim");
    s.link.SendCommand('w');
    s.link.SendCommand('e');
    s.link.SendCommand('f');
    s.link.SendCount(100);
    s.link.SendBytes({0x12});  // half a word, then the PC gave up
    s.link.Pause(1500);
    EXPECT_EQ(CheckBoard(s), BoardCheck::Ready);
}

}  // namespace
}  // namespace vx
