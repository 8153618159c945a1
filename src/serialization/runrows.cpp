#include "serialization/runrows.h"

#include <cmath>

#include "serialization/storeschema.h"

namespace vx {

namespace {


const char* const kChipColumns =
    "at_ms, host, user_name, operator_name, device, device_id, calibration, band_gap, checksum, hex_sha256, "
    "image_sha256, serial, passed, ms, failure";

// Rows of a listed run per INSERT: few statements, few parameters each.
constexpr std::size_t kPlanBatch = 200;
constexpr std::size_t kMaxText = 4096;

bool Text(const std::optional<std::string>& field) { return field && field->size() <= kMaxText; }

std::optional<ChipRecord> ChipFrom(const SqlRow& row) {
    if (row.size() != 15)
        return std::nullopt;
    const auto at = StoredInteger(row[0]), id = StoredInteger(row[5]), passed = StoredInteger(row[12]),
               ms = StoredInteger(row[13]);
    const auto serial = StoredInteger(row[11]);  // -1: none
    bool texts = true;
    for (const int i : {1, 2, 3, 4, 6, 7, 8, 9, 10, 14})
        texts = texts && Text(row[i]);
    if (!at || *at < 0 || !id || *id < -1 || *id > 0xFFFF || !passed || (*passed != 0 && *passed != 1) || !ms ||
        *ms < 0 || !serial || *serial < -1 || !texts)
        return std::nullopt;
    ChipRecord c;
    c.at = *at / 1000;
    c.host = *row[1];
    c.user = *row[2];
    c.operatorName = *row[3];
    c.device = *row[4];
    c.deviceId = static_cast<int>(*id);
    c.calibration = *row[6];
    c.bandGap = *row[7];
    c.programChecksum = *row[8];
    c.hexSha256 = *row[9];
    c.imageSha256 = *row[10];
    if (*serial >= 0)
        c.serial = *serial;
    c.passed = *passed == 1;
    c.seconds = static_cast<double>(*ms) / 1000;
    c.failure = *row[14];
    return c;
}

// The highest value `bytes` bytes hold.
std::int64_t Top(int bytes) { return (std::int64_t{1} << (8 * bytes)) - 1; }

}  // namespace

bool InsertPlan(SqlLink& link, std::int64_t run, const std::vector<std::int64_t>& values, std::string& error) {
    for (std::size_t first = 0; first < values.size(); first += kPlanBatch) {
        std::string sql = "INSERT INTO serial_plan (run, idx, value) VALUES ";
        std::vector<std::string> params = {std::to_string(run)};
        for (std::size_t i = first; i < values.size() && i < first + kPlanBatch; ++i) {
            const auto n = params.size();
            sql += (i == first ? "($1, $" : ", ($1, $") + std::to_string(n + 1) + ", $" + std::to_string(n + 2) + ")";
            params.push_back(std::to_string(i));
            params.push_back(std::to_string(values[i]));
        }
        if (!link.exec(sql, params, nullptr, error))
            return false;
    }
    return true;
}

bool ReadListedValues(SqlLink& link, SerialRunState& state, std::string& error) {
    std::string indexes = std::to_string(state.nextIndex);
    for (const auto& h : state.held)
        indexes += ", " + std::to_string(h.index);
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT r.source, p.idx, p.value FROM serial_run r LEFT JOIN serial_plan p ON p.run = r.id AND "
                   "p.idx IN (" + indexes + ") WHERE r.id = $1",
                   {std::to_string(state.run)}, &rows, error))
        return false;
    const auto source = rows.empty() || !rows[0][0] ? std::nullopt : SerialSourceFromName(*rows[0][0]);
    if (!source || (*source != SerialSource::Arithmetic && (state.settings.start != 0 || state.settings.increment != 1))) {
        error = Damaged("生産の設定");
        return false;
    }
    state.settings.source = *source;
    state.planned.clear();
    for (const auto& row : rows) {
        if (!row[1] && !row[2])
            continue;
        const auto index = StoredInteger(row[1]), value = StoredInteger(row[2]);
        if (!index || !value || *value < 0 || *value > Top(state.settings.bytes)) {
            error = Damaged("予定の番号 " + row[1].value_or("?"));
            return false;
        }
        state.planned[*index] = *value;
    }
    // Every index of a listed run has its value.
    for (const auto& h : state.held)
        if (*source != SerialSource::Arithmetic && !state.planned.count(h.index)) {
            error = Damaged("予定の番号 " + std::to_string(h.index));
            return false;
        }
    return true;
}

std::optional<std::int64_t> PlannedValue(SqlLink& link, const SerialRunState& state, std::int64_t index,
                                         std::string& error) {
    if (state.settings.source == SerialSource::Arithmetic)
        return SerialValueAt(state.settings, index);
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT value FROM serial_plan WHERE run = $1 AND idx = $2",
                   {std::to_string(state.run), std::to_string(index)}, &rows, error))
        return std::nullopt;
    const auto value = rows.size() == 1 && rows[0].size() == 1 ? StoredInteger(rows[0][0]) : std::nullopt;
    if (!value || *value < 0 || *value > Top(state.settings.bytes)) {
        error = Damaged("予定の番号 " + std::to_string(index));
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::int64_t>> ReadPlan(SqlLink& link, const SerialRunState& state, std::string& error) {
    std::vector<std::int64_t> values;
    const auto& s = state.settings;
    if (s.source == SerialSource::Arithmetic) {
        for (std::int64_t i = 0; i < s.quantity; ++i)
            values.push_back(SerialValueAt(s, i));
        return values;
    }
    std::vector<SqlRow> rows;
    if (!link.exec("SELECT idx, value FROM serial_plan WHERE run = $1 ORDER BY idx", {std::to_string(state.run)},
                   &rows, error))
        return std::nullopt;
    for (const auto& row : rows) {
        const auto index = row.size() == 2 ? StoredInteger(row[0]) : std::nullopt;
        const auto value = row.size() == 2 ? StoredInteger(row[1]) : std::nullopt;
        if (!index || *index != static_cast<std::int64_t>(values.size()) || !value || *value < 0 ||
            *value > Top(s.bytes)) {
            error = Damaged("予定の番号 " + std::to_string(values.size()));
            return std::nullopt;
        }
        values.push_back(*value);
    }
    if (static_cast<std::int64_t>(values.size()) != s.quantity) {
        error = Damaged("予定の番号の数");
        return std::nullopt;
    }
    return values;
}

bool InsertChip(SqlLink& link, std::int64_t run, std::int64_t key, std::int64_t atMs, const ChipRecord& c,
                std::string& error) {
    const auto ms = std::llround(c.seconds * 1000);
    return link.exec("INSERT INTO serial_tally (run, host, user_name, passed, total) VALUES ($1, $2, $3, $4, 1) "
                     "ON CONFLICT (run, host, user_name) DO UPDATE SET passed = serial_tally.passed + $4, "
                     "total = serial_tally.total + 1",
                     {std::to_string(run), c.host, c.user, c.passed ? "1" : "0"}, nullptr, error) &&
           link.exec("INSERT INTO serial_chip (run, chip, " + std::string(kChipColumns) +
                         ") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17)",
                     {std::to_string(run), std::to_string(key), std::to_string(atMs), c.host, c.user,
                      c.operatorName, c.device, std::to_string(c.deviceId), c.calibration, c.bandGap,
                      c.programChecksum, c.hexSha256, c.imageSha256, std::to_string(c.serial.value_or(-1)),
                      c.passed ? "1" : "0", std::to_string(ms < 0 ? 0 : ms), c.failure},
                     nullptr, error);
}

std::optional<std::vector<ChipRecord>> ReadChips(SqlLink& link, std::int64_t run, int limit, std::string& error) {
    std::vector<SqlRow> rows;
    const std::string order = limit > 0 ? " ORDER BY at_ms DESC, chip DESC LIMIT " + std::to_string(limit)
                                        : " ORDER BY at_ms, chip";
    if (!link.exec("SELECT " + std::string(kChipColumns) + " FROM serial_chip WHERE run = $1" + order,
                   {std::to_string(run)}, &rows, error))
        return std::nullopt;
    std::vector<ChipRecord> chips;
    chips.reserve(rows.size());
    for (const auto& row : rows) {
        auto chip = ChipFrom(row);
        if (!chip) {
            error = Damaged("IC の記録 " + std::to_string(chips.size() + 1) + " 件目");
            return std::nullopt;
        }
        chips.push_back(std::move(*chip));
    }
    return chips;
}

std::optional<ChipCount> CountChips(SqlLink& link, std::int64_t run, const std::string* host, const std::string* user,
                                    std::string& error) {
    std::vector<SqlRow> rows;
    std::vector<std::string> params = {std::to_string(run)};
    std::string where = "run = $1";
    if (host && user) {
        where += " AND host = $2 AND user_name = $3";
        params.push_back(*host);
        params.push_back(*user);
    }
    if (!link.exec("SELECT SUM(total), SUM(passed) FROM serial_tally WHERE " + where, params, &rows, error))
        return std::nullopt;
    // No row: no chip yet.
    const bool none = rows.size() == 1 && rows[0].size() == 2 && !rows[0][0];
    const auto total = none ? std::optional<std::int64_t>(0)
                            : rows.size() == 1 && rows[0].size() == 2 ? StoredInteger(rows[0][0]) : std::nullopt;
    const auto passed = total && *total > 0 ? StoredInteger(rows[0][1]) : std::optional<std::int64_t>(0);
    if (!total || !passed || *passed < 0 || *passed > *total) {
        error = Damaged("IC の記録");
        return std::nullopt;
    }
    return ChipCount{*passed, *total};
}

}  // namespace vx
