// The wait primitives every board operation stands on.
#include <gtest/gtest.h>

#include "link/boardlink.h"
#include "support/fakes.h"
#include "support/scriptport.h"

namespace vx {
namespace {

// The link over a scripted port, on a virtual clock: no Session needed.
struct LinkRig {
    LinkRig() { port.open("script"); }
    test::VirtualClock clock;
    test::FakeUi ui;
    test::ScriptPort port{clock};
    BoardLink link{port, clock, ui};
};

TEST(WaitForBytes, TimeOutIsStrictlyGreaterAndEventsRunWhileWaiting) {
    LinkRig r;
    BoardLink& link = r.link;
    r.port.deliverIn(1000, "A");  // exactly at the time-out: still in time
    EXPECT_TRUE(link.WaitForBytes(1, 1000));
    EXPECT_GT(r.ui.eventPumps, 1);  // the wait is cut in slices

    r.port.deliverIn(1002, "B");
    const auto start = r.clock.now;
    EXPECT_FALSE(link.WaitForBytes(2, 1000));
    EXPECT_EQ(r.clock.now - start, 1001);  // gives up 1 ms past the time-out, not later
    EXPECT_EQ(link.ReceivedCount(), 1);
}

TEST(WaitForBytes, IdleWaitCompletesASlowStreamAndStopsAtAGap) {
    LinkRig r;
    BoardLink& link = r.link;
    for (int i = 1; i <= 5; ++i)
        r.port.deliverIn(900 * i, "x");
    EXPECT_TRUE(link.WaitForBytesIdle(5, 1000));  // 4.5 s in all, never 1 s without a byte

    r.port.readAll();
    r.port.deliverIn(500, "y");
    r.port.deliverIn(500 + 1002, "z");
    EXPECT_FALSE(link.WaitForBytesIdle(2, 1000));
    EXPECT_EQ(link.ReceivedCount(), 1);
}

}  // namespace
}  // namespace vx
