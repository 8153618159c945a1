#include "serialization/storeschema.h"

#include "serialization/runstore.h"
#include "serialization/sqllink.h"

namespace vx {

namespace {

constexpr const char* kFormat = "vormex serial run";
constexpr std::int64_t kSchema = 1;
constexpr std::size_t kMaxName = 255;  // host name and boot id

const char* const kSchemaSql[] = {
    "CREATE TABLE vormex_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
    ("CREATE TABLE serial_run (id BIGINT PRIMARY KEY, mode TEXT NOT NULL, start_value BIGINT NOT NULL, "
     "increment BIGINT NOT NULL, quantity BIGINT NOT NULL, address BIGINT NOT NULL, bytes BIGINT NOT NULL, "
     "next_index BIGINT NOT NULL, created TEXT NOT NULL, moved_to TEXT NOT NULL)"),
    ("CREATE TABLE serial_number (run BIGINT NOT NULL, idx BIGINT NOT NULL, state TEXT NOT NULL, "
     "token BIGINT NOT NULL, host TEXT NOT NULL, boot TEXT NOT NULL, pid BIGINT NOT NULL, started BIGINT NOT NULL, "
     "PRIMARY KEY (run, idx))"),
    "CREATE INDEX serial_number_state ON serial_number (run, state, idx)",
    ("CREATE TABLE serial_record (run BIGINT NOT NULL, idx BIGINT NOT NULL, line TEXT NOT NULL, "
     "PRIMARY KEY (run, idx))"),
    "INSERT INTO vormex_meta (name, value) VALUES ('format', 'vormex serial run'), ('schema', '1')",
};

}  // namespace

const char* const kNotARun = "シリアル番号の管理ファイルではありません。";
const char* const kNumberColumns = "idx, state, token, host, boot, pid, started";

std::string Damaged(const std::string& why) { return "シリアル番号の管理ファイルが壊れています: " + why; }

// A stored number: decimal digits only, whatever the column's type.
std::optional<std::int64_t> Decimal(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 20 || text->find_first_not_of("-0123456789") != std::string::npos)
        return std::nullopt;
    return ParseSerialInteger(*text);
}

// A number row as stored: every field checked.
std::optional<HeldNumber> HeldFrom(const SqlRow& row, std::int64_t nextIndex, std::string& why) {
    const auto index = Decimal(row[0]), tok = Decimal(row[2]), pid = Decimal(row[5]), started = Decimal(row[6]);
    const auto state = StateFromName(row[1]);
    const bool names = row[3] && row[4] && row[3]->size() <= kMaxName && row[4]->size() <= kMaxName;
    if (!index || *index < 0 || *index >= nextIndex || !state || !tok || !names || !pid || *pid < 0 ||
        *pid > kMaxPid || !started || *started < 0) {
        why = Damaged("番号の行 " + row[0].value_or("?"));
        return std::nullopt;
    }
    return HeldNumber{*index, *state, {*row[3], *row[4], *pid, *started}, *tok};
}

std::optional<SerialRunState> RunFrom(const SqlRow& row, std::string& why) {
    SerialRunState state;
    SerialRunSettings& s = state.settings;
    const auto id = Decimal(row[0]), start = Decimal(row[2]), increment = Decimal(row[3]),
               quantity = Decimal(row[4]), address = Decimal(row[5]), bytes = Decimal(row[6]), next = Decimal(row[7]);
    const auto mode = row[1] ? SerialModeFromName(*row[1]) : std::nullopt;
    if (!id || !mode || !start || !increment || !quantity || !address || !bytes || *bytes < 1 || *bytes > 4 ||
        !next || !row[8] || row[8]->size() > 4096) {
        why = Damaged("生産の設定");
        return std::nullopt;
    }
    state.run = *id;
    s = {*mode, *start, *increment, *quantity, *address, static_cast<int>(*bytes)};
    if (const auto bad = CheckRunSettings(s)) {
        why = Damaged(*bad);
        return std::nullopt;
    }
    state.nextIndex = *next;
    if (state.nextIndex < 0 || state.nextIndex > s.quantity) {
        why = Damaged("next_index");
        return std::nullopt;
    }
    state.movedTo = *row[8];
    return state;
}

bool RunSchema(SqlLink& link, std::string& error) {
    for (const char* sql : kSchemaSql)
        if (!link.exec(sql, {}, nullptr, error))
            return false;
    return true;
}

bool InsertRun(SqlLink& link, std::int64_t id, const SerialRunSettings& s, std::int64_t next, std::string& error) {
    return link.exec("INSERT INTO serial_run (id, mode, start_value, increment, quantity, address, bytes, "
                     "next_index, created, moved_to) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, '')",
                     {std::to_string(id), SerialModeName(s.mode), std::to_string(s.start), std::to_string(s.increment),
                      std::to_string(s.quantity), std::to_string(s.address), std::to_string(s.bytes),
                      std::to_string(next), SerialTimeText()},
                     nullptr, error);
}

bool InsertNumber(SqlLink& link, std::int64_t run, const HeldNumber& n, std::string& error) {
    return link.exec("INSERT INTO serial_number (run, idx, state, token, host, boot, pid, started) "
                     "VALUES ($1, $2, $3, $4, $5, $6, $7, $8)",
                     {std::to_string(run), std::to_string(n.index), NumberStateName(n.state), std::to_string(n.token),
                      n.station.host, n.station.boot, std::to_string(n.station.pid), std::to_string(n.station.started)},
                     nullptr, error);
}

// The store's meta table says this is a run store of a schema this build knows.
bool CheckSchema(SqlLink& link, std::string& error) {
    std::vector<SqlRow> tables, rows;
    if (!link.exec(link.tableSql(), {"vormex_meta"}, &tables, error) ||
        (!tables.empty() && !link.exec("SELECT name, value FROM vormex_meta", {}, &rows, error))) {
        error = Damaged(error);
        return false;
    }
    std::optional<std::string> format, schema;
    for (const auto& row : rows) {
        if (row.size() == 2 && row[0] == std::optional<std::string>("format"))
            format = row[1];
        if (row.size() == 2 && row[0] == std::optional<std::string>("schema"))
            schema = row[1];
    }
    if (format != std::optional<std::string>(kFormat)) {
        error = kNotARun;
        return false;
    }
    const auto version = Decimal(schema);
    if (version && *version > kSchema) {
        error = "新しい版で作られたシリアル番号の管理ファイルです (形式 " + std::to_string(*version) +
                ")。この版では使えません。";
        return false;
    }
    if (!version || *version < 1) {
        error = Damaged("形式");
        return false;
    }
    return true;
}

// The chip of a commit whose reply was lost may be recorded already.
bool AlreadyRecorded(SqlLink& link, const SerialReservation& r) {
    std::vector<SqlRow> rows;
    std::string error;
    return link.exec("SELECT state FROM serial_number WHERE run = $1 AND idx = $2 AND token = $3",
                     {std::to_string(r.run), std::to_string(r.index), std::to_string(r.token)}, &rows, error) &&
           rows.size() == 1 && !rows[0].empty() && rows[0][0] == std::optional<std::string>("recorded");
}

bool ReadRecords(SqlLink& link, std::int64_t run, Records& records, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT idx, line FROM serial_record WHERE run = $1 ORDER BY idx", {std::to_string(run)}, &rows,
                   error))
        return false;
    for (const auto& row : rows) {
        const auto index = row.size() == 2 && row[1] ? Decimal(row[0]) : std::nullopt;
        if (!index) {
            error = Damaged("記録の行");
            return false;
        }
        records.emplace_back(*index, *row[1]);
    }
    return true;
}

// Every number row and record of a run, checked, to be copied.
bool ReadWholeRun(SqlLink& link, const SerialRunState& state, std::vector<HeldNumber>& numbers, Records& records,
                  std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec(std::string("SELECT ") + kNumberColumns + " FROM serial_number WHERE run = $1",
                   {std::to_string(state.run)}, &rows, error))
        return false;
    for (const auto& row : rows) {
        const auto held = row.size() == 7 ? HeldFrom(row, state.nextIndex, error) : std::nullopt;
        if (!held)
            return false;
        numbers.push_back(*held);
    }
    return ReadRecords(link, state.run, records, error);
}

}  // namespace vx
