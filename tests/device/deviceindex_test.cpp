#include <gtest/gtest.h>

#include "device/devicedb.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

TEST(ReadDeviceIndex, ListsFamilyAndSizesOfListedEntriesOnly) {
    TestRig rig;
    auto& s = *rig.session;
    test::WriteFileBytes(rig.dir + "device.ini",
                         "VERSION 1 . 0\n"
                         "#BEGIN\nPIC16F84A\nPGM_TYPE FLASH2\npgm 0x3FF\nEEPROM 0x3F\n#END\n"
                         "#BEGIN\nXYZ123\nPGM_TYPE EPROM\nPGM 0x1FF\n#END\n"
                         "PGM 0x7FF\n"
                         "#BEGIN\nPIC12C508\n; PGM 0x7FF\nPGM_TYPE 12C5\nPGM 0x1FF\nEEPROM 0\n#END\n"
                         "#BEGIN\nPIC16F877\nPGM_TYPE FLASH\nPGM 0xFFFFF\nEEPROM 0xFFFF\n#END\n");
    const auto index = ReadDeviceIndex(s);
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].name, "PIC16F84A");
    EXPECT_EQ(index[0].family, "FLASH");
    EXPECT_EQ(index[0].programWords, 1024);
    EXPECT_EQ(index[0].eepromBytes, 64);
    EXPECT_EQ(index[1].name, "PIC12C508");
    EXPECT_EQ(index[1].programWords, 512);
    EXPECT_EQ(index[1].eepromBytes, 0);
    // Sizes are capped as on selection.
    EXPECT_EQ(index[2].programWords, 8192);
    EXPECT_EQ(index[2].eepromBytes, 256);
    EXPECT_TRUE(s.device.name.empty());  // nothing selected by reading the index
}

TEST(ReadDeviceIndex, ShippedDatabaseMatchesTheDeviceList) {
    TestRig rig;
    auto& s = *rig.session;
    s.db.path = test::SourcePath("data/device.ini");
    ASSERT_TRUE(LoadDeviceList(s));
    const auto index = ReadDeviceIndex(s);
    ASSERT_EQ(index.size(), s.db.deviceNames.size());
    for (std::size_t i = 0; i < index.size(); ++i) {
        EXPECT_EQ(index[i].name, s.db.deviceNames[i]);
        EXPECT_FALSE(index[i].family.empty()) << index[i].name;
        EXPECT_GT(index[i].programWords, 0) << index[i].name;
    }
    s.db.path = rig.dir + "missing.ini";
    EXPECT_TRUE(ReadDeviceIndex(s).empty());
}
