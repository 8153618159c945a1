// The port window's rules and the release command.
#include <gtest/gtest.h>

#include "app/portselect.h"
#include "support/simrig.h"

namespace vx {
namespace {

using test::SimRig;

TEST(PortWindow, LoadSelectsTheSavedPortAndClearsTheNote) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.view.note = "old";
    rig.settings.values["ComNo"] = "20";
    PortWindowModel model;
    model.selected[0] = true;
    PortWindowLoad(s, model);
    EXPECT_EQ(model.chosen(), 20);
    EXPECT_FALSE(model.selected[0]);
    EXPECT_TRUE(model.selected[19]);
    EXPECT_EQ(s.link.portNumber, 20);
    EXPECT_EQ(s.view.note, " ");

    // No button for a number outside COM1..COM20, nor for a damaged value.
    for (const char* saved : {"0", "21", "-3", "abc"}) {
        rig.settings.values["ComNo"] = saved;
        PortWindowLoad(s, model);
        EXPECT_EQ(model.chosen(), 0) << saved;
        EXPECT_EQ(s.link.portNumber, 0) << saved;
    }
}

TEST(PortWindow, OkWithNothingChosenNamesComZeroAndStays) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    PortWindowModel model;
    PortWindowLoad(s, model);
    EXPECT_FALSE(PortWindowOk(s, model));
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].title, "COM0　エラー");
    EXPECT_EQ(rig.ui.boxes[0].text,
              "　　COM0　オープンに失敗しました。　　　　　\r\r　　他のポート番号を指定してください。　　　　　");
    EXPECT_EQ(rig.settings.values.count("ComNo"), 0u);
    EXPECT_EQ(rig.simPort->openCount, 0);
}

TEST(PortWindow, OkOpensTheChosenPortWhichTheBoardSearchThenUses) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.settings.values["ComDevice3"] = "sim";
    PortWindowModel model;
    PortWindowLoad(s, model);
    model.selected[2] = true;
    EXPECT_TRUE(PortWindowOk(s, model));
    EXPECT_EQ(rig.simPort->openedName, "sim");
    EXPECT_TRUE(rig.simPort->isOpen());
    EXPECT_EQ(s.view.note, "COM3を選択しました。 ");
    EXPECT_EQ(rig.settings.values["ComNo"], "3");

    PortSettingsCommand(s);  // the window (scripted away) keeps COM3
    EXPECT_EQ(rig.ui.portWindowShown, 1);
    EXPECT_EQ(rig.simPort->openCount, 1);
    EXPECT_TRUE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "TAVPIC-PGMV4.01 : COM3");

    // Choosing again closes the open port first.
    EXPECT_TRUE(PortWindowOk(s, model));
    EXPECT_EQ(rig.simPort->openCount, 2);
}

TEST(PortWindow, PortThatFailsKeepsEverySettingAndLeavesTheBoardNotFound) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.settings.values["ComNo"] = "2";
    rig.settings.values["ComDevice7"] = "/dev/ttyUSB0";
    s.link.boardFound = true;
    s.view.firmwareLabel = {"TAVPIC-PGMV4.01 : COM2", kColourYellow};
    rig.simPort->openResult = PortOpenResult::InUse;
    PortWindowModel model;
    PortWindowLoad(s, model);
    model.selected.fill(false);
    model.selected[6] = true;
    EXPECT_EQ(model.chosenPath(), "/dev/ttyUSB0");
    model.setChosenPath("/dev/ttyACM3");  // typed, then refused
    EXPECT_FALSE(PortWindowOk(s, model));
    EXPECT_EQ(rig.simPort->openedName, "/dev/ttyACM3");
    EXPECT_EQ(rig.ui.boxes.at(0).title, "COM7　エラー");
    EXPECT_EQ(rig.ui.boxes.at(0).text,
              "　　COM7　オープンに失敗しました。　　　　　\r　　（/dev/ttyACM3）\r\r"
              "　　他のポート番号を指定してください。　　　　　");
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM7 : ライター未接続");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);

    // CANCEL after the refusal: the saved number and both mappings stay.
    PortWindowCancel(s);
    EXPECT_EQ(rig.settings.values["ComNo"], "2");
    EXPECT_EQ(rig.settings.values["ComDevice7"], "/dev/ttyUSB0");
    EXPECT_EQ(rig.settings.values.count("ComDevice2"), 0u);
}

TEST(PortWindow, CancelNotesOnlyWhenNoPortAndLeavesThePortAlone) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.portNumber = 0;
    PortWindowCancel(s);
    EXPECT_EQ(s.view.note, "通信ポートを選択しませんでした。 ");

    s.view.note.clear();
    s.link.portNumber = 4;
    PortWindowCancel(s);
    EXPECT_EQ(s.view.note, "");
    EXPECT_EQ(rig.simPort->openCount, 0);

    PortSettingsCommand(s);  // port 4 after the window: the board search runs
    EXPECT_EQ(rig.simPort->openedName, "/dev/ttyS3");
}

TEST(PortRelease, ClosesAnOpenPortNotesEitherWayAndForgetsTheBoard) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    ReleasePort(s);
    EXPECT_EQ(s.view.note, "通信ポートを開放しました。 ");
    s.link.portNumber = 1;
    s.link.Open("sim");
    s.link.boardFound = true;
    s.view.firmwareLabel = {"TAVPIC-PGMV4.01 : COM1", kColourYellow};
    s.view.note.clear();
    ReleasePort(s);
    EXPECT_FALSE(rig.simPort->isOpen());
    EXPECT_EQ(s.view.note, "通信ポートを開放しました。 ");
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM1 : ライター未接続");
    EXPECT_EQ(s.view.firmwareLabel.backColour, kColourButtonFace);
}

TEST(PortDevice, ChosenPathIsStoredOnlyByASuccessfulOk) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    EXPECT_EQ(PortDevicePath(s, 5), "/dev/ttyS4");
    PortWindowModel model;
    PortWindowLoad(s, model);
    model.selected[4] = true;
    ASSERT_TRUE(PortWindowOk(s, model));  // the default name needs no setting
    EXPECT_EQ(rig.settings.values.count("ComDevice5"), 0u);
    model.setChosenPath("/dev/ttyUSB0");
    model.selected.fill(false);
    model.setChosenPath("/dev/ignored");  // no number chosen: nothing to map
    model.selected[4] = true;
    ASSERT_TRUE(PortWindowOk(s, model));
    EXPECT_EQ(rig.settings.values["ComDevice5"], "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath(s, 5), "/dev/ttyUSB0");
    EXPECT_EQ(PortDeviceChoices({"/dev/ttyS0"}), (std::vector<std::string>{"/dev/ttyS0", "sim"}));
}

}  // namespace
}  // namespace vx
