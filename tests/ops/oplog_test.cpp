#include <gtest/gtest.h>

#include <filesystem>

#include "ops/oplog.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::ReadFileBytes;
using vx::test::TestRig;
using vx::test::WriteFileBytes;

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
    s.device.family = Family::F12F6;
    s.loader.loadedPath = "/w/a.hex";
    AppendVerdict(s);
    s.device.name = "PIC16F84A";
    s.device.family = Family::Flash;
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
