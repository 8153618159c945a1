#include "serialization/storeschema.h"


namespace vx {

namespace {

constexpr const char* kFormat = "vormex serial run";
// 2: every number row holds its value, unique in its run.
// 3: the production record: a listed run's planned values, a row per chip.
constexpr std::int64_t kSchema = 3;
constexpr std::size_t kMaxName = 255;  // host name and boot id

const char* const kSchemaSql[] = {
    "CREATE TABLE vormex_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
    ("CREATE TABLE serial_run (id BIGINT PRIMARY KEY, mode TEXT NOT NULL, start_value BIGINT NOT NULL, "
     "increment BIGINT NOT NULL, quantity BIGINT NOT NULL, address BIGINT NOT NULL, bytes BIGINT NOT NULL, "
     "next_index BIGINT NOT NULL, created TEXT NOT NULL, moved_to TEXT NOT NULL)"),
    ("CREATE TABLE serial_number (run BIGINT NOT NULL, idx BIGINT NOT NULL, state TEXT NOT NULL, "
     "token BIGINT NOT NULL, host TEXT NOT NULL, boot TEXT NOT NULL, pid BIGINT NOT NULL, started BIGINT NOT NULL, "
     "value BIGINT NOT NULL, PRIMARY KEY (run, idx), UNIQUE (run, value))"),
    "CREATE INDEX serial_number_state ON serial_number (run, state, idx)",
    ("CREATE TABLE serial_record (run BIGINT NOT NULL, idx BIGINT NOT NULL, line TEXT NOT NULL, "
     "PRIMARY KEY (run, idx))"),
    "INSERT INTO vormex_meta (name, value) VALUES ('format', 'vormex serial run'), ('schema', '2')",
};

// From schema 1: each row's value as its run's settings say.
const char* const kToSchema2[] = {
    "ALTER TABLE serial_number ADD COLUMN value BIGINT",
    ("UPDATE serial_number SET value = (SELECT r.start_value + serial_number.idx * r.increment FROM serial_run r "
     "WHERE r.id = serial_number.run AND serial_number.idx >= 0 AND serial_number.idx < r.quantity)"),
    "CREATE UNIQUE INDEX serial_number_value ON serial_number (run, value)",
    "UPDATE vormex_meta SET value = '2' WHERE name = 'schema'",
};

// From schema 2: the production record's tables (runrows.h). A new store is
// made as schema 2 and brought here the same way.
const char* const kToSchema3[] = {
    "ALTER TABLE serial_run ADD COLUMN source TEXT NOT NULL DEFAULT 'arithmetic'",
    ("CREATE TABLE serial_plan (run BIGINT NOT NULL, idx BIGINT NOT NULL, value BIGINT NOT NULL, "
     "PRIMARY KEY (run, idx), UNIQUE (run, value))"),
    ("CREATE TABLE serial_chip (run BIGINT NOT NULL, chip BIGINT NOT NULL, at_ms BIGINT NOT NULL, "
     "host TEXT NOT NULL, user_name TEXT NOT NULL, operator_name TEXT NOT NULL, device TEXT NOT NULL, "
     "device_id BIGINT NOT NULL, calibration TEXT NOT NULL, band_gap TEXT NOT NULL, checksum TEXT NOT NULL, "
     "hex_sha256 TEXT NOT NULL, image_sha256 TEXT NOT NULL, serial BIGINT NOT NULL, passed BIGINT NOT NULL, "
     "ms BIGINT NOT NULL, failure TEXT NOT NULL, PRIMARY KEY (run, chip))"),
    "CREATE INDEX serial_chip_time ON serial_chip (run, at_ms, chip)",
    // Each station's counts, kept with its chips' rows: an operator's screen
    // reads a few rows, however many chips the run has made.
    ("CREATE TABLE serial_tally (run BIGINT NOT NULL, host TEXT NOT NULL, user_name TEXT NOT NULL, "
     "passed BIGINT NOT NULL, total BIGINT NOT NULL, PRIMARY KEY (run, host, user_name))"),
    "UPDATE vormex_meta SET value = '3' WHERE name = 'schema'",
};

template <std::size_t N>
bool ExecAll(SqlLink& link, const char* const (&statements)[N], std::string& error) {
    for (const char* sql : statements)
        if (!link.exec(sql, {}, nullptr, error))
            return false;
    return true;
}

const char* const kNumberColumns = "idx, state, token, host, boot, pid, started";

// A stored number: decimal digits only, whatever the column's type.
std::optional<std::int64_t> Decimal(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 20 || text->find_first_not_of("-0123456789") != std::string::npos)
        return std::nullopt;
    return ParseSerialInteger(*text);
}

// A number row as stored: every field checked.
std::optional<HeldNumber> HeldFrom(const SqlRow& row, std::int64_t nextIndex, std::string& why) {
    const auto index = Decimal(row[0]), tok = Decimal(row[2]), pid = Decimal(row[5]), started = Decimal(row[6]);
    const auto state = row[1] ? NumberStateFromName(*row[1]) : std::nullopt;
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

// A state as the statements name it: 'reserved'.
std::string Quoted(NumberState state) { return std::string("'") + NumberStateName(state) + "'"; }

// The states a step moves a number from: 'reserved', 'writing'.
std::string StatesBefore(NumberStep step) {
    std::string list;
    for (const auto& move : NumberMoves())
        if (move.step == step)
            list += (list.empty() ? "" : ", ") + Quoted(move.from);
    return list;
}

// Every row's value is the one its index has under the run's settings (a
// listed run's: its plan's): a hand-edited start or increment would hand a
// value out twice. Named: a value the run would hand out again, else the
// first that disagrees.
bool ValuesAgree(SqlLink& link, const SerialRunState& state, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT n.value FROM serial_number n JOIN serial_run r ON r.id = n.run WHERE n.run = $1 AND "
                   "(n.value IS NULL OR CASE WHEN n.idx < 0 OR n.idx >= r.quantity THEN 1 = 1 "
                   "WHEN r.source = 'arithmetic' THEN n.value <> r.start_value + n.idx * r.increment "
                   "ELSE NOT EXISTS (SELECT 1 FROM serial_plan p WHERE p.run = n.run AND p.idx = n.idx "
                   "AND p.value = n.value) END) ORDER BY n.idx",
                   {std::to_string(state.run)}, &rows, error))
        return false;
    if (rows.empty())
        return true;
    std::optional<std::int64_t> named;
    for (const auto& row : rows) {
        const auto value = row.empty() ? std::nullopt : Decimal(row[0]);
        if (value && (!named || SerialIndexOf(state.settings, *value))) {
            named = value;
            if (SerialIndexOf(state.settings, *value))
                break;
        }
    }
    error = Damaged(named ? "シリアル番号 " + std::to_string(*named) + " が生産の設定と合いません" : "番号の値");
    return false;
}

std::vector<std::string> OwnerParams(const HeldNumber& owner) {
    return {std::to_string(owner.token), owner.station.host, owner.station.boot, std::to_string(owner.station.pid),
            std::to_string(owner.station.started)};
}

}  // namespace

const char* const kNotARun = "シリアル番号の管理ファイルではありません。";

std::string Damaged(const std::string& why) { return "シリアル番号の管理ファイルが壊れています: " + why; }

std::optional<std::int64_t> StoredInteger(const std::optional<std::string>& text) { return Decimal(text); }

bool RunSchema(SqlLink& link, std::string& error) {
    return ExecAll(link, kSchemaSql, error) && ExecAll(link, kToSchema3, error);
}

bool InsertRun(SqlLink& link, std::int64_t id, const SerialRunSettings& s, std::int64_t next, const std::string& created,
               std::string& error) {
    return link.exec("INSERT INTO serial_run (id, mode, start_value, increment, quantity, address, bytes, "
                     "next_index, created, moved_to, source) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, '', $10)",
                     {std::to_string(id), SerialModeName(s.mode), std::to_string(s.start), std::to_string(s.increment),
                      std::to_string(s.quantity), std::to_string(s.address), std::to_string(s.bytes),
                      std::to_string(next), created, SerialSourceName(s.source)},
                     nullptr, error);
}

bool InsertNumber(SqlLink& link, std::int64_t run, const SerialRunSettings& settings, const HeldNumber& n,
                  std::string& error) {
    // A listed run's value is its plan's; an arithmetic run has no plan rows.
    return link.exec("INSERT INTO serial_number (run, idx, state, token, host, boot, pid, started, value) "
                     "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, "
                     "COALESCE((SELECT p.value FROM serial_plan p WHERE p.run = $1 AND p.idx = $2), $9))",
                     {std::to_string(run), std::to_string(n.index), NumberStateName(n.state), std::to_string(n.token),
                      n.station.host, n.station.boot, std::to_string(n.station.pid), std::to_string(n.station.started),
                      std::to_string(SerialValueAt(settings, n.index))},
                     nullptr, error);
}

bool CheckSchema(SqlLink& link, std::string& error, std::int64_t* found) {
    std::vector<SqlRow> tables, rows;
    if (!link.exec(link.tableSql(), {"vormex_meta"}, &tables, error) ||
        (!tables.empty() && !link.exec("SELECT name, value FROM vormex_meta", {}, &rows, error))) {
        if (!IsRoomError(error))
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
    if (found)
        *found = *version;
    return true;
}

bool UpgradeSchema(SqlLink& link, std::string& error, bool* upgraded) {
    Tx tx(link);
    std::int64_t version = 0;
    // The update takes the row first, so a second station waits here and
    // then reads the schema the first one left.
    if (!tx.begin(error) ||
        !link.exec("UPDATE vormex_meta SET value = value WHERE name = 'schema'", {}, nullptr, error) ||
        !CheckSchema(link, error, &version))
        return false;
    if (version == kSchema)
        return true;  // another station was first
    if ((version < 2 && !ExecAll(link, kToSchema2, error)) || !ExecAll(link, kToSchema3, error) || !tx.commit(error))
        return false;
    if (upgraded)
        *upgraded = true;
    return true;
}

bool SchemaCurrent(SqlLink& link, std::string& error, bool* upgraded) {
    std::int64_t version = 0;
    if (!CheckSchema(link, error, &version))
        return false;
    // A server's station that upgraded at the same moment makes this one's fail.
    std::string again;
    return version == kSchema || UpgradeSchema(link, error, upgraded) ||
           (CheckSchema(link, again, &version) && version == kSchema);
}

bool ServerSchema(SqlLink& link, std::string& error) {
    std::vector<SqlRow> tables;
    if (!link.exec(link.tableSql(), {"vormex_meta"}, &tables, error))
        return false;
    return tables.empty() ? RunSchema(link, error) : CheckSchema(link, error);
}

// The run and its rows in one statement, so that a server's concurrent
// commits never show rows beyond the next index read a moment before.
std::optional<SerialRunState> ReadCurrentRun(SqlLink& link, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT r.id, r.mode, r.start_value, r.increment, r.quantity, r.address, r.bytes, r.next_index, "
                   "r.moved_to, n.idx, n.state, n.token, n.host, n.boot, n.pid, n.started FROM serial_run r "
                   "LEFT JOIN serial_number n ON n.run = r.id AND n.state <> " +
                       Quoted(NumberState::Recorded) + " WHERE r.id = (SELECT MAX(id) FROM serial_run) ORDER BY n.idx",
                   {}, &rows, error))
        return std::nullopt;
    if (rows.empty() || rows[0].size() != 16) {
        error = Damaged("生産がありません");
        return std::nullopt;
    }
    auto state = RunFrom(rows[0], error);
    if (state && !ValuesAgree(link, *state, error))
        return std::nullopt;
    for (std::size_t i = 0; state && i < rows.size() && rows[i][9]; ++i) {
        const SqlRow numbers(rows[i].begin() + 9, rows[i].end());
        auto held = HeldFrom(numbers, state->nextIndex, error);
        if (held && (held->state == NumberState::Recorded ||
                     (!state->held.empty() && state->held.back().index >= held->index))) {
            error = Damaged("番号の行 " + std::to_string(held->index));
            held.reset();
        }
        if (!held)
            return std::nullopt;
        state->held.push_back(*held);
    }
    return state;
}

std::optional<std::int64_t> LastRunId(SqlLink& link, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT MAX(id) FROM serial_run", {}, &rows, error))
        return std::nullopt;
    const auto last = rows.empty() || rows[0].empty() ? std::nullopt : Decimal(rows[0][0]);
    if (!last || *last < 0 || *last == INT64_MAX) {
        error = Damaged("生産の番号");
        return std::nullopt;
    }
    return last;
}

std::optional<bool> AnyRun(SqlLink& link, std::string& error) {
    std::vector<SqlRow> runs;
    if (!link.exec("SELECT id FROM serial_run", {}, &runs, error))
        return std::nullopt;
    return !runs.empty();
}

bool InsertRecord(SqlLink& link, std::int64_t run, std::int64_t index, const std::string& line, std::string& error) {
    return link.exec("INSERT INTO serial_record (run, idx, line) VALUES ($1, $2, $3)",
                     {std::to_string(run), std::to_string(index), line}, nullptr, error);
}

std::optional<bool> MoveNumber(SqlLink& link, std::int64_t run, std::int64_t index, std::int64_t token,
                               NumberStep step, std::string& error) {
    std::string cases;
    for (const auto& move : NumberMoves())
        if (move.step == step)
            cases += " WHEN " + Quoted(move.from) + " THEN " + Quoted(move.to);
    std::vector<SqlRow> rows;
    if (!link.exec("UPDATE serial_number SET state = CASE state" + cases +
                       " END WHERE run = $1 AND idx = $2 AND token = $3 AND state IN (" + StatesBefore(step) +
                       ") RETURNING idx",
                   {std::to_string(run), std::to_string(index), std::to_string(token)}, &rows, error))
        return std::nullopt;
    return !rows.empty();
}

std::optional<std::vector<HeldNumber>> ReadOutNumbers(SqlLink& link, const SerialRunState& state, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec(std::string("SELECT ") + kNumberColumns + " FROM serial_number WHERE run = $1 AND state IN (" +
                       StatesBefore(NumberStep::Abandon) + ") ORDER BY idx" + link.lockRowsSql(),
                   {std::to_string(state.run)}, &rows, error))
        return std::nullopt;
    std::vector<HeldNumber> out;
    for (const auto& row : rows) {
        const auto held = row.size() == 7 ? HeldFrom(row, state.settings.quantity, error) : std::nullopt;
        if (!held)
            return std::nullopt;
        out.push_back(*held);
    }
    return out;
}

bool RetakeLowest(SqlLink& link, std::int64_t run, const HeldNumber& owner, std::optional<std::int64_t>& index,
                  std::string& error) {
    index.reset();
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT idx FROM serial_number WHERE run = $1 AND state = " + Quoted(NumberState::Returned) +
                       " ORDER BY idx LIMIT 1" + link.lockRowsSql(),
                   {std::to_string(run)}, &rows, error))
        return false;
    if (rows.empty())
        return true;
    const auto taken = Decimal(rows[0].empty() ? std::nullopt : rows[0][0]);
    if (!taken) {
        error = Damaged("番号の行");
        return false;
    }
    std::vector<std::string> params = {std::to_string(run), std::to_string(*taken)};
    const auto who = OwnerParams(owner);
    params.insert(params.end(), who.begin(), who.end());
    if (!link.exec("UPDATE serial_number SET state = " +
                                 Quoted(*NumberAfter(NumberStep::Retake, NumberState::Returned)) +
                                 ", token = $3, host = $4, boot = $5, pid = $6, started = $7 WHERE run = $1 AND idx = $2",
                             params, nullptr, error))
        return false;
    index = taken;
    return true;
}

bool TakeNextIndex(SqlLink& link, const SerialRunState& state, const HeldNumber& owner,
                   std::optional<std::int64_t>& index, std::string& error) {
    index.reset();
    std::vector<SqlRow> rows;
    if (!link.exec("UPDATE serial_run SET next_index = next_index + 1 WHERE id = $1 AND next_index < quantity "
                   "AND moved_to = '' RETURNING next_index - 1",
                   {std::to_string(state.run)}, &rows, error))
        return false;
    if (rows.empty())
        return true;
    const auto taken = Decimal(rows[0].empty() ? std::nullopt : rows[0][0]);
    if (!taken || *taken < 0 || *taken >= state.settings.quantity) {
        error = Damaged("next_index");
        return false;
    }
    HeldNumber number = owner;
    number.index = *taken;
    number.state = NumberState::Reserved;
    if (!InsertNumber(link, state.run, state.settings, number, error))
        return false;
    index = taken;
    return true;
}

bool IsRecorded(SqlLink& link, std::int64_t run, std::int64_t index, std::int64_t token) {
    std::vector<SqlRow> rows;
    std::string error;
    return link.exec("SELECT state FROM serial_number WHERE run = $1 AND idx = $2 AND token = $3",
                     {std::to_string(run), std::to_string(index), std::to_string(token)}, &rows, error) &&
           rows.size() == 1 && !rows[0].empty() &&
           rows[0][0] == std::optional<std::string>(NumberStateName(NumberState::Recorded));
}

std::optional<std::string> LockCurrentRun(SqlLink& link, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link.exec("UPDATE serial_run SET moved_to = moved_to WHERE id = (SELECT MAX(id) FROM serial_run) "
                   "RETURNING moved_to",
                   {}, &rows, error))
        return std::nullopt;
    if (rows.size() != 1 || rows[0].empty() || !rows[0][0]) {
        error = Damaged("生産がありません");
        return std::nullopt;
    }
    return *rows[0][0];
}

bool SetMovedTo(SqlLink& link, std::int64_t run, const std::string& target, std::string& error) {
    return link.exec("UPDATE serial_run SET moved_to = $2 WHERE id = $1", {std::to_string(run), target}, nullptr,
                     error);
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
