#include "serialization/runstore.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

#include "base/textfile.h"
#include "serialization/sqllink.h"

namespace vx {

namespace {

constexpr const char* kFormat = "vormex serial run";
constexpr std::int64_t kSchema = 1;
constexpr std::int64_t kMaxPid = 0x7FFFFFFF;
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

const char* const kNotARun = "シリアル番号の管理ファイルではありません。";
const char* const kNumberColumns = "idx, state, token, host, boot, pid, started";

std::string Damaged(const std::string& why) { return "シリアル番号の管理ファイルが壊れています: " + why; }

std::optional<std::int64_t> ProcessStart(std::int64_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    const auto paren = line.rfind(')');
    if (paren == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(paren + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            return ParseSerialInteger(field);
    return std::nullopt;
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A stored number: decimal digits only, whatever the column's type.
std::optional<std::int64_t> Decimal(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 20 || text->find_first_not_of("-0123456789") != std::string::npos)
        return std::nullopt;
    return ParseSerialInteger(*text);
}

std::optional<NumberState> StateFromName(const std::optional<std::string>& name) {
    for (auto s : {NumberState::Reserved, NumberState::Writing, NumberState::Recorded, NumberState::Returned,
                   NumberState::Settle})
        if (name && *name == NumberStateName(s))
            return s;
    return std::nullopt;
}

std::int64_t RandomToken() {
    std::random_device random;
    const std::uint64_t bits = (std::uint64_t{random()} << 32 | random()) & 0x7FFFFFFFFFFFFFFF;
    return bits ? static_cast<std::int64_t>(bits) : 1;
}

// A transaction that rolls back unless committed.
class Tx {
public:
    explicit Tx(SqlLink& link) : link_(link) {}
    ~Tx() {
        std::string ignored;
        if (open_)
            link_.exec("ROLLBACK", {}, nullptr, ignored);
    }
    Tx(const Tx&) = delete;
    Tx& operator=(const Tx&) = delete;
    bool begin(std::string& error, bool durable = true) { return open_ = link_.begin(durable, error); }
    bool commit(std::string& error) {
        if (!link_.exec("COMMIT", {}, nullptr, error))
            return false;
        open_ = false;
        return true;
    }

private:
    SqlLink& link_;
    bool open_ = false;
};

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

bool SyncFolder(const std::string& path, std::string& error) {
    const std::string folder = FolderOf(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        error = folder + " を書き込めません。";
    return ok;
}

// A new store file: built beside the target, then put in place at once, so
// a crash never leaves half a store. replace: over an existing file.
bool BuildStoreFile(const std::string& path, const std::function<bool(SqlLink&, std::string&)>& fill, bool replace,
                    std::string& error) {
    const std::string temp = path + ".new" + std::to_string(::getpid());
    auto removeTemp = [&] {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((temp + suffix).c_str());
    };
    removeTemp();
    bool ok = false;
    {
        FaultPoints none({});
        if (auto link = OpenSqliteLink(temp, true, none, {}, error)) {
            Tx tx(*link);
            ok = link->configure(error) && tx.begin(error) && RunSchema(*link, error) && fill(*link, error) &&
                 tx.commit(error);
        }
    }
    struct stat st {};
    if (ok && ::stat((temp + "-wal").c_str(), &st) == 0) {
        error = temp + "-wal が残っています。";
        ok = false;
    }
    if (ok && replace && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + " を更新できません。";
        ok = false;
    } else if (ok && !replace && ::link(temp.c_str(), path.c_str()) != 0) {
        error = errno == EEXIST ? path + " はすでにあります。" : path + " を作れません。";
        ok = false;
    }
    removeTemp();
    if (ok && !SyncFolder(path, error))
        ok = false;
    return ok;
}

// A SQLite store file; a text run converted into one first; else nothing.
std::unique_ptr<SqlLink> OpenStoreFile(const std::string& path, FaultPoints& faults, std::string& error,
                                       std::string* note) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "シリアル番号の管理ファイルを開けません。";
        return nullptr;
    }
    auto link = OpenSqliteLink(path, false, faults, ThisStation(), error);
    if (!link || SqliteFileHead(*link, 16) == std::string("SQLite format 3", 16))
        return link;
    link.reset();
    std::string first = FirstLine(path);  // no SQLite connection holds a text file
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    if (first != kTextRunHeader) {
        error = kNotARun;
        return nullptr;
    }
    // Converted once, under the lock earlier releases kept beside the file.
    const int fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        if (fd >= 0)
            ::close(fd);
        error = "シリアル番号の管理ファイルをロックできません。";
        return nullptr;
    }
    std::string done;
    const bool ok = FirstLine(path).rfind(kTextRunHeader, 0) != 0 || ConvertTextRun(path, path, done, error);
    ::close(fd);
    if (note)
        *note = done;
    return ok ? OpenSqliteLink(path, false, faults, ThisStation(), error) : nullptr;
}

bool AppendRecord(const std::string& path, const std::string& line, FaultPoints& faults, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    const std::string text = line + "\r\n";
    bool ok = fd >= 0;
    if (ok) {
        faults.point();
        ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        faults.point();
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
    }
    if (!ok)
        error = path + " に記録できません。";
    return ok;
}

}  // namespace

std::string SerialTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

StationId ThisStation() {
    StationId me;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        me.host = host;
    me.boot = FirstLine("/proc/sys/kernel/random/boot_id");
    me.pid = static_cast<std::int64_t>(::getpid());
    me.started = ProcessStart(me.pid).value_or(0);
    return me;
}

bool StationAlive(const StationId& station, const StationId& here) {
    if (station.host != here.host)
        return true;
    if (station.boot != here.boot)
        return false;
    if (station.pid <= 0 || station.pid > kMaxPid)
        return false;
    if (const auto started = ProcessStart(station.pid))
        return *started == station.started;
    return ::kill(static_cast<pid_t>(station.pid), 0) == 0 || errno == EPERM;
}

const char* NumberStateName(NumberState state) {
    switch (state) {
    case NumberState::Reserved: return "reserved";
    case NumberState::Writing: return "writing";
    case NumberState::Recorded: return "recorded";
    case NumberState::Returned: return "returned";
    case NumberState::Settle: return "settle";
    }
    return "";
}

std::int64_t SerialRunState::count(NumberState state) const {
    return std::count_if(held.begin(), held.end(), [state](const HeldNumber& h) { return h.state == state; });
}

std::int64_t SerialRunState::recorded() const {
    return nextIndex - static_cast<std::int64_t>(held.size()) + count(NumberState::Recorded);
}

std::vector<std::int64_t> SerialRunState::values(NumberState state) const {
    std::vector<std::int64_t> out;
    for (const auto& h : held)
        if (h.state == state)
            out.push_back(SerialValueAt(settings, h.index));
    return out;
}

std::optional<std::int64_t> SerialRunState::nextValue() const {
    if (!movedTo.empty())
        return std::nullopt;
    for (const auto& h : held)
        if (h.state == NumberState::Returned)
            return SerialValueAt(settings, h.index);
    if (nextIndex < settings.quantity)
        return SerialValueAt(settings, nextIndex);
    return std::nullopt;
}

bool SerialRunState::inProgress() const {
    return movedTo.empty() && (nextValue() || count(NumberState::Reserved) + count(NumberState::Writing) +
                                                      count(NumberState::Settle) > 0);
}

std::optional<StoreFaults> ParseStoreFaults(const std::string& text) {
    StoreFaults faults;
    if (text == "full@commit") {
        faults.fullInCommit = true;
        return faults;
    }
    if (text.rfind("kill@writing+", 0) == 0) {
        const auto us = ParseSerialInteger(text.substr(13));
        if (!us || *us < 0)
            return std::nullopt;
        faults.killWritingUs = *us;
        return faults;
    }
    const auto k = text.rfind("kill@", 0) == 0 ? ParseSerialInteger(text.substr(5)) : std::nullopt;
    if (!k || *k < 1)
        return std::nullopt;
    faults.killAt = *k;
    return faults;
}

void FaultPoints::point() {
    if (faults_.killAt > 0 && ++count_ == faults_.killAt)
        ::kill(::getpid(), SIGKILL);
}

void FaultPoints::writing() {
    if (faults_.killWritingUs < 0)
        return;
    std::thread([us = faults_.killWritingUs] {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        ::kill(::getpid(), SIGKILL);
    }).detach();
}

bool FaultPoints::failWrite() {
    if (!faults_.fullInCommit || !inCommit_ || failed_)
        return false;
    failed_ = true;
    return true;
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

bool ConvertTextRun(const std::string& textPath, const std::string& dbPath, std::string& note, std::string& error) {
    std::string text;
    ReadWholeFile(textPath, text);  // unreadable: empty, which the parser refuses
    const auto run = ParseTextRun(text, error);
    if (!run)
        return false;
    // The earlier form knew no writing state: any reserved number may be in a chip.
    auto fill = [&run](SqlLink& link, std::string& err) {
        if (!InsertRun(link, 1, run->settings, run->nextIndex, err))
            return false;
        for (const auto index : run->returned)
            if (!InsertNumber(link, 1, {index, NumberState::Returned, {}, 0}, err))
                return false;
        for (const auto& r : run->reserved)
            if (!InsertNumber(link, 1, {r.index, NumberState::Settle, {"", "", r.pid, r.started}, RandomToken()}, err))
                return false;
        return true;
    };
    const std::string kept = textPath + ".old";
    if (!WriteFileAtomically(kept, text, error) || !BuildStoreFile(dbPath, fill, true, error))
        return false;
    if (textPath != dbPath)
        ::unlink(textPath.c_str());
    note = "シリアル番号の管理ファイル " + textPath + " を新しい形式に変換しました (元のファイルは " + kept + ")。";
    return true;
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

// The chip of a commit whose reply was lost may be recorded already.
bool AlreadyRecorded(SqlLink& link, const SerialReservation& r) {
    std::vector<SqlRow> rows;
    std::string error;
    return link.exec("SELECT state FROM serial_number WHERE run = $1 AND idx = $2 AND token = $3",
                     {std::to_string(r.run), std::to_string(r.index), std::to_string(r.token)}, &rows, error) &&
           rows.size() == 1 && !rows[0].empty() && rows[0][0] == std::optional<std::string>("recorded");
}

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

class CommitFaults {
public:
    explicit CommitFaults(FaultPoints& faults) : faults_(faults) { faults_.armCommit(true); }
    ~CommitFaults() { faults_.armCommit(false); }
    CommitFaults(const CommitFaults&) = delete;
    CommitFaults& operator=(const CommitFaults&) = delete;

private:
    FaultPoints& faults_;
};

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

namespace {

using Records = std::vector<std::pair<std::int64_t, std::string>>;

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

}  // namespace

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
