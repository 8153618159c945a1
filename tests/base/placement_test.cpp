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

// A position read as pixels and saved again is the position that was stored,
// however many starts it goes through; one that moved is stored anew.
TEST(WindowPosition, SurvivesLoadAndSaveUnchanged) {
    TestRig rig;
    rig.settings.values = {{"MainLeft", "100"}, {"MainTop", "1507.5"}};
    for (int start = 0; start < 3; ++start) {
        const PixelPoint at = FirstPosition(MainWindowPosition(rig.settings), {}, 800, 600, {0, 0, 1024, 768});
        EXPECT_EQ(at, (PixelPoint{6, 100}));
        SaveWindowPosition(rig.settings, "MainLeft", "MainTop", {at.x * kTwipsPerPixel, at.y * kTwipsPerPixel});
        EXPECT_EQ(rig.settings.values["MainLeft"], "100");
        EXPECT_EQ(rig.settings.values["MainTop"], "1507.5");
    }
    SaveWindowPosition(rig.settings, "MainLeft", "MainTop", {7 * kTwipsPerPixel, 100 * kTwipsPerPixel});
    EXPECT_EQ(rig.settings.values["MainLeft"], "105");
    EXPECT_EQ(rig.settings.values["MainTop"], "1507.5");
}

TEST(WindowPosition, FirstPositionIsInsideTheAvailableArea) {
    TestRig rig;
    const PixelRect area{0, 24, 1024, 744};  // a panel across the top
    // Saved on a larger screen: pulled back in, as little as it takes.
    rig.settings.values = {{"MainLeft", "18000"}, {"MainTop", "-3000"}};
    EXPECT_EQ(FirstPosition(MainWindowPosition(rig.settings), {}, 300, 200, area), (PixelPoint{724, 24}));
    // A window larger than the area keeps its corner in it.
    EXPECT_EQ(FirstPosition(MainWindowPosition(rig.settings), {}, 1100, 900, area), (PixelPoint{0, 24}));
    // An unreadable coordinate stays where the window was laid out; a damaged one still converts.
    rig.settings.values = {{"MainLeft", "x"}, {"MainTop", "1e300"}};
    EXPECT_EQ(FirstPosition(MainWindowPosition(rig.settings), {40, 50}, 300, 200, area), (PixelPoint{40, 568}));
    // No screen known: the saved position as it is.
    EXPECT_EQ(KeepInside({-5, 9000}, 300, 200, {}), (PixelPoint{-5, 9000}));
}

TEST(WindowPosition, BoardWindowBesideTheMainWindowOrAtItsSavedPlace) {
    TestRig rig;
    const PixelRect wide{0, 0, 1920, 1080};
    const PixelRect small{0, 0, 1024, 768};
    const PixelRect main{6, 6, 974, 720};
    EXPECT_EQ(BoardWindowFirstPosition(rig.settings, main, 264, 314, wide), (PixelPoint{988, 6}));
    // No room on either side: at the right edge, over the main window.
    EXPECT_EQ(BoardWindowFirstPosition(rig.settings, main, 264, 314, small), (PixelPoint{760, 6}));
    EXPECT_EQ(BoardWindowFirstPosition(rig.settings, {700, 500, 300, 300}, 264, 314, small), (PixelPoint{428, 454}));
    // Saved, on a screen where that place is off to the right.
    rig.settings.values = {{"BoardLeft", "22500"}, {"BoardTop", "150"}};
    EXPECT_EQ(BoardWindowFirstPosition(rig.settings, main, 264, 314, wide), (PixelPoint{1500, 10}));
    EXPECT_EQ(BoardWindowFirstPosition(rig.settings, main, 264, 314, small), (PixelPoint{760, 10}));
}

// A window opened from a question takes the largest free side and never covers the question.
TEST(WindowPosition, WindowFromAQuestionLeavesTheQuestionUncovered) {
    const PixelRect screen{0, 0, 1024, 768};
    const PixelRect question{373, 400, 278, 88};
    const PixelRect hint = UncoveringRect(question, 824, 644, screen);
    EXPECT_EQ(hint.x, 200);  // as near level with the question as the screen allows
    EXPECT_EQ(hint.y, 0);
    EXPECT_EQ(hint.width, 824);
    EXPECT_EQ(hint.height, 400) << "above the question, shrunk to the room there";
    auto overlaps = [](const PixelRect& a, const PixelRect& b) {
        return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
    };
    EXPECT_FALSE(overlaps(hint, question));

    // Room enough to the right: the whole window, level with the question.
    const PixelRect wide = UncoveringRect({100, 300, 278, 88}, 600, 400, {0, 0, 1920, 1080});
    EXPECT_EQ(wide.x, 378);
    EXPECT_EQ(wide.y, 300);
    EXPECT_EQ(wide.width, 600);
    EXPECT_EQ(wide.height, 400);
}
