// The run store's connection to its database: statements with text
// parameters ($1, $2, ...) and text results, one transaction at a time. The
// two databases differ only in what is behind this: how a transaction takes
// the run, how rows are locked, and how a station's liveness is known.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serialization/stationid.h"
#include "serialization/storefaults.h"

namespace vx {

using SqlRow = std::vector<std::optional<std::string>>;

class SqlLink {
public:
    virtual ~SqlLink() = default;
    // rows may be null when no rows are wanted.
    virtual bool exec(const std::string& sql, const std::vector<std::string>& params, std::vector<SqlRow>* rows,
                      std::string& error) = 0;
    // Starts a transaction that may write (SQLite's write lock is taken at
    // once, so two stations never both read and then write). durable: its
    // commit returns once it is on the disk; else once it is in the
    // system's hands (it survives the process, not a power cut).
    virtual bool begin(bool durable, std::string& error) = 0;
    // Appended to a SELECT of rows the transaction will change.
    virtual const char* lockRowsSql() const = 0;
    // A query with a row when the table named $1 exists.
    virtual const char* tableSql() const = 0;
    // Once the store is known to be a run store: how every connection works.
    virtual bool configure(std::string&) { return true; }
    // Whether the station holding a number still runs.
    virtual bool holderAlive(const StationId& station, std::int64_t token, std::string& error) = 0;
    // Held for a reservation's life (PostgreSQL: a session advisory lock, so
    // the server itself sees a station that died or lost its network).
    virtual bool hold(std::int64_t, std::string&) { return true; }
    virtual void release(std::int64_t) {}
    // Opened for reading only: this user cannot write the store.
    virtual bool readOnly() const { return false; }
};

// How the links say that the disk, not the store, is at fault.
extern const char* const kDiskFull;
extern const char* const kReadOnly;
bool IsRoomError(const std::string& error);

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

// readOnly: nothing is written, and no file is made beside the store.
std::unique_ptr<SqlLink> OpenSqliteLink(const std::string& path, bool create, FaultPoints& faults,
                                        const StationId& here, std::string& error, bool readOnly = false);
// The first bytes of a SQLite link's file, read through SQLite's own handle:
// a second descriptor on the file, once closed, would drop the POSIX locks
// every SQLite connection of this process holds on it.
std::string SqliteFileHead(SqlLink& link, int bytes);
std::unique_ptr<SqlLink> OpenPostgresLink(const std::string& uri, FaultPoints& faults, std::string& error);

}  // namespace vx
