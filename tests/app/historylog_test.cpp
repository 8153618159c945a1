#include <gtest/gtest.h>

#include <filesystem>

#include "app/history.h"
#include "app/oplog.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::ReadFileBytes;
using vx::test::TestRig;
using vx::test::WriteFileBytes;

namespace {
std::string caption(Session& s, int n) { return s.view.menus["nmuFile" + std::to_string(n)].caption; }
}  // namespace

TEST(History, SameFolderAndDeviceKeepsOneEntryInPlace) {
    TestRig rig;
    auto& s = *rig.session;
    s.view.deviceIndex = 4;
    HistoryUpdate(s, "/data/a    PIC16F84A");
    HistoryUpdate(s, "/data/b    PIC16F84A");
    HistoryUpdate(s, "/data/a    PIC16F84A");
    EXPECT_EQ(caption(s, 1), "/data/b    PIC16F84A");
    EXPECT_EQ(caption(s, 2), "/data/a    PIC16F84A");
    EXPECT_FALSE(s.view.menus["nmuFile3"].visible);
    EXPECT_EQ(rig.settings.values["OPEN_DIR2"], "/data/a    PIC16F84A");
    EXPECT_EQ(rig.settings.values["OPEN_Device1"], "4");
    EXPECT_EQ(rig.settings.values["OPEN_DIR5"], "");
}

TEST(History, AnotherDeviceAddsAnEntryAndTheSixthFallsOff) {
    TestRig rig;
    auto& s = *rig.session;
    s.view.deviceIndex = 1;
    HistoryUpdate(s, "/data/a    PIC16F84A");
    s.view.deviceIndex = 7;
    HistoryUpdate(s, "/data/a    PIC12F675");
    EXPECT_EQ(caption(s, 1), "/data/a    PIC12F675");
    EXPECT_EQ(s.view.menus["nmuDevice1"].caption, "7");
    EXPECT_EQ(s.view.menus["nmuDevice2"].caption, "1");
    for (int i = 0; i < 4; ++i)
        HistoryUpdate(s, "/f" + std::to_string(i) + "    PIC16F84A");
    EXPECT_EQ(caption(s, 5), "/data/a    PIC12F675");
    for (int n = 1; n <= 5; ++n)
        EXPECT_TRUE(s.view.menus["nmuFile" + std::to_string(n)].visible);
    EXPECT_FALSE(s.view.menus["nmuDevice1"].visible);
}

TEST(History, RestoreAndClear) {
    TestRig rig;
    auto& s = *rig.session;
    rig.settings.values["OPEN_DIR1"] = "/a    PIC16F84A";
    rig.settings.values["OPEN_Device1"] = "3";
    HistoryRestore(s);
    EXPECT_TRUE(s.view.menus["nmuFile1"].visible);
    EXPECT_EQ(s.view.menus["nmuDevice1"].caption, "3");
    EXPECT_FALSE(s.view.menus["nmuFile2"].visible);
    HistoryClear(s);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_FALSE(s.view.menus["nmuFile" + std::to_string(n)].visible);
        EXPECT_EQ(rig.settings.values["OPEN_DIR" + std::to_string(n)], "");
        EXPECT_EQ(rig.settings.values["OPEN_Device" + std::to_string(n)], "0");
    }
    EXPECT_EQ(caption(s, 1), "");
}

TEST(History, ChosenEntryWithoutCompanionSelectsTheFirstDevice) {
    TestRig rig;
    auto& s = *rig.session;
    s.view.deviceList = {"PIC16F84A", "PIC12F675"};
    s.view.deviceIndex = 1;
    s.view.menus["nmuFile1"].caption = "/data/a    PIC16F84A";
    HistoryChosen(s, 1);
    EXPECT_EQ(s.view.deviceIndex, 0);
    rig.settings.values["OPEN_Device1"] = "1";
    HistoryChosen(s, 1);
    EXPECT_EQ(s.view.deviceIndex, 1);
    HistoryChosen(s, 6);  // no such entry: nothing happens
    EXPECT_EQ(s.view.deviceIndex, 1);
}

TEST(LogRotation, KeepsOnlyLogsLongerThanThirtyBytes) {
    TestRig rig;
    auto& s = *rig.session;
    const std::string thirty(28, 'x');
    WriteFileBytes(rig.dir + "LOG_OLD.txt", "older");
    WriteFileBytes(rig.dir + "LOG.txt", thirty + "\r\n");
    RotateLog(s, "stamp1");
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG_OLD.txt"), "older");
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG.txt"), "stamp1\r\n");

    WriteFileBytes(rig.dir + "LOG.txt", thirty + "y\r\n");
    RotateLog(s, "stamp2");
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG_OLD.txt"), thirty + "y\r\n");
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG.txt"), "stamp2\r\n");
}

TEST(LogVerdict, CalibrationFieldOnlyForCalibratedFamilies) {
    TestRig rig;
    auto& s = *rig.session;
    RotateLog(s, "start");
    s.run.programResult = "プログラミング失敗。";
    s.run.calibCheckText = "Read: 0x3430 , Write: 0x3430";
    s.device.name = "PIC12F675";
    s.device.family = "12F6";
    s.loader.loadedPath = "/w/a.hex";
    AppendVerdict(s);
    s.device.name = "PIC16F84A";
    s.device.family = "FLASH";
    s.loader.loadedPath.clear();
    AppendVerdict(s);
    EXPECT_EQ(ReadFileBytes(rig.dir + "LOG.txt"),
              "start\r\n"
              "プログラミング失敗。  PIC12F675  Read: 0x3430 , Write: 0x3430  /w/a.hex\r\n"
              "プログラミング失敗。  PIC16F84A  \r\n");
}

TEST(LogOpen, OpensBothOldFirstOrSaysThereAreNone) {
    TestRig rig;
    auto& s = *rig.session;
    OpenLogFiles(s);
    EXPECT_EQ(s.view.note, "ログファイルがありませんでした。 ");
    EXPECT_TRUE(rig.processes.opened.empty());
    WriteFileBytes(rig.dir + "LOG.txt", "a\r\n");
    WriteFileBytes(rig.dir + "LOG_OLD.txt", "b\r\n");
    OpenLogFiles(s);
    ASSERT_EQ(rig.processes.opened.size(), 2u);
    EXPECT_EQ(rig.processes.opened[0], rig.dir + "LOG_OLD.txt");
    EXPECT_EQ(rig.processes.opened[1], rig.dir + "LOG.txt");
}
