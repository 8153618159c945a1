// The run store's schema and its rows: the tables, the format check, and
// every row read or written, each field checked as input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serialization/runstate.h"
#include "serialization/sqllink.h"

namespace vx {

struct SerialReservation;

extern const char* const kNotARun;
extern const char* const kNumberColumns;

std::string Damaged(const std::string& why);
// A stored number: decimal digits only, whatever the column's type.
std::optional<std::int64_t> Decimal(const std::optional<std::string>& text);
std::optional<HeldNumber> HeldFrom(const SqlRow& row, std::int64_t nextIndex, std::string& why);
std::optional<SerialRunState> RunFrom(const SqlRow& row, std::string& why);
bool RunSchema(SqlLink& link, std::string& error);
bool InsertRun(SqlLink& link, std::int64_t id, const SerialRunSettings& s, std::int64_t next, std::string& error);
bool InsertNumber(SqlLink& link, std::int64_t run, const HeldNumber& n, std::string& error);
bool CheckSchema(SqlLink& link, std::string& error);
bool AlreadyRecorded(SqlLink& link, const SerialReservation& r);

using Records = std::vector<std::pair<std::int64_t, std::string>>;
bool ReadRecords(SqlLink& link, std::int64_t run, Records& records, std::string& error);
bool ReadWholeRun(SqlLink& link, const SerialRunState& state, std::vector<HeldNumber>& numbers, Records& records,
                  std::string& error);

}  // namespace vx
