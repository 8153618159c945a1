// The run store: a production run of serial numbers shared by every station
// (the window and any number of vormex-cli processes), kept in a database
// so that every step is one transaction, durable once it returns.
//
// STATEFILE is a SQLite file (one PC) or a postgresql:// URI (a line of
// PCs sharing one server). How a number moves between its states:
// runstate.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serialization/production.h"
#include "serialization/report.h"
#include "serialization/runstate.h"
#include "serialization/stationid.h"
#include "serialization/storefaults.h"

namespace vx {

class SqlLink;

struct SerialReservation {
    std::int64_t run = 0;
    std::int64_t index = 0;
    std::int64_t token = 0;
    std::int64_t value = 0;
    SerialRunSettings settings;  // as the reserving transaction read them
};

// A chip attempted with a reservation's number, as its station saw it:
// kept with the step that ends the reservation (commit or giveBack), in
// the same transaction. atMs: its start in milliseconds since the epoch (UTC).
struct ChipAttempt {
    std::int64_t atMs = 0;
    ChipRecord chip;
};

// What an operator's screen shows, all read from the store (so every PC of
// one server shows the same run): counters of chips attempted, of one
// station and of the whole run.
struct LineCounters {
    std::int64_t passed = 0, failed = 0, total = 0;
    double yield = 0;           // passed in percent of total; 0 before the first chip
    std::int64_t toSettle = 0;  // numbers waiting for an operator's word
};
struct LineView {
    // station: the chips of one host and user, as the report groups them;
    // its toSettle counts the numbers to settle that the host held (the store
    // names a number's holder by host and process, not by user).
    LineCounters station, run;
    std::optional<std::int64_t> next;  // the value the next reservation takes; none when none is free
    std::vector<ChipRecord> last;      // the last chips (up to kLineLastChips), newest first
};
constexpr int kLineLastChips = 10;

// STATEFILE as messages show it: a server's password left out.
std::string ShownStorePath(const std::string& path);

class RunStore {
public:
    // Opens STATEFILE. A text run file of the earlier form is converted
    // once, a store of the earlier schema upgraded once (note: what was
    // done); anything else that is not a run store of this schema is
    // refused, unchanged, with the reason.
    static std::unique_ptr<RunStore> open(const std::string& path, std::string& error, std::string* note = nullptr,
                                          const StoreFaults& faults = {});
    // A new store holding one run; refused when STATEFILE exists (a file) or
    // already holds a run (a server). A listed run (settings.source) takes
    // its values in the order given, one per chip of its quantity, stored
    // with the run in the same transaction.
    static bool create(const std::string& path, const SerialRunSettings& settings, std::string& error,
                       const std::vector<std::int64_t>& planned = {});
    static bool isServer(const std::string& path);
    ~RunStore();
    RunStore(const RunStore&) = delete;
    RunStore& operator=(const RunStore&) = delete;

    const std::string& path() const { return path_; }
    // This user may only read the store: nothing is settled or reaped.
    bool readOnly() const;
    // Why a chip could not be recorded now (the store's and the record's
    // disk full or read-only, or a file this user may not write), asked
    // before a chip is written; nullopt when it could.
    std::optional<std::string> noRoom(const std::string& recordPath) const;
    // The current run, every row checked; gone stations' numbers are settled
    // first (returned, or to settle) when reap is set.
    std::optional<SerialRunState> load(std::string& error, bool reap = false);

    // check: refuses the run's settings (the placement) with a reason; it is
    // asked inside the reserving transaction, with that transaction's settings.
    using Check = std::function<std::optional<std::string>(const SerialRunSettings&)>;
    // Finished: every number recorded; AllOut: the rest are out with other
    // stations; Unsettled: the rest wait to be settled.
    enum class Take { Reserved, Finished, AllOut, Unsettled, Refused, Error };
    struct Taken {
        Take result = Take::Error;
        SerialReservation reservation;
        std::string error;  // the reason of Refused and Error
    };
    Taken reserve(const StationId& station, const Check& check);
    // Durably, before the first word of the chip is sent.
    bool markWriting(const SerialReservation& reservation, std::string& error);
    // The chip passed: recorded with its record row; recordLine is appended
    // to recordPath (when not empty) before the transaction commits, and a
    // failed append fails the commit (appended: the line went in all the
    // same, so a retry leaves it out). Recording twice is no error.
    // attempt: the chip's row, kept in the same transaction.
    bool commit(const SerialReservation& reservation, const std::string& recordPath, const std::string& recordLine,
                std::string& error, bool* appended = nullptr, const ChipAttempt* attempt = nullptr);
    // The chip failed: the number goes back to the pool (GiveBack: the chip
    // does not hold it), is used up (Spoil: read back, the chip holds it) or
    // waits to be settled (Unknown: the chip may hold it, unread); the
    // chip's row (attempt) is kept with it.
    bool giveBack(const SerialReservation& reservation, std::string& error,
                  NumberStep step = NumberStep::GiveBack, const ChipAttempt* attempt = nullptr);
    // An operator's word on a number to settle: used (recorded with
    // recordLine, also appended to recordPath) or free (returned). A number
    // a station of another machine is writing is settled only when goneHost
    // names that machine (the operator says its station is gone).
    bool settle(std::int64_t value, bool used, const std::string& recordPath, const std::string& recordLine,
                std::string& error, const std::string& goneHost = "");
    // The current run's record rows: index and line, by index.
    std::optional<std::vector<std::pair<std::int64_t, std::string>>> records(std::string& error);
    // A new current run (planned: as create); the earlier ones stay as history.
    bool startRun(const SerialRunSettings& settings, std::string& error, const std::vector<std::int64_t>& planned = {});
    // Every value the current run plans, by index.
    std::optional<std::vector<std::int64_t>> plannedValues(std::string& error);
    // The current run's report: its plan and state and every chip attempted;
    // nullopt with what is damaged.
    std::optional<RunReport> report(std::string& error);
    // What the operator's screen of the station (host, user) shows; read
    // only, a few small statements (cheap beside a chip, whatever the run's size).
    std::optional<LineView> lineView(const std::string& host, const std::string& user, std::string& error);
    // A test hook's point outside the store, counted with its own (a failed
    // chip's read-back, before its number moves).
    void faultPoint() { faults_->point(); }
    // Moves the current run into a new STATEFILE file (refused when it
    // exists, or while numbers of the run are out); this store's run is
    // closed so that no number is handed out twice.
    bool moveRun(const std::string& target, std::string& error);

private:
    RunStore(std::string path, std::unique_ptr<SqlLink> link, std::unique_ptr<FaultPoints> faults);
    std::optional<SerialRunState> current(std::string& error);
    std::optional<std::int64_t> pick(const SerialRunState& state, const StationId& station, std::int64_t token,
                                     std::string& error);
    bool reap(SerialRunState& state, std::string& error);
    // One step of the state table on a reservation's number.
    bool move(const SerialReservation& r, NumberStep step, std::string& error);
    bool abandon(SerialRunState& state, const HeldNumber& number, std::string& error);
    std::string shareLike() const;

    std::string path_;
    std::unique_ptr<FaultPoints> faults_;
    std::unique_ptr<SqlLink> link_;
    StationId here_;
};

}  // namespace vx
