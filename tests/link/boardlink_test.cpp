// The wait primitives every board operation stands on.
#include <gtest/gtest.h>

#include "support/scriptport.h"
#include "support/simrig.h"

namespace vx {
namespace {

using test::ScriptPort;
using test::TestRig;

struct ScriptRig : TestRig {
    ScriptRig() {
        port = std::make_unique<ScriptPort>(clock);
        port->open("script");
        session = std::make_unique<Session>(*port, settings, clock, ui, processes);
        session->run.appDir = dir;
    }
    Session& s() { return *session; }
    std::unique_ptr<ScriptPort> port;
};

TEST(WaitForBytes, TimeOutIsStrictlyGreaterAndEventsRunWhileWaiting) {
    ScriptRig r;
    BoardLink& link = r.s().link;
    r.port->deliverIn(1000, "A");  // exactly at the time-out: still in time
    EXPECT_TRUE(link.WaitForBytes(1, 1000));
    EXPECT_GT(r.ui.eventPumps, 1);  // the wait is cut in slices

    r.port->deliverIn(1002, "B");
    const auto start = r.clock.now;
    EXPECT_FALSE(link.WaitForBytes(2, 1000));
    EXPECT_EQ(r.clock.now - start, 1001);  // gives up 1 ms past the time-out, not later
    EXPECT_EQ(link.ReceivedCount(), 1);
}

TEST(WaitForBytes, IdleWaitCompletesASlowStreamAndStopsAtAGap) {
    ScriptRig r;
    BoardLink& link = r.s().link;
    for (int i = 1; i <= 5; ++i)
        r.port->deliverIn(900 * i, "x");
    EXPECT_TRUE(link.WaitForBytesIdle(5, 1000));  // 4.5 s in all, never 1 s without a byte

    r.port->readAll();
    r.port->deliverIn(500, "y");
    r.port->deliverIn(500 + 1002, "z");
    EXPECT_FALSE(link.WaitForBytesIdle(2, 1000));
    EXPECT_EQ(link.ReceivedCount(), 1);
}

}  // namespace
}  // namespace vx
