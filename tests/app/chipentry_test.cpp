// The values typed into the lost-values question, judged by the selected device's family.
#include <gtest/gtest.h>

#include "app/chipentry.h"
#include "support/fakes.h"
#include "support/imagefixture.h"

namespace vx {
namespace {

TEST(ChipValueEntry, EachAskedValueMustBeOfItsForm) {
    test::TestRig rig;
    test::UseTestDatabase(rig);
    ASSERT_TRUE(test::SelectByName(rig, "PIC12F675"));
    const Session& s = *rig.session;
    ChipValueQuestion q;
    q.calibration = q.bandGap = true;
    EXPECT_EQ(ChipValueEntryProblem(s, q, {ChipValueChoice::Entered, "0x3455", "2"}), "");
    EXPECT_EQ(ChipValueEntryProblem(s, q, {ChipValueChoice::Entered, "0x0C55", "4"}),
              "キャリブレーション値 '0x0C55' は retlw (0x34nn) の形ではありません。\r\n"
              "バンドギャップ値 '4' は 0 から 3 の数ではありません。");
    q.bandGap = false;  // a value not asked for is not judged
    EXPECT_EQ(ChipValueEntryProblem(s, q, {ChipValueChoice::Entered, "0x3455", ""}), "");

    ASSERT_TRUE(test::SelectByName(rig, "PIC12C509"));
    q.bandGap = false;
    EXPECT_EQ(ChipValueEntryProblem(s, q, {ChipValueChoice::Entered, "0x3455", ""}),
              "キャリブレーション値 '0x3455' は movlw (0x0Cnn) の形ではありません。");
}

}  // namespace
}  // namespace vx
