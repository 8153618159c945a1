#include "serialization/runstore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "serialization/numberlist.h"
#include "serialization/recordfile.h"
#include "serialization/runrows.h"
#include "serialization/sqlitefile.h"
#include "serialization/sqllink.h"
#include "serialization/storeschema.h"

namespace vx {

bool RunStore::isServer(const std::string& path) {
    return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0;
}

std::string ShownStorePath(const std::string& path) {
    if (!RunStore::isServer(path))
        return path;
    std::string shown = path;
    // user:password@host -> user:***@host
    const auto authority = shown.find("://") + 3;
    const auto at = shown.find('@', authority), colon = shown.find(':', authority);
    if (at != std::string::npos && colon != std::string::npos && colon < at && shown.find('/', authority) > at)
        shown = shown.substr(0, colon + 1) + "***" + shown.substr(at);
    // ?password=secret&... -> ?password=***&...
    for (auto key = shown.find('?'); key != std::string::npos; key = shown.find('&', key + 1))
        if (shown.compare(key + 1, 9, "password=") == 0) {
            const auto value = key + 10, end = std::min(shown.find('&', value), shown.size());
            shown.replace(value, end - value, "***");
        }
    return shown;
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
    bool upgraded = false;
    if (!link || !CheckSchema(*link, error) || !link->configure(error) ||
        (!link->readOnly() && !SchemaCurrent(*link, error, &upgraded))) {
        error = ShownStorePath(path) + ": " + error;
        return nullptr;
    }
    if (upgraded && note)
        *note = "シリアル番号の管理ファイル " + ShownStorePath(path) + " を新しい形式にしました。";
    if (!isServer(path) && !link->readOnly())
        for (const char* beside : {"-wal", "-shm"})
            ShareLike(path + beside, path);
    return std::unique_ptr<RunStore>(new RunStore(path, std::move(link), std::move(points)));
}

namespace {

// A run's row, and a listed run's values.
bool InsertPlannedRun(SqlLink& link, std::int64_t id, const SerialRunSettings& settings,
                      const std::vector<std::int64_t>& planned, std::string& error) {
    return InsertRun(link, id, settings, 0, SerialTimeText(), error) && InsertPlan(link, id, planned, error);
}

bool CreateOnServer(const std::string& uri, const SerialRunSettings& settings, const std::vector<std::int64_t>& planned,
                    std::string& error) {
    FaultPoints none({});
    auto link = OpenPostgresLink(uri, none, error);
    if (!link)
        return false;
    Tx tx(*link);
    if (!tx.begin(error) || !ServerSchema(*link, error))
        return false;
    const auto any = AnyRun(*link, error);
    if (!any)
        return false;
    if (*any) {
        error = ShownStorePath(uri) + " にはすでに生産があります。";
        return false;
    }
    return InsertPlannedRun(*link, 1, settings, planned, error) && tx.commit(error);
}

// The plan fits the run: one value per chip for a listed run, none else
// (values twice the store itself refuses).
std::optional<std::string> CheckPlan(const SerialRunSettings& settings, const std::vector<std::int64_t>& planned) {
    if (const auto why = CheckRunSettings(settings))
        return why;
    const bool listed = settings.source != SerialSource::Arithmetic;
    if (listed ? static_cast<std::int64_t>(planned.size()) != settings.quantity || settings.start != 0 ||
                     settings.increment != 1 || settings.quantity > kMaxPlannedValues
               : !planned.empty())
        return std::string("予定のシリアル値の数が数量と合いません。");
    const std::int64_t top = (std::int64_t{1} << (8 * settings.bytes)) - 1;
    for (const auto value : planned)
        if (value < 0 || value > top)
            return "シリアル値 " + std::to_string(value) + " が書込みバイト数 " + std::to_string(settings.bytes) +
                   " バイトに収まりません。";
    return std::nullopt;
}

// The chip's row, when there is one, with the reservation's number.
bool KeepAttempt(SqlLink& link, const SerialReservation& r, const ChipAttempt* attempt, std::string& error) {
    if (!attempt)
        return true;
    ChipRecord chip = attempt->chip;
    chip.serial = r.value;
    return InsertChip(link, r.run, r.token, attempt->atMs, chip, error);
}

// The record row, and its line appended to the production record (path);
// a record made here takes the group and mode of the store file (like).
bool Record(SqlLink& link, std::int64_t run, std::int64_t index, const std::string& path, const std::string& line,
            const std::string& like, FaultPoints& faults, std::string& error, bool* appended = nullptr) {
    if (!InsertRecord(link, run, index, line, error))
        return false;
    if (path.empty())
        return true;
    if (!AppendRecord(path, line, faults, error, like))
        return false;
    if (appended)
        *appended = true;
    return true;
}

}  // namespace

bool RunStore::create(const std::string& path, const SerialRunSettings& settings, std::string& error,
                      const std::vector<std::int64_t>& planned) {
    if (const auto why = CheckPlan(settings, planned)) {
        error = *why;
        return false;
    }
    if (isServer(path))
        return CreateOnServer(path, settings, planned, error);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        error = path + " はすでにあります。";
        return false;
    }
    return BuildStoreFile(
        path,
        [&](SqlLink& link, std::string& err) { return InsertPlannedRun(link, 1, settings, planned, err); },
        false, error);
}

std::optional<SerialRunState> RunStore::current(std::string& error) {
    auto state = ReadCurrentRun(*link_, error);
    if (state && !ReadListedValues(*link_, *state, error))
        return std::nullopt;
    return state;
}

bool RunStore::readOnly() const { return link_->readOnly(); }

std::string RunStore::shareLike() const { return isServer(path_) ? "" : path_; }

std::optional<std::string> RunStore::noRoom(const std::string& recordPath) const {
    if (isServer(path_))
        return NoRoomToRecord({recordPath});
    return NoRoomToRecord({path_, path_ + "-wal", path_ + "-shm", recordPath});
}

bool RunStore::move(const SerialReservation& r, NumberStep step, std::string& error) {
    const auto moved = MoveNumber(*link_, r.run, r.index, r.token, step, error);
    if (moved && !*moved)
        error = "シリアル番号 " + std::to_string(r.value) + " の予約が管理ファイルにありません。";
    return moved.value_or(false);
}

// A number whose station is gone, or reserves anew: returned when its chip
// cannot hold it yet, else to settle.
bool RunStore::abandon(SerialRunState& state, const HeldNumber& number, std::string& error) {
    const auto after = NumberAfter(NumberStep::Abandon, number.state);
    if (!after || !move({state.run, number.index, number.token, 0, {}}, NumberStep::Abandon, error))
        return false;
    for (auto& h : state.held)
        if (h.index == number.index)
            h.state = *after;
    return true;
}

// Numbers of stations that are gone, judged on the rows as locked now;
// rows other transactions hold are left alone.
bool RunStore::reap(SerialRunState& state, std::string& error) {
    const auto out = ReadOutNumbers(*link_, state, error);
    if (!out)
        return false;
    for (const auto& number : *out)
        if (number.station != here_ && !link_->holderAlive(number.station, number.token, error) &&
            !abandon(state, number, error))
            return false;
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
    const HeldNumber owner{0, NumberState::Reserved, station, token};
    std::optional<std::int64_t> index;
    if (!RetakeLowest(*link_, state.run, owner, index, error))
        return std::nullopt;
    if (!index && !TakeNextIndex(*link_, state, owner, index, error))
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
    // The run's row first: an export of the run waits, or is seen whole.
    if (!LockCurrentRun(*link_, t.error))
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
    for (const auto& h : state->held) {
        if (h.station != station || !NumberAfter(NumberStep::Abandon, h.state))
            continue;
        if (!abandon(*state, h, t.error))
            return t;
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
    const auto value = PlannedValue(*link_, *state, *index, t.error);
    if (!value || !link_->hold(token, t.error))
        return t;
    if (!tx.commit(t.error)) {
        link_->release(token);
        return t;
    }
    for (const auto given : givenUp)
        link_->release(given);
    t.result = Take::Reserved;
    t.reservation = {state->run, *index, token, *value, state->settings};
    return t;
}

bool RunStore::markWriting(const SerialReservation& r, std::string& error) {
    Tx tx(*link_);
    if (!tx.begin(error) || !move(r, NumberStep::Write, error) || !tx.commit(error))
        return false;
    faults_->writing();
    return true;
}

bool RunStore::commit(const SerialReservation& r, const std::string& recordPath, const std::string& recordLine,
                      std::string& error, bool* appended, const ChipAttempt* attempt) {
    Tx tx(*link_);
    CommitFaults armed(*faults_);
    if (!tx.begin(error))
        return false;
    if (!move(r, NumberStep::Record, error)) {
        // The chip of a commit whose reply was lost may be recorded already.
        if (!IsRecorded(*link_, r.run, r.index, r.token))
            return false;
        error.clear();
        link_->release(r.token);
        return true;
    }
    if (!KeepAttempt(*link_, r, attempt, error) ||
        !Record(*link_, r.run, r.index, recordPath, recordLine, shareLike(), *faults_, error, appended) ||
        !tx.commit(error))
        return false;
    link_->release(r.token);
    return true;
}

bool RunStore::giveBack(const SerialReservation& r, std::string& error, NumberStep step,
                        const ChipAttempt* attempt) {
    Tx tx(*link_);
    if (!tx.begin(error))
        return false;
    // Already settled or taken back: nothing of it is left to give, but the
    // chip's row is kept. A failed update is no such thing: the number stays
    // the station's to give back.
    const auto moved = MoveNumber(*link_, r.run, r.index, r.token, step, error);
    if (!moved || ((*moved || attempt) && (!KeepAttempt(*link_, r, attempt, error) || !tx.commit(error))))
        return false;
    link_->release(r.token);
    return true;
}

bool RunStore::settle(std::int64_t value, bool used, const std::string& recordPath, const std::string& recordLine,
                      std::string& error, const std::string& goneHost) {
    Tx tx(*link_);
    if (!tx.begin(error))
        return false;
    auto state = current(error);
    if (!state || !reap(*state, error))
        return false;
    const auto h = std::find_if(state->held.begin(), state->held.end(),
                                [&](const HeldNumber& n) { return state->valueAt(n.index) == value; });
    // On SQLite a station of another machine is that machine's to judge,
    // unless the operator, naming it, says it is gone (a server judges all).
    if (h != state->held.end() && h->state == NumberState::Writing && !isServer(path_) &&
        StationAlive(h->station, here_) == true) {
        const std::string who = h->station.host + " (process " + std::to_string(h->station.pid) + ")";
        if (goneHost != h->station.host) {
            error = "シリアル番号 " + std::to_string(value) + " は別の PC のステーション " + who +
                    " が書込み中です。そのステーションが止まっていれば、--station-gone " + h->station.host +
                    " を付けて確かめてください。";
            return false;
        }
        if (!abandon(*state, *h, error))
            return false;
    }
    if (h == state->held.end() || h->state != NumberState::Settle) {
        error = "シリアル番号 " + std::to_string(value) + " は確認待ちの番号ではありません。";
        return false;
    }
    const SerialReservation r{state->run, h->index, h->token, value, state->settings};
    return move(r, used ? NumberStep::SettleUsed : NumberStep::SettleFree, error) &&
           (!used || Record(*link_, r.run, r.index, recordPath, recordLine, shareLike(), *faults_, error)) &&
           tx.commit(error);
}

bool RunStore::startRun(const SerialRunSettings& settings, std::string& error,
                        const std::vector<std::int64_t>& planned) {
    if (const auto why = CheckPlan(settings, planned)) {
        error = *why;
        return false;
    }
    Tx tx(*link_);
    if (!tx.begin(error))
        return false;
    const auto last = LastRunId(*link_, error);
    return last && InsertPlannedRun(*link_, *last + 1, settings, planned, error) && tx.commit(error);
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
    std::optional<std::vector<std::int64_t>> plan;
    std::optional<std::vector<ChipRecord>> chips;
    {
        // The run is closed here first: a crash before the new file stands leaves a gap, never two live copies.
        Tx tx(*link_);
        if (!tx.begin(error) || !LockCurrentRun(*link_, error) || !(state = current(error)) || !reap(*state, error))
            return false;
        if (!state->movedTo.empty() || state->count(NumberState::Reserved) + state->count(NumberState::Writing) > 0) {
            error = state->movedTo.empty() ? "書込み中の IC があるため、生産を書き出せません。"
                                           : "この生産は " + ShownStorePath(state->movedTo) + " に移されました。";
            return false;
        }
        if (!ReadWholeRun(*link_, *state, numbers, records, error) || !(plan = ReadPlan(*link_, *state, error)) ||
            !(chips = ReadChips(*link_, state->run, 0, error)) || !SetMovedTo(*link_, state->run, target, error) ||
            !tx.commit(error))
            return false;
    }
    auto fill = [&](SqlLink& link, std::string& err) {
        bool ok = InsertRun(link, 1, state->settings, state->nextIndex, SerialTimeText(), err);
        // The plan first: a number row takes its value from it.
        if (state->settings.source != SerialSource::Arithmetic)
            ok = ok && InsertPlan(link, 1, *plan, err);
        for (const auto& n : numbers)
            ok = ok && InsertNumber(link, 1, state->settings, n, err);
        for (const auto& [index, line] : records)
            ok = ok && InsertRecord(link, 1, index, line, err);
        // Renumbered in their order, which their times to the second keep.
        for (std::size_t i = 0; i < chips->size(); ++i)
            ok = ok && InsertChip(link, 1, static_cast<std::int64_t>(i) + 1, (*chips)[i].at * 1000, (*chips)[i], err);
        return ok;
    };
    if (BuildStoreFile(target, fill, false, error))
        return true;
    std::string ignored;
    Tx undo(*link_);
    if (undo.begin(ignored) && SetMovedTo(*link_, state->run, "", ignored))
        undo.commit(ignored);
    return false;
}

std::optional<std::vector<std::int64_t>> RunStore::plannedValues(std::string& error) {
    const auto state = current(error);
    return state ? ReadPlan(*link_, *state, error) : std::nullopt;
}

namespace {

// The plan in one line.
std::string PlanText(const SerialRunSettings& s) {
    char where[96];
    std::snprintf(where, sizeof where, "mode %s  address 0x%llX  bytes %d  ", SerialModeName(s.mode),
                  static_cast<unsigned long long>(s.address), s.bytes);
    const std::string quantity = "quantity " + std::to_string(s.quantity);
    switch (s.source) {
    case SerialSource::List: return where + ("list  " + quantity);
    case SerialSource::Random: return where + ("random  " + quantity);
    case SerialSource::Arithmetic: break;
    }
    return where + ("start " + std::to_string(s.start) + "  increment " + std::to_string(s.increment) + "  " +
                    quantity);
}

LineCounters Counters(const ChipCount& count, std::int64_t toSettle) {
    LineCounters c{count.passed, count.total - count.passed, count.total, 0, toSettle};
    if (count.total > 0)
        c.yield = 100.0 * static_cast<double>(count.passed) / static_cast<double>(count.total);
    return c;
}

}  // namespace

std::optional<RunReport> RunStore::report(std::string& error) {
    const auto state = current(error);
    auto chips = state ? ReadChips(*link_, state->run, 0, error) : std::nullopt;
    if (!chips)
        return std::nullopt;
    RunReport r;
    r.store = ShownStorePath(path_);
    r.settings = PlanText(state->settings);
    r.planned = state->settings.quantity;
    r.recorded = state->recorded();
    r.failedChips = std::count_if(chips->begin(), chips->end(), [](const ChipRecord& c) { return !c.passed; });
    r.toSettle = state->count(NumberState::Settle);
    r.spoiled = state->count(NumberState::Failed);
    r.left = r.planned - r.recorded - r.toSettle - r.spoiled - state->count(NumberState::Reserved) -
             state->count(NumberState::Writing);
    r.chips = std::move(*chips);
    return r;
}

std::optional<LineView> RunStore::lineView(const std::string& host, const std::string& user, std::string& error) {
    const auto state = current(error);
    const auto run = state ? CountChips(*link_, state->run, nullptr, nullptr, error) : std::nullopt;
    const auto mine = run ? CountChips(*link_, state->run, &host, &user, error) : std::nullopt;
    auto last = mine ? ReadChips(*link_, state->run, kLineLastChips, error) : std::nullopt;
    if (!last)
        return std::nullopt;
    const auto mySettle = std::count_if(state->held.begin(), state->held.end(), [&](const HeldNumber& h) {
        return h.state == NumberState::Settle && h.station.host == host;
    });
    return LineView{Counters(*mine, mySettle), Counters(*run, state->count(NumberState::Settle)), state->nextValue(),
                    std::move(*last)};
}

}  // namespace vx
