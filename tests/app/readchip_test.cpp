// Read in the window: the summary of the file loaded before goes with it.
#include <gtest/gtest.h>

#include "app/readchip.h"
#include "support/simrig.h"

namespace vx {
namespace {

TEST(ReadChipIntoImage, ClearsTheFileSummaryOnceTheChipWasRead) {
    test::SimRig rig("FLASH", 64, 16);
    Session& s = *rig.session;
    s.view.hexSummary = "プログラム 2 / 64 ワード";
    s.view.busy = true;  // refused before the chip is touched: the file's image stays
    EXPECT_EQ(ReadChipIntoImage(s), Outcome::Busy);
    EXPECT_EQ(s.view.hexSummary, "プログラム 2 / 64 ワード");
    s.view.busy = false;
    ASSERT_EQ(ReadChipIntoImage(s), Outcome::Passed) << s.view.note;
    EXPECT_EQ(s.view.hexSummary, "");
}

}  // namespace
}  // namespace vx
