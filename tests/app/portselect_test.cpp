// The port window's rules and the release command.
#include <grp.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <map>

#include "app/portselect.h"
#include "ops/detect.h"
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

    // A new port: no board is found on it until the board search says so.
    EXPECT_FALSE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM3 : ライター未接続");
    PortSettingsCommand(s);  // the window (scripted away) keeps COM3
    EXPECT_EQ(rig.ui.portWindowShown, 1);
    EXPECT_EQ(rig.simPort->openCount, 1);
    EXPECT_TRUE(s.link.boardFound);
    EXPECT_EQ(s.view.firmwareLabel.caption, std::string("TAVPIC-PGMV4.01 : COM3") + kSimulatedBoardMark);

    // Choosing again closes the open port first.
    EXPECT_TRUE(PortWindowOk(s, model));
    EXPECT_EQ(rig.simPort->openCount, 2);
}

TEST(PortWindow, PortThatFailsKeepsEverySettingAndLeavesTheBoardNotFound) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.settings.values["ComNo"] = "2";
    rig.settings.values["ComDevice7"] = "/dev/ttyUSB0";
    s.link.portNumber = 2;
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

    // CANCEL after the refusal: the saved number and both mappings stay, and
    // the link is back on COM2, where the board search looks again.
    PortWindowCancel(s, model);
    EXPECT_EQ(rig.settings.values["ComNo"], "2");
    EXPECT_EQ(rig.settings.values["ComDevice7"], "/dev/ttyUSB0");
    EXPECT_EQ(rig.settings.values.count("ComDevice2"), 0u);
    EXPECT_EQ(s.link.portNumber, 2);
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM2 : ライター未接続");
    EXPECT_EQ(s.view.note, " ");  // as the window's load left it
}

TEST(PortWindow, CancelNotesOnlyWhenNoPortAndLeavesThePortAlone) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    s.link.portNumber = 0;
    PortWindowModel model;
    PortWindowLoad(s, model);
    PortWindowCancel(s, model);
    EXPECT_EQ(s.view.note, "通信ポートを選択しませんでした。 ");

    // No port before, a refused one tried: none again, and the label forgets it.
    rig.simPort->openResult = PortOpenResult::Failed;
    model.selected[5] = true;
    EXPECT_FALSE(PortWindowOk(s, model));
    EXPECT_EQ(s.view.firmwareLabel.caption, "COM6 : ライター未接続");
    PortWindowCancel(s, model);
    EXPECT_EQ(s.link.portNumber, 0);
    EXPECT_EQ(s.view.firmwareLabel.caption, "");
    EXPECT_EQ(s.view.note, "通信ポートを選択しませんでした。 ");
    rig.simPort->openResult = PortOpenResult::Ok;

    s.view.note.clear();
    rig.settings.values["ComNo"] = "4";
    s.link.portNumber = 4;
    PortWindowLoad(s, model);
    s.view.note.clear();
    PortWindowCancel(s, model);
    EXPECT_EQ(s.view.note, "");
    EXPECT_EQ(rig.simPort->openCount, 1);

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
}

TEST(PortList, StableNamesFirstDetailsForUsbAndAClickMapsTheChosenNumber) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::vector<SystemPortInfo> ports = {
        {"/dev/ttyS10", "", false, "", "", ""},
        {"/dev/ttyS2", "", false, "", "", ""},
        {"/dev/ttyUSB0", byId, true, "FT232R USB UART", "FTDI", "A50285BI"},
        {"/dev/ttyACM0", "", true, "", "", ""},  // an adapter without texts or a stable name
    };
    const auto choices = PortChoices(ports);
    ASSERT_EQ(choices.size(), 5u);
    EXPECT_EQ(choices[0].path, byId);
    EXPECT_EQ(choices[0].device, "/dev/ttyUSB0");
    EXPECT_EQ(choices[0].detail, "FT232R USB UART / FTDI / S/N A50285BI");
    EXPECT_EQ(choices[1].path, "/dev/ttyACM0");
    EXPECT_EQ(choices[1].detail, "");
    EXPECT_EQ(choices[2].path, "/dev/ttyS2");
    EXPECT_EQ(choices[3].path, "/dev/ttyS10");
    EXPECT_EQ(choices[4].path, "sim");
    EXPECT_EQ(PortChoices({}).size(), 1u);  // no port at all: the simulated board only

    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    rig.settings.values["ComNo"] = "4";
    rig.settings.values["ComDevice4"] = "/dev/ttyUSB0";  // mapped by its kernel name before
    PortWindowModel model;
    PortWindowLoad(s, model);
    model.choices = choices;
    EXPECT_EQ(model.listedRow(), 0);
    ChooseListedPort(model, 2);
    EXPECT_EQ(model.chosen(), 4);
    EXPECT_EQ(model.chosenPath(), "/dev/ttyS2");
    model.setChosenPath("/dev/ttyXR7");  // typed: not in the list
    EXPECT_EQ(model.listedRow(), -1);

    ChooseListedPort(model, 0);
    ASSERT_TRUE(PortWindowOk(s, model));
    EXPECT_EQ(rig.settings.values["ComDevice4"], byId);

    PortWindowModel none;  // nothing chosen: the click chooses COM1
    none.choices = choices;
    ChooseListedPort(none, 4);
    EXPECT_EQ(none.chosen(), 1);
    EXPECT_EQ(none.chosenPath(), "sim");
}

TEST(PortPermission, DeniedDeviceNamesItsGroupTheCommandAndTheNewLogin) {
    SimRig rig("FLASH", 1024, 64);
    Session& s = *rig.session;
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "the serial ports' group dialout is missing";
    const std::string node = rig.dir + "ttyUSB0";
    test::WriteFileBytes(node, "");
    ASSERT_EQ(chown(node.c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
    ASSERT_EQ(chmod(node.c_str(), 0660), 0);
    const std::string text = PortPermissionText(node);
    EXPECT_EQ(text, node + " を開く権限がありません。\r\n"
                    "このポートを使えるのはグループ「dialout」のユーザーです。次のコマンドでユーザーをこのグループに加えてください。\r\n\r\n"
                    "　　sudo usermod -aG dialout $USER\r\n\r\n"
                    "グループの変更は新しいログインから有効になります。一度ログアウトして、ログインし直してください。");

    // The port window and the board search both give it instead of the
    // missing-port texts.
    rig.settings.values["ComDevice3"] = node;
    rig.simPort->openResult = PortOpenResult::PermissionDenied;
    PortWindowModel model;
    PortWindowLoad(s, model);
    model.selected[2] = true;
    EXPECT_FALSE(PortWindowOk(s, model));
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].title, "COM3　エラー");
    EXPECT_EQ(rig.ui.boxes[0].text, text);
    EXPECT_EQ(rig.settings.values.count("ComNo"), 0u);
    EXPECT_EQ(CheckBoard(s), BoardCheck::PortUnavailable);
    ASSERT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_EQ(rig.ui.boxes[1].text, text);
    EXPECT_EQ(s.view.note, node + " を開く権限がありません。 ");

    // A node whose group may not use it either, and one that is gone.
    ASSERT_EQ(chmod(node.c_str(), 0600), 0);
    EXPECT_EQ(PortPermissionText(node), node + " を開く権限がありません。\r\n"
                                               "このポートを使えるように、システムの管理者に権限の設定を依頼してください。");
    EXPECT_NE(PortPermissionText(rig.dir + "gone").find("管理者"), std::string::npos);
}

// Sends every opened port to the simulated board or to silence by its name,
// or refuses it.
class RoutingPort : public SerialPort {
public:
    RoutingPort(test::VirtualClock& clock, SimPort& board) : clock_(clock), board_(board) {}
    PortOpenResult open(const std::string& name) override {
        opened.push_back(name);
        if (const auto refusal = refusals.find(name); refusal != refusals.end())
            return refusal->second;
        onBoard_ = name == boardPath;
        open_ = true;
        return onBoard_ ? board_.open(name) : PortOpenResult::Ok;
    }
    void close() override {
        if (onBoard_)
            board_.close();
        open_ = onBoard_ = false;
    }
    bool isOpen() const override { return open_; }
    void write(const Bytes& bytes) override {
        if (onBoard_)
            board_.write(bytes);
    }
    int bytesAvailable() override { return onBoard_ ? board_.bytesAvailable() : 0; }
    Bytes readAll() override { return onBoard_ ? board_.readAll() : Bytes{}; }
    void discardInput() override {
        if (onBoard_)
            board_.discardInput();
    }
    void setRts(bool) override {}
    bool waitForData(int timeoutMs) override {
        if (onBoard_)
            return board_.waitForData(timeoutMs);
        clock_.now += timeoutMs;
        return false;
    }

    std::map<std::string, PortOpenResult> refusals;
    std::string boardPath;
    std::vector<std::string> opened;

private:
    test::VirtualClock& clock_;
    SimPort& board_;
    bool open_ = false;
    bool onBoard_ = false;
};

TEST(PortAutoDetect, AsksEachListedPortAndMapsTheOneThatAnswers) {
    test::VirtualClock clock;
    test::MemorySettings settings;
    test::FakeUi ui;
    test::FakeProcesses processes;
    SimPort board(clock, SimChip("FLASH", 1024, 64));
    RoutingPort port(clock, board);
    Session s(port, settings, clock, ui, processes);
    port.refusals = {{"/dev/ttyUSB1", PortOpenResult::Failed},  // unplugged while listed
                     {"/dev/ttyUSB2", PortOpenResult::PermissionDenied}};
    port.boardPath = "/dev/ttyUSB3";

    PortWindowModel model;
    PortWindowLoad(s, model);
    model.choices = PortChoices({{"/dev/ttyUSB1", "", true, "", "", ""},
                                 {"/dev/ttyUSB2", "", true, "", "", ""},
                                 {"/dev/null", "", false, "", "", ""},  // opens, is no board
                                 {"/dev/ttyUSB3", "", true, "", "", ""}});
    s.link.portNumber = 2;
    ASSERT_EQ(s.link.Open("/dev/null"), PortOpenResult::Ok);  // the port in use is let go first
    s.link.boardFound = true;
    const std::string found = AutoDetectPort(s, model);
    EXPECT_EQ(found, "ライターを /dev/ttyUSB3 に検出しました（TAVPIC-PGMV4.01）。\nCOM1 に割り当てました。OK で確定します。");
    EXPECT_EQ(port.opened, (std::vector<std::string>{"/dev/null", "/dev/null", "/dev/ttyUSB1", "/dev/ttyUSB2",
                                                     "/dev/ttyUSB3"}));
    EXPECT_EQ(model.chosenPath(), "/dev/ttyUSB3");
    EXPECT_EQ(model.listedRow(), 3);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(s.link.boardFound);  // OK and the board search that follows find it again
    EXPECT_TRUE(settings.values.empty());  // only OK stores
    EXPECT_TRUE(ui.boxes.empty());

    // Without the board: the permission refusal is what the user must fix.
    port.boardPath.clear();
    const std::string missing = AutoDetectPort(s, model);
    EXPECT_EQ(missing, "ライターを検出できませんでした。\n" + PortPermissionText("/dev/ttyUSB2"));
    EXPECT_EQ(model.chosenPath(), "/dev/ttyUSB3");  // the mapping is left as it was
    port.refusals.erase("/dev/ttyUSB2");
    EXPECT_EQ(AutoDetectPort(s, model), "ライターを検出できませんでした。ライターの接続と電源を確かめてください。");

    // The simulated board is asked last; answering alone, it is mapped, and
    // the text says that no real board was found and why.
    port.opened.clear();
    port.boardPath = "sim";
    port.refusals["/dev/ttyUSB2"] = PortOpenResult::PermissionDenied;
    model.choices = PortChoices({{"/dev/ttyUSB2", "", true, "", "", ""}, {"/dev/ttyUSB3", "", true, "", "", ""}});
    EXPECT_EQ(AutoDetectPort(s, model), "ライターを検出できませんでした。\n" + PortPermissionText("/dev/ttyUSB2") +
                                            "\n応答したのは内蔵シミュレーションボード（sim）だけなので、COM1 "
                                            "に割り当てました。実機ではありません。OK で確定します。");
    EXPECT_EQ(port.opened, (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB3", "sim"}));
    EXPECT_EQ(model.chosenPath(), "sim");
    model.choices = PortChoices({});
    EXPECT_EQ(AutoDetectPort(s, model), "シリアルポートが見つかりませんでした。\n応答したのは内蔵シミュレーションボード"
                                        "（sim）だけなので、COM1 に割り当てました。実機ではありません。OK で確定します。");
    port.boardPath.clear();
    EXPECT_EQ(AutoDetectPort(s, model), "シリアルポートが見つかりませんでした。");
}

}  // namespace
}  // namespace vx
