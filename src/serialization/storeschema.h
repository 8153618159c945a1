// The run store's schema and its rows: the one place that knows the
// tables. Every statement both databases run is here, and every field read
// back is checked as input; the states in the statements are the names of
// the state table (runstate.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serialization/runstate.h"
#include "serialization/sqllink.h"

namespace vx {

extern const char* const kNotARun;
std::string Damaged(const std::string& why);
// A stored whole number: decimal digits only, whatever the column's type.
std::optional<std::int64_t> StoredInteger(const std::optional<std::string>& text);

// Creates the tables of an empty store.
bool RunSchema(SqlLink& link, std::string& error);
// The store's meta table says this is a run store of a schema this build
// knows (found: its version).
bool CheckSchema(SqlLink& link, std::string& error, std::int64_t* found = nullptr);
// A store of an earlier schema brought to this one, in one transaction
// (upgraded: this call did it).
bool SchemaCurrent(SqlLink& link, std::string& error, bool* upgraded = nullptr);
// A server's database: the tables made when it has none, else checked.
bool ServerSchema(SqlLink& link, std::string& error);

// The current run and its rows not recorded, by index; nullopt with the
// reason when anything is damaged.
std::optional<SerialRunState> ReadCurrentRun(SqlLink& link, std::string& error);
// The highest run id; nullopt (damaged) when there is none.
std::optional<std::int64_t> LastRunId(SqlLink& link, std::string& error);
// Whether the store holds any run.
std::optional<bool> AnyRun(SqlLink& link, std::string& error);

bool InsertRun(SqlLink& link, std::int64_t id, const SerialRunSettings& settings, std::int64_t next,
               const std::string& created, std::string& error);
bool InsertNumber(SqlLink& link, std::int64_t run, const SerialRunSettings& settings, const HeldNumber& number,
                  std::string& error);
bool InsertRecord(SqlLink& link, std::int64_t run, std::int64_t index, const std::string& line, std::string& error);

// The numbers a step moves, as the state table says; false: no row of
// that reservation in a state the step moves from; nullopt: the reason.
std::optional<bool> MoveNumber(SqlLink& link, std::int64_t run, std::int64_t index, std::int64_t token,
                               NumberStep step, std::string& error);
// The numbers out with stations (those a gone station abandons), locked
// for this transaction where the database locks rows.
std::optional<std::vector<HeldNumber>> ReadOutNumbers(SqlLink& link, const SerialRunState& state, std::string& error);
// The lowest returned number taken for `owner`; none when none is returned.
bool RetakeLowest(SqlLink& link, std::int64_t run, const HeldNumber& owner, std::optional<std::int64_t>& index,
                  std::string& error);
// The next index never handed out, taken for `owner`; none when the run has
// handed out its quantity.
bool TakeNextIndex(SqlLink& link, const SerialRunState& state, const HeldNumber& owner,
                   std::optional<std::int64_t>& index, std::string& error);
// Whether the reservation's number is recorded (a commit whose reply was lost).
bool IsRecorded(SqlLink& link, std::int64_t run, std::int64_t index, std::int64_t token);
// The current run's row locked until the transaction ends (a server's
// other transactions wait for it), and where it was moved ("" when not).
std::optional<std::string> LockCurrentRun(SqlLink& link, std::string& error);
bool SetMovedTo(SqlLink& link, std::int64_t run, const std::string& target, std::string& error);

using Records = std::vector<std::pair<std::int64_t, std::string>>;
bool ReadRecords(SqlLink& link, std::int64_t run, Records& records, std::string& error);
// Every number row and record of a run, checked, to be copied.
bool ReadWholeRun(SqlLink& link, const SerialRunState& state, std::vector<HeldNumber>& numbers, Records& records,
                  std::string& error);

}  // namespace vx
