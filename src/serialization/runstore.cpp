#include "serialization/runstore.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "serialization/recordfile.h"
#include "serialization/sqlitefile.h"
#include "serialization/sqllink.h"
#include "serialization/storeschema.h"

namespace vx {

std::string SerialTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

bool RunStore::isServer(const std::string& path) {
    return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0;
}

std::string ShownStorePath(const std::string& path) {
    if (!RunStore::isServer(path))
        return path;
    // user:password@host -> user:***@host
    const auto authority = path.find("://") + 3;
    const auto at = path.find('@', authority), colon = path.find(':', authority);
    if (at == std::string::npos || colon == std::string::npos || colon > at || path.find('/', authority) < at)
        return path;
    return path.substr(0, colon + 1) + "***" + path.substr(at);
}

RunStore::RunStore(std::string path, std::unique_ptr<SqlLink> link, std::unique_ptr<FaultPoints> faults)
    : path_(std::move(path)), faults_(std::move(faults)), link_(std::move(link)), here_(ThisStation()) {}

RunStore::~RunStore() = default;

std::unique_ptr<RunStore> RunStore::open(const std::string& path, std::string& error, std::string* note,
                                         const StoreFaults& faults) {
    auto points = std::make_unique<FaultPoints>(faults);
    std::unique_ptr<SqlLink> link;
    if (isServer(path))
        link = OpenPostgresLink(path, *points, error);
    else
        link = OpenStoreFile(path, *points, error, note);
    if (!link || !CheckSchema(*link, error) || !link->configure(error)) {
        error = ShownStorePath(path) + ": " + error;
        return nullptr;
    }
    return std::unique_ptr<RunStore>(new RunStore(path, std::move(link), std::move(points)));
}

namespace {

bool CreateOnServer(const std::string& uri, const SerialRunSettings& settings, std::string& error) {
    FaultPoints none({});
    auto link = OpenPostgresLink(uri, none, error);
    if (!link)
        return false;
    Tx tx(*link);
    std::vector<SqlRow> tables, runs;
    if (!tx.begin(error) || !link->exec(link->tableSql(), {"vormex_meta"}, &tables, error))
        return false;
    if (tables.empty() ? !RunSchema(*link, error) : !CheckSchema(*link, error))
        return false;
    if (!link->exec("SELECT id FROM serial_run", {}, &runs, error))
        return false;
    if (!runs.empty()) {
        error = ShownStorePath(uri) + " にはすでに生産があります。";
        return false;
    }
    return InsertRun(*link, 1, settings, 0, error) && tx.commit(error);
}

}  // namespace

bool RunStore::create(const std::string& path, const SerialRunSettings& settings, std::string& error) {
    if (const auto why = CheckRunSettings(settings)) {
        error = *why;
        return false;
    }
    if (isServer(path))
        return CreateOnServer(path, settings, error);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        error = path + " はすでにあります。";
        return false;
    }
    return BuildStoreFile(
        path, [&settings](SqlLink& link, std::string& err) { return InsertRun(link, 1, settings, 0, err); }, false,
        error);
}

// The run and its rows in one statement, so that a server's concurrent
// commits never show rows beyond the next index read a moment before.
std::optional<SerialRunState> RunStore::current(std::string& error) {
    std::vector<SqlRow> rows;
    if (!link_->exec("SELECT r.id, r.mode, r.start_value, r.increment, r.quantity, r.address, r.bytes, r.next_index, "
                     "r.moved_to, n.idx, n.state, n.token, n.host, n.boot, n.pid, n.started FROM serial_run r "
                     "LEFT JOIN serial_number n ON n.run = r.id AND n.state <> 'recorded' "
                     "WHERE r.id = (SELECT MAX(id) FROM serial_run) ORDER BY n.idx",
                     {}, &rows, error))
        return std::nullopt;
    if (rows.empty() || rows[0].size() != 16) {
        error = Damaged("生産がありません");
        return std::nullopt;
    }
    auto state = RunFrom(rows[0], error);
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

bool RunStore::setState(const SerialReservation& r, const char* from, const char* to, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link_->exec(std::string("UPDATE serial_number SET state = $4 WHERE run = $1 AND idx = $2 AND token = $3 "
                                 "AND state IN (") + from + ") RETURNING idx",
                     {std::to_string(r.run), std::to_string(r.index), std::to_string(r.token), to}, &rows, error))
        return false;
    if (rows.empty()) {
        error = "シリアル番号 " + std::to_string(r.value) + " の予約が管理ファイルにありません。";
        return false;
    }
    return true;
}

// Numbers of stations that are gone: returned when the chip cannot hold
// them yet, else to settle. Judged on the rows as locked now; rows other
// transactions hold are left alone.
bool RunStore::reap(SerialRunState& state, std::string& error) {
    std::vector<SqlRow> rows;
    if (!link_->exec(std::string("SELECT ") + kNumberColumns +
                         " FROM serial_number WHERE run = $1 AND state IN ('reserved', 'writing') ORDER BY idx" +
                         link_->lockRowsSql(),
                     {std::to_string(state.run)}, &rows, error))
        return false;
    for (const auto& row : rows) {
        const auto now = row.size() == 7 ? HeldFrom(row, state.settings.quantity, error) : std::nullopt;
        if (!now)
            return false;
        if (now->station == here_ || link_->holderAlive(now->station, now->token, error))
            continue;
        const bool written = now->state == NumberState::Writing;
        if (!setState({state.run, now->index, now->token, 0, {}}, written ? "'writing'" : "'reserved'",
                      written ? "settle" : "returned", error))
            return false;
        const auto h = std::find_if(state.held.begin(), state.held.end(),
                                    [&](const HeldNumber& n) { return n.index == now->index; });
        if (h != state.held.end())
            h->state = written ? NumberState::Settle : NumberState::Returned;
    }
    return true;
}

std::optional<SerialRunState> RunStore::load(std::string& error, bool reap) {
    Tx tx(*link_);
    if (!reap)
        return current(error);
    if (!tx.begin(error))
        return std::nullopt;
    auto state = current(error);
    if (!state || !this->reap(*state, error) || !tx.commit(error))
        return std::nullopt;
    return state;
}

// Inside reserve's transaction: the lowest returned number, else the next
// new one; nullopt with no error when none is free.
std::optional<std::int64_t> RunStore::pick(const SerialRunState& state, const StationId& station, std::int64_t token,
                                           std::string& error) {
    const std::string run = std::to_string(state.run);
    std::vector<SqlRow> rows;
    if (!link_->exec(std::string("SELECT idx FROM serial_number WHERE run = $1 AND state = 'returned' "
                                 "ORDER BY idx LIMIT 1") + link_->lockRowsSql(),
                     {run}, &rows, error))
        return std::nullopt;
    const std::vector<std::string> owner = {std::to_string(token), station.host, station.boot,
                                            std::to_string(station.pid), std::to_string(station.started)};
    if (!rows.empty()) {
        const auto index = Decimal(rows[0].empty() ? std::nullopt : rows[0][0]);
        std::vector<std::string> params = {run, index ? std::to_string(*index) : "-1"};
        params.insert(params.end(), owner.begin(), owner.end());
        if (!index || !link_->exec("UPDATE serial_number SET state = 'reserved', token = $3, host = $4, boot = $5, "
                                   "pid = $6, started = $7 WHERE run = $1 AND idx = $2",
                                   params, nullptr, error))
            return std::nullopt;
        return index;
    }
    if (!link_->exec("UPDATE serial_run SET next_index = next_index + 1 WHERE id = $1 AND next_index < quantity "
                     "RETURNING next_index - 1",
                     {run}, &rows, error) ||
        rows.empty())
        return std::nullopt;
    const auto index = Decimal(rows[0].empty() ? std::nullopt : rows[0][0]);
    if (!index || *index < 0 || *index >= state.settings.quantity) {
        error = Damaged("next_index");
        return std::nullopt;
    }
    if (!InsertNumber(*link_, state.run, {*index, NumberState::Reserved, station, token}, error))
        return std::nullopt;
    return index;
}

RunStore::Taken RunStore::reserve(const StationId& station, const Check& check) {
    Taken t;
    Tx tx(*link_);
    // Not synced on its own: a reservation lost with the power was never
    // written (the durable "writing" step syncs it before the first word).
    if (!tx.begin(t.error, false))
        return t;
    auto state = current(t.error);
    if (!state || !reap(*state, t.error))
        return t;
    if (!state->movedTo.empty()) {
        t.error = "この生産は " + ShownStorePath(state->movedTo) + " に移されました。";
        return t;
    }
    // A station holds one number at a time: one left from before is given up.
    std::vector<std::int64_t> givenUp;
    for (auto& h : state->held) {
        const bool written = h.state == NumberState::Writing;
        if (h.station != station || (h.state != NumberState::Reserved && !written))
            continue;
        if (!setState({state->run, h.index, h.token, 0, {}}, written ? "'writing'" : "'reserved'",
                      written ? "settle" : "returned", t.error))
            return t;
        h.state = written ? NumberState::Settle : NumberState::Returned;
        givenUp.push_back(h.token);
    }
    if (const auto why = check ? check(state->settings) : std::nullopt) {
        t.result = Take::Refused;
        t.error = *why;
        return t;
    }
    const std::int64_t token = RandomToken();
    const auto index = pick(*state, station, token, t.error);
    if (!t.error.empty())
        return t;
    if (!index) {
        const bool out = state->count(NumberState::Reserved) + state->count(NumberState::Writing) > 0;
        t.result = out ? Take::AllOut : state->count(NumberState::Settle) > 0 ? Take::Unsettled : Take::Finished;
        return tx.commit(t.error) ? t : Taken{Take::Error, {}, t.error};
    }
    if (!link_->hold(token, t.error))
        return t;
    if (!tx.commit(t.error)) {
        link_->release(token);
        return t;
    }
    for (const auto given : givenUp)
        link_->release(given);
    t.result = Take::Reserved;
    t.reservation = {state->run, *index, token, SerialValueAt(state->settings, *index), state->settings};
    return t;
}

bool RunStore::markWriting(const SerialReservation& r, std::string& error) {
    Tx tx(*link_);
    if (!tx.begin(error) || !setState(r, "'reserved'", "writing", error) || !tx.commit(error))
        return false;
    faults_->writing();
    return true;
}

namespace {

bool Record(SqlLink& link, std::int64_t run, std::int64_t index, const std::string& path, const std::string& line,
            FaultPoints& faults, std::string& error, bool* appended = nullptr) {
    if (!link.exec("INSERT INTO serial_record (run, idx, line) VALUES ($1, $2, $3)",
                   {std::to_string(run), std::to_string(index), line}, nullptr, error))
        return false;
    if (path.empty())
        return true;
    if (!AppendRecord(path, line, faults, error))
        return false;
    if (appended)
        *appended = true;
    return true;
}

}  // namespace

bool RunStore::commit(const SerialReservation& r, const std::string& recordPath, const std::string& recordLine,
                      std::string& error, bool* appended) {
    Tx tx(*link_);
    CommitFaults armed(*faults_);
    if (!tx.begin(error))
        return false;
    // A number reaped to settle while its station lived is still this chip's.
    if (!setState(r, "'writing', 'settle'", "recorded", error)) {
        if (!AlreadyRecorded(*link_, r))
            return false;
        error.clear();
        link_->release(r.token);
        return true;
    }
    if (!Record(*link_, r.run, r.index, recordPath, recordLine, *faults_, error, appended) || !tx.commit(error))
        return false;
    link_->release(r.token);
    return true;
}

bool RunStore::giveBack(const SerialReservation& r, std::string& error) {
    Tx tx(*link_);
    if (!tx.begin(error))
        return false;
    // Already settled or taken back: nothing of it is left to give.
    if (!setState(r, "'reserved', 'writing', 'settle'", "returned", error))
        error.clear();
    else if (!tx.commit(error))
        return false;
    link_->release(r.token);
    return true;
}

bool RunStore::settle(std::int64_t value, bool used, const std::string& recordPath, const std::string& recordLine,
                      std::string& error) {
    Tx tx(*link_);
    if (!tx.begin(error))
        return false;
    auto state = current(error);
    if (!state || !reap(*state, error))
        return false;
    const auto index = SerialIndexOf(state->settings, value);
    const auto h = std::find_if(state->held.begin(), state->held.end(), [&](const HeldNumber& n) {
        return index && n.index == *index && n.state == NumberState::Settle;
    });
    if (h == state->held.end()) {
        error = "シリアル番号 " + std::to_string(value) + " は確認待ちの番号ではありません。";
        return false;
    }
    const SerialReservation r{state->run, h->index, h->token, value, state->settings};
    return setState(r, "'settle'", used ? "recorded" : "returned", error) &&
           (!used || Record(*link_, r.run, r.index, recordPath, recordLine, *faults_, error)) && tx.commit(error);
}

bool RunStore::startRun(const SerialRunSettings& settings, std::string& error) {
    if (const auto why = CheckRunSettings(settings)) {
        error = *why;
        return false;
    }
    Tx tx(*link_);
    std::vector<SqlRow> rows;
    if (!tx.begin(error) || !link_->exec("SELECT MAX(id) FROM serial_run", {}, &rows, error))
        return false;
    const auto last = rows.empty() || rows[0].empty() ? std::nullopt : Decimal(rows[0][0]);
    if (!last || *last < 0 || *last == INT64_MAX) {
        error = Damaged("生産の番号");
        return false;
    }
    return InsertRun(*link_, *last + 1, settings, 0, error) && tx.commit(error);
}

std::optional<std::vector<std::pair<std::int64_t, std::string>>> RunStore::records(std::string& error) {
    Records records;
    const auto state = current(error);
    if (!state || !ReadRecords(*link_, state->run, records, error))
        return std::nullopt;
    return records;
}

bool RunStore::moveRun(const std::string& target, std::string& error) {
    struct stat st {};
    if (isServer(target) || ::lstat(target.c_str(), &st) == 0) {
        error = isServer(target) ? "書出し先はファイルにしてください。" : target + " はすでにあります。";
        return false;
    }
    std::vector<HeldNumber> numbers;
    Records records;
    std::optional<SerialRunState> state;
    {
        // The run is closed here first: a crash before the new file stands leaves a gap, never two live copies.
        Tx tx(*link_);
        if (!tx.begin(error) || !(state = current(error)) || !reap(*state, error))
            return false;
        if (!state->movedTo.empty() || state->count(NumberState::Reserved) + state->count(NumberState::Writing) > 0) {
            error = state->movedTo.empty() ? "書込み中の IC があるため、生産を書き出せません。"
                                           : "この生産は " + ShownStorePath(state->movedTo) + " に移されました。";
            return false;
        }
        if (!ReadWholeRun(*link_, *state, numbers, records, error) ||
            !link_->exec("UPDATE serial_run SET moved_to = $2 WHERE id = $1", {std::to_string(state->run), target},
                         nullptr, error) ||
            !tx.commit(error))
            return false;
    }
    auto fill = [&](SqlLink& link, std::string& err) {
        bool ok = InsertRun(link, 1, state->settings, state->nextIndex, err);
        for (const auto& n : numbers)
            ok = ok && InsertNumber(link, 1, n, err);
        for (const auto& [index, line] : records)
            ok = ok && link.exec("INSERT INTO serial_record (run, idx, line) VALUES (1, $1, $2)",
                                 {std::to_string(index), line}, nullptr, err);
        return ok;
    };
    if (BuildStoreFile(target, fill, false, error))
        return true;
    std::string ignored;
    Tx undo(*link_);
    if (undo.begin(ignored) &&
        link_->exec("UPDATE serial_run SET moved_to = '' WHERE id = $1", {std::to_string(state->run)}, nullptr, ignored))
        undo.commit(ignored);
    return false;
}

}  // namespace vx
