#include <gtest/gtest.h>

#include "image/selection.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

const std::string kFirmwareNote2 = "指定したＰＩＣは、ファームウエアバージョン TAVPIC-PGMV2.00 以降でサポートしています。 ";

}  // namespace

TEST(SelectDevice, CountersResetOnlyForAnotherDevice) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    s.run.attemptCount = 5;
    s.run.passCount = 4;
    s.buffer.program[0] = 0x00;
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(s.run.attemptCount, 5);
    EXPECT_EQ(s.run.passCount, 4);
    EXPECT_EQ(s.buffer.program[0], 0x3F);  // cleared all the same
    ASSERT_TRUE(SelectByName(rig, "PIC12F675"));
    EXPECT_EQ(s.run.attemptCount, 0);
    EXPECT_EQ(s.run.passCount, 0);
    EXPECT_EQ(s.settings.value("deviceNew"), "2");
}

TEST(SelectDevice, FirmwareCheckWaitsForTheFirstSelectionWithoutABoard) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(s.view.note, "");
    EXPECT_TRUE(s.run.deviceSelectedOnce);
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(s.view.note, kFirmwareNote2);
    EXPECT_EQ(s.view.noteColour, kColourRed);
}

TEST(SelectDevice, FirmwareVersionComesFromTheIdentification) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    s.link.boardFound = true;
    s.link.detectedFirmwareId = "TAVPIC-PGMV2.50";
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));  // needs 2
    EXPECT_EQ(s.view.note, " 18-pin flash    ");
    EXPECT_EQ(s.view.noteColour, kColourBlack);
    ASSERT_TRUE(SelectByName(rig, "PIC16F877"));  // needs 3
    EXPECT_EQ(s.view.note, "指定したＰＩＣは、ファームウエアバージョン TAVPIC-PGMV3.00 以降でサポートしています。 ");
    s.link.detectedFirmwareId = "TAVPIC-PGMVabc";  // no number: version 0
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(s.view.note, kFirmwareNote2);
}

TEST(SelectDevice, FamilyDecidesCalibrationLabelAndFlashErase) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    const struct {
        const char* name;
        bool calib;
        bool erase;
    } cases[] = {{"PIC16F84A", false, true}, {"PIC12F675", true, false}, {"PIC12C671", true, true},
                 {"PIC16C74B", false, false}, {"PIC12C508", true, false}, {"PIC16C54", false, false},
                 {"PIC16C57", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectByName(rig, c.name));
        EXPECT_EQ(s.view.calibLabel.visible, c.calib);
        if (c.calib) {
            EXPECT_EQ(s.view.calibLabel.caption, "キャリブレーションデータ情報");
        }
        EXPECT_EQ(s.view.menus["mnuDevice_clear"].enabled, c.erase);
    }
}

TEST(SelectDevice, BuildsTheWordFromTheOptionsInForce) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    ASSERT_TRUE(SelectByName(rig, "PIC16F84A"));
    EXPECT_EQ(s.buffer.configWord, 0x3FFF);
    EXPECT_EQ(s.view.configText, "3FFF");
    EXPECT_EQ(s.grid.cells[1], (std::array<std::string, 2>{"FOSC", "RC"}));
    EXPECT_EQ(s.view.checksumLabel.caption, "FC00");
    EXPECT_TRUE(s.grid.visible);
    EXPECT_TRUE(s.view.menus["mnuBlankSkip"].enabled);
    ASSERT_TRUE(SelectByName(rig, "PIC12C508"));
    EXPECT_EQ(s.buffer.configWord, 0x0FFF);
    EXPECT_EQ(s.view.checksumLabel.caption, "FE00");
    EXPECT_FALSE(s.view.menus["mnuBlankSkip"].enabled);
    EXPECT_EQ(s.view.pmSizeLabel.caption, "= 512 word");
}

TEST(SelectDevice, IgnoredWhileSuppressedOrWithoutText) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    s.loader.deviceChangeSuppressed = true;
    SelectDeviceIndex(s, 0);
    EXPECT_EQ(s.device.name, "");
    s.loader.deviceChangeSuppressed = false;
    SelectDeviceIndex(s, 99);
    EXPECT_EQ(s.device.name, "");
    EXPECT_FALSE(s.run.deviceSelectedOnce);
}

TEST(SelectDevice, BoardFoundClearsTheNoteFirst) {
    TestRig rig;
    UseTestDatabase(rig);
    auto& s = *rig.session;
    s.link.boardFound = true;
    s.link.detectedFirmwareId = "TAVPIC-PGMV9.00";
    s.view.note = "old";
    ASSERT_TRUE(SelectByName(rig, "PIC16C54"));
    EXPECT_EQ(s.view.note, " 18-pin 12-bit EPROM   ");
}
