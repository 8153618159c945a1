#include <gtest/gtest.h>

#include "image/history.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

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
