// The run store's public steps: each is one transaction, run again whole
// when the server broke it off to end a conflict with another station's
// (a deadlock, or a serialization failure under a stricter isolation). A
// broken-off transaction changed nothing, so running it again is safe; a
// few tries, spread out at random so that two stations do not meet again.
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "serialization/runstore.h"
#include "serialization/sqllink.h"

namespace vx {

namespace {

constexpr int kTries = 5;

// Once a chip was written, giving up on another station's lock costs a
// passed chip its record (exit 6) or a failed chip's number its way back:
// such steps wait for a stalled station far longer than the slowest step
// that holds the lock (a commit: the record line and the store synced, some
// seconds on a busy disk), as long as a server waits for a station idle in
// its transaction.
constexpr int kAfterChipWaitMs = 60000;

class LongWait {
public:
    explicit LongWait(SqlLink& link) : link_(link) { link_.waitForLocks(kAfterChipWaitMs); }
    ~LongWait() { link_.waitForLocks(0); }
    LongWait(const LongWait&) = delete;
    LongWait& operator=(const LongWait&) = delete;

private:
    SqlLink& link_;
};

bool Retried(std::string& error, const std::function<bool()>& once) {
    thread_local std::minstd_rand random{std::random_device{}()};
    for (int attempt = 1;; ++attempt) {
        if (once())
            return true;
        if (!IsConflict(error))
            return false;
        if (attempt == kTries) {
            error += " (" + std::to_string(kTries) + " 回試しても競合が続きました)";
            return false;
        }
        error.clear();
        const int ms = 20 * attempt + static_cast<int>(random() % 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

}  // namespace

std::optional<SerialRunState> RunStore::load(std::string& error, bool reap) {
    std::optional<SerialRunState> state;
    Retried(error, [&] { return (state = loadOnce(error, reap)).has_value(); });
    return state;
}

RunStore::Taken RunStore::reserve(const StationId& station, const Check& check) {
    Taken t;
    Retried(t.error, [&] {
        t = reserveOnce(station, check);
        return t.result != Take::Error;
    });
    return t;
}

bool RunStore::markWriting(const SerialReservation& reservation, std::string& error) {
    return Retried(error, [&] { return markWritingOnce(reservation, error); });
}

bool RunStore::commit(const SerialReservation& reservation, const std::string& recordPath,
                      const std::string& recordLine, std::string& error, bool* appended, const ChipAttempt* attempt) {
    // A line that went in before the transaction was broken off is not written again.
    LongWait patient(*link_);
    bool in = false;
    const bool ok = Retried(error, [&] {
        return commitOnce(reservation, in ? "" : recordPath, recordLine, error, &in, attempt);
    });
    if (appended)
        *appended = in;
    return ok;
}

bool RunStore::giveBack(const SerialReservation& reservation, std::string& error, NumberStep step,
                        const ChipAttempt* attempt) {
    LongWait patient(*link_);
    return Retried(error, [&] { return giveBackOnce(reservation, error, step, attempt); });
}

bool RunStore::settle(std::int64_t value, bool used, const std::string& recordPath, const std::string& recordLine,
                      std::string& error, const std::string& goneHost) {
    return Retried(error, [&] { return settleOnce(value, used, recordPath, recordLine, error, goneHost); });
}

bool RunStore::startRun(const SerialRunSettings& settings, std::string& error,
                        const std::vector<std::int64_t>& planned) {
    return Retried(error, [&] { return startRunOnce(settings, error, planned); });
}

bool RunStore::moveRun(const std::string& target, std::string& error) {
    return Retried(error, [&] { return moveRunOnce(target, error); });
}

}  // namespace vx
