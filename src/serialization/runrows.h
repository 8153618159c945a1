// The run store's tables of the production record (schema 3): a listed
// run's planned values, kept whole from its creation, and one row per chip
// attempted, with each station's counts. The tables are made with the
// others (storeschema.h); every statement that reads or writes them is
// here, and every field read back is checked as input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serialization/report.h"
#include "serialization/runstate.h"
#include "serialization/sqllink.h"

namespace vx {

// A listed run's values, by index (the store refuses a value twice).
bool InsertPlan(SqlLink& link, std::int64_t run, const std::vector<std::int64_t>& values, std::string& error);
// The run's source, and the planned values of the indexes the state refers to.
bool ReadListedValues(SqlLink& link, SerialRunState& state, std::string& error);
// One planned value; nullopt with the reason when the run has none there.
std::optional<std::int64_t> PlannedValue(SqlLink& link, const SerialRunState& state, std::int64_t index,
                                         std::string& error);
// Every planned value by index (an arithmetic run's computed).
std::optional<std::vector<std::int64_t>> ReadPlan(SqlLink& link, const SerialRunState& state, std::string& error);

// One chip attempted, started at atMs (milliseconds since the epoch, UTC:
// the chip's `at` to the millisecond, which orders the chips); key: its
// reservation's token.
bool InsertChip(SqlLink& link, std::int64_t run, std::int64_t key, std::int64_t atMs, const ChipRecord& chip,
                std::string& error);
// The run's chips in the order they were started; the last `limit` (by
// then newest first) when limit > 0.
std::optional<std::vector<ChipRecord>> ReadChips(SqlLink& link, std::int64_t run, int limit, std::string& error);

struct ChipCount {
    std::int64_t passed = 0, total = 0;
};
// The run's chips counted; of one station (host and user) when host is given.
std::optional<ChipCount> CountChips(SqlLink& link, std::int64_t run, const std::string* host, const std::string* user,
                                    std::string& error);

}  // namespace vx
