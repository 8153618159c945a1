#include <gtest/gtest.h>

#include "base/placement.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

TEST(WindowPosition, SavedInTwipsUnlessMinimized) {
    TestRig rig;
    SaveWindowPosition(rig.settings, "BoardLeft", "BoardTop", {600, 907.5, true});
    EXPECT_TRUE(rig.settings.values.empty());
    SaveWindowPosition(rig.settings, "BoardLeft", "BoardTop", {600, 907.5, false});
    EXPECT_EQ(rig.settings.values["BoardLeft"], "600");
    EXPECT_EQ(rig.settings.values["BoardTop"], "907.5");
}
