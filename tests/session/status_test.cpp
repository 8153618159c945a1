#include <gtest/gtest.h>

#include "session/status.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

TEST(ShowNote, ColoursByPrefix) {
    TestRig rig;
    auto& s = *rig.session;
    ShowNote(s, Tone::Alert, "abc", "x");
    EXPECT_EQ(s.view.note, "abc x");
    EXPECT_EQ(s.view.noteColour, kColourRed);
    ShowNote(s, Tone::Alert, "", "");
    EXPECT_EQ(s.view.note, " ");
    EXPECT_EQ(s.view.noteColour, kColourRed);
    ShowNote(s, "<<注意>>abc", "");
    EXPECT_EQ(s.view.note, "<<注意>>abc ");
    EXPECT_EQ(s.view.noteColour, kColourRed);
    ShowNote(s, "plain", "");
    EXPECT_EQ(s.view.noteColour, kColourBlack);
}

TEST(ShowProgress, MovesInOnePercentSteps) {
    TestRig rig;
    auto& s = *rig.session;
    ShowProgress(s, true, 0, 50, 25);
    EXPECT_FALSE(s.view.progressVisible);
    ShowProgress(s, true, 0, 1000, 30);
    EXPECT_TRUE(s.view.progressVisible);
    EXPECT_EQ(s.view.percentText, "3%");
    ShowProgress(s, true, 0, 1000, 35);
    EXPECT_EQ(s.view.progressValue, 30);
    ShowProgress(s, false, 0, 1000, 40);
    EXPECT_FALSE(s.view.progressVisible);
    ShowProgress(s, true, 0, 1000, 1000);
    EXPECT_TRUE(s.view.progressVisible);  // hidden first, then shown at 100 %
}

TEST(UpdateProgramButtonCaption, OnlyFlashNamesHonourBlankSkip) {
    TestRig rig;
    auto& s = *rig.session;
    s.view.menus["mnuBlankSkip"].checked = true;
    s.device.name = "PIC16F84A";
    UpdateProgramButtonCaption(s);
    EXPECT_TRUE(s.view.menus["mnuBlankSkip"].enabled);
    EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P) (ﾌﾞﾗﾝｸﾁｪｯｸｽｷｯﾌﾟﾓｰﾄﾞ)");
    for (const char* name : {"pic16f84a", "PIC16C84"}) {
        s.device.name = name;
        UpdateProgramButtonCaption(s);
        EXPECT_FALSE(s.view.menus["mnuBlankSkip"].enabled);
        EXPECT_EQ(s.view.programButtonCaption, "プログラム(&P)");
    }
}

TEST(CheckDeviceSelected, AsksForADeviceWhenNoneIsChosen) {
    TestRig rig;
    auto& s = *rig.session;
    EXPECT_FALSE(CheckDeviceSelected(s));
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].text, "MCUを選んでください。");
    EXPECT_EQ(rig.ui.boxes[0].title, "ｲﾝﾌｫﾒｰｼｮﾝ");
    EXPECT_EQ(s.view.note, "MCUを選んでください。 ");
    EXPECT_EQ(s.view.focusRequest, "Combo_device");
    s.device.name = "PIC16F84A";
    EXPECT_TRUE(CheckDeviceSelected(s));
}
