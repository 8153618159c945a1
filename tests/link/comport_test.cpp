// The port mapping: a COM number to the device path the settings name.
#include <gtest/gtest.h>

#include "link/comport.h"
#include "support/fakes.h"

namespace vx {
namespace {

TEST(ComDevicePath, SettingElseSerialDeviceOfThatNumber) {
    test::MemorySettings settings;
    EXPECT_EQ(ComDevicePath(settings, 1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(settings, 20), "/dev/ttyS19");
    settings.values["ComDevice20"] = "/dev/ttyUSB0";
    settings.values["ComDevice2"] = "";
    EXPECT_EQ(ComDevicePath(settings, 20), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(settings, 2), "/dev/ttyS1");
    EXPECT_EQ(ComDevicePath(settings, 0), "");
    EXPECT_EQ(ComDevicePath(settings, 21), "");
}

}  // namespace
}  // namespace vx
