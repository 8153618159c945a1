// A run's numbers as the store keeps them: their states, and the run's
// state read in one transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serialization/production.h"
#include "serialization/stationid.h"

namespace vx {

enum class NumberState { Reserved, Writing, Recorded, Returned, Settle };
const char* NumberStateName(NumberState state);  // as stored: "reserved", ..., "settle"
std::optional<NumberState> StateFromName(const std::optional<std::string>& name);
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

    std::int64_t count(NumberState state) const;
    std::int64_t recorded() const;  // rows recorded, and converted ones
    std::vector<std::int64_t> values(NumberState state) const;
    // The value the next reservation takes; nullopt when none is free.
    std::optional<std::int64_t> nextValue() const;
    // Numbers are left to hand out, are out, or wait to be settled.
    bool inProgress() const;
};

}  // namespace vx
