// The run store on a PostgreSQL server, for stations on several PCs. A
// reservation is held by a session-level advisory lock on its token, so a
// station that dies or loses its network is seen as gone by the server
// itself; rows other stations' transactions hold are skipped, not waited for.
#include <libpq-fe.h>

#include <set>

#include "serialization/sqllink.h"

namespace vx {

namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The server's disk full (53100) or a read-only server (25006), said as such.
std::string RoomSays(PGresult* result) {
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const std::string code = state ? state : "";
    return code == "53100" ? std::string(kDiskFull) + ": " : code == "25006" ? std::string(kReadOnly) + ": " : "";
}

class PgLink : public SqlLink {
public:
    PgLink(PGconn* conn, FaultPoints& faults) : conn_(conn), faults_(faults) {}
    ~PgLink() override { PQfinish(conn_); }

    bool exec(const std::string& sql, const std::vector<std::string>& params, std::vector<SqlRow>* rows,
              std::string& error) override {
        std::vector<const char*> values;
        for (const auto& p : params)
            values.push_back(p.c_str());
        faults_.point();
        if (faults_.failWrite()) {
            error = "PostgreSQL: could not write: no space left on device";
            return false;
        }
        if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                               nullptr, 0)) {
            error = Trimmed(std::string("PostgreSQL: ") + PQerrorMessage(conn_));
            return false;
        }
        faults_.point();  // sent, its reply not yet read
        bool ok = true;
        while (PGresult* result = PQgetResult(conn_)) {
            const auto status = PQresultStatus(result);
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
                error = Trimmed(std::string("PostgreSQL: ") + RoomSays(result) + PQresultErrorMessage(result));
                ok = false;
            } else if (rows) {
                collect(result, *rows);
            }
            PQclear(result);
        }
        return ok;
    }
    // The isolation and the commit's durability are the store's own, whatever
    // the server's defaults say.
    bool begin(bool durable, std::string& error) override {
        if (!exec("BEGIN ISOLATION LEVEL READ COMMITTED", {}, nullptr, error))
            return false;
        if (exec(durable ? "SET LOCAL synchronous_commit TO ON" : "SET LOCAL synchronous_commit TO OFF", {}, nullptr,
                 error))
            return true;
        std::string ignored;
        exec("ROLLBACK", {}, nullptr, ignored);
        return false;
    }
    const char* lockRowsSql() const override { return " FOR UPDATE SKIP LOCKED"; }
    const char* tableSql() const override { return "SELECT 1 WHERE to_regclass($1) IS NOT NULL"; }
    // The holder's session keeps the lock; taking it here means the session is gone.
    // Taken for this transaction only, it goes with the commit.
    bool holderAlive(const StationId&, std::int64_t token, std::string& error) override {
        // This session's own locks would be taken again: its own numbers live.
        if (held_.count(token))
            return true;
        std::vector<SqlRow> rows;
        if (!exec("SELECT pg_try_advisory_xact_lock($1::bigint)", {std::to_string(token)}, &rows, error))
            return true;
        return rows.size() != 1 || rows[0].empty() || rows[0][0] != "t";
    }
    bool hold(std::int64_t token, std::string& error) override {
        if (!exec("SELECT pg_advisory_lock($1::bigint)", {std::to_string(token)}, nullptr, error))
            return false;
        held_.insert(token);
        return true;
    }
    void release(std::int64_t token) override {
        std::string error;
        if (held_.erase(token))
            exec("SELECT pg_advisory_unlock($1::bigint)", {std::to_string(token)}, nullptr, error);
    }

private:
    static void collect(PGresult* result, std::vector<SqlRow>& rows) {
        for (int r = 0; r < PQntuples(result); ++r) {
            SqlRow row;
            for (int c = 0; c < PQnfields(result); ++c)
                row.push_back(PQgetisnull(result, r, c)
                                  ? std::nullopt
                                  : std::optional<std::string>(std::string(PQgetvalue(result, r, c),
                                                                           static_cast<std::size_t>(PQgetlength(result, r, c)))));
            rows.push_back(std::move(row));
        }
    }

    PGconn* conn_;
    FaultPoints& faults_;
    std::set<std::int64_t> held_;
};

void Quiet(void*, const char*) {}

}  // namespace

std::unique_ptr<SqlLink> OpenPostgresLink(const std::string& uri, FaultPoints& faults, std::string& error) {
    // Keywords before the URI are defaults it may override. A stalled
    // station or network holds no other station for long: its locks wait
    // 10 s, a statement runs 30 s, an idle transaction is ended after 60 s,
    // and a peer that vanished is noticed within half a minute.
    const char* keys[] = {"connect_timeout", "application_name", "keepalives", "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "options", "dbname", nullptr};
    const char* values[] = {"10", "vormex", "1", "10", "5", "3",
                            "-c lock_timeout=10000 -c statement_timeout=30000 "
                            "-c idle_in_transaction_session_timeout=60000",
                            uri.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        error = Trimmed("PostgreSQL サーバーに接続できません: " + std::string(conn ? PQerrorMessage(conn) : "out of memory"));
        PQfinish(conn);
        return nullptr;
    }
    PQsetNoticeProcessor(conn, Quiet, nullptr);
    return std::make_unique<PgLink>(conn, faults);
}

}  // namespace vx
