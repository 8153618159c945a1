// The states of a run's numbers, without a database: every move the state
// table allows, every one it refuses, and the names the store writes.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "serialization/runstate.h"

using namespace vx;

namespace {

using enum NumberState;
using enum NumberStep;

TEST(NumberStates, EachStepMovesOnlyFromItsStatesAndNeverOutOfRecorded) {
    // The diagram of runstate.h, edge by edge.
    const std::map<std::pair<NumberStep, NumberState>, NumberState> allowed = {
        {{Retake, Returned}, Reserved},  {{Write, Reserved}, Writing},     {{Record, Writing}, Recorded},
        {{Record, Settle}, Recorded},    {{GiveBack, Reserved}, Returned}, {{GiveBack, Writing}, Returned},
        {{GiveBack, Settle}, Returned},  {{Abandon, Reserved}, Returned},  {{Abandon, Writing}, Settle},
        {{SettleUsed, Settle}, Recorded}, {{SettleFree, Settle}, Returned}, {{Spoil, Writing}, Failed},
        {{Spoil, Settle}, Failed},       {{Unknown, Writing}, Settle},
    };
    int refused = 0;
    for (auto step : {Retake, Write, Record, GiveBack, Spoil, Unknown, Abandon, SettleUsed, SettleFree})
        for (auto from : {Reserved, Writing, Recorded, Returned, Settle, Failed}) {
            const auto it = allowed.find({step, from});
            const auto after = NumberAfter(step, from);
            if (it == allowed.end()) {
                EXPECT_FALSE(after) << static_cast<int>(step) << " from " << NumberStateName(from);
                ++refused;
            } else {
                EXPECT_EQ(after, it->second) << static_cast<int>(step) << " from " << NumberStateName(from);
            }
        }
    EXPECT_EQ(refused, 9 * 6 - 14);
    EXPECT_EQ(NumberMoves().size(), allowed.size());  // no row twice
    // A recorded number, or a failed chip's, is on a chip for good; only a returned one is handed out again.
    for (const auto& move : NumberMoves()) {
        EXPECT_NE(move.from, Recorded);
        EXPECT_NE(move.from, Failed);
        EXPECT_EQ(move.to == Reserved, move.from == Returned);
    }
}

TEST(NumberStates, StoredNamesReadBackAndNothingElseDoes) {
    for (auto state : {Reserved, Writing, Recorded, Returned, Settle, Failed})
        EXPECT_EQ(NumberStateFromName(NumberStateName(state)), state);
    EXPECT_EQ(NumberStateName(Settle), std::string("settle"));
    for (const char* other : {"", "Reserved", "to settle", "reserved "})
        EXPECT_FALSE(NumberStateFromName(other)) << other;
}

}  // namespace
