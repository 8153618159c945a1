// A run's numbers as the store keeps them: their states, every move a
// number may make, and the run's state as one transaction read it.
//
// A number moves
//
//     (never used) -> reserved -> writing -> recorded | failed
//                        |           |
//                        v           v
//                     returned    to settle -> recorded | returned | failed
//
// A reservation whose station is gone goes back to the pool (returned);
// one whose chip may hold the number (writing) is never handed out again
// until an operator settles it: a gap is always better than a duplicate.
// A failed chip read back holding its number keeps it (failed): that
// number is used up like a recorded one, without a record.
// Returned numbers are handed out again first, lowest first.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serialization/production.h"
#include "serialization/stationid.h"

namespace vx {

enum class NumberState { Reserved, Writing, Recorded, Returned, Settle, Failed };
const char* NumberStateName(NumberState state);  // as stored: "reserved", ..., "failed"
std::optional<NumberState> NumberStateFromName(const std::string& name);

// What a transaction does to a number that has a row (a number never used
// gets its row, reserved, when it is first handed out).
enum class NumberStep {
    Retake,      // a returned number handed out again
    Write,       // its chip's write begins
    Record,      // its chip passed (to settle: reaped while its station lived)
    GiveBack,    // its chip failed without its number (read back, or before it was sent)
    Spoil,       // its chip failed holding its number (read back)
    Unknown,     // its chip failed and could not be read back
    Abandon,     // its station is gone, or reserves anew
    SettleUsed,  // an operator's word: a chip holds it
    SettleFree,  // an operator's word: no chip holds it
};
struct NumberMove {
    NumberStep step;
    NumberState from;
    NumberState to;
};
// Every move a number may make; the store refuses any other.
std::span<const NumberMove> NumberMoves();
// The state a step leaves a number of state `from` in; nullopt: refused.
std::optional<NumberState> NumberAfter(NumberStep step, NumberState from);

// A new reservation's name: random, positive.
std::int64_t RandomToken();

// A number the store keeps a row for (recorded numbers of a converted text
// run have none: every index below next without a row was recorded).
struct HeldNumber {
    std::int64_t index = 0;
    NumberState state = NumberState::Reserved;
    StationId station;
    std::int64_t token = 0;  // names the reservation (and its lock on PostgreSQL)
};

// The current run of a store.
struct SerialRunState {
    std::int64_t run = 0;  // its id; earlier runs stay in the store's history
    SerialRunSettings settings;
    std::int64_t nextIndex = 0;    // first index never handed out
    std::vector<HeldNumber> held;  // by index
    std::string movedTo;           // the window moved the run into another STATEFILE
    // A listed run's values of the indexes above (held ones and the next).
    std::map<std::int64_t, std::int64_t> planned;

    // The value of an index; -1 when the state does not know it.
    std::int64_t valueAt(std::int64_t index) const;

    std::int64_t count(NumberState state) const;
    std::int64_t recorded() const;  // rows recorded, and converted ones
    std::vector<std::int64_t> values(NumberState state) const;
    // The value the next reservation takes; nullopt when none is free.
    std::optional<std::int64_t> nextValue() const;
    // Numbers are left to hand out, are out, or wait to be settled.
    bool inProgress() const;
};

}  // namespace vx
