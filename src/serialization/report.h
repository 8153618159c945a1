// The report of a production run, made from its store: the plan and its
// state, each station's and each operator's counts, and every chip.
// Text for a terminal, CSV (the chips, one row each), JSON, and HTML as one
// self-contained file (inline styles and SVG charts, nothing fetched).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// One attempt at a chip, as the store records it.
struct ChipRecord {
    std::int64_t at = 0;  // start, seconds since the epoch (UTC)
    std::string host, user, operatorName;
    std::string device;
    int deviceId = -1;         // the word read (part and revision); -1 none
    std::string calibration;   // the calibration word kept or written ("0x3480"); "" none
    std::string bandGap;       // "0".."3"; "" none
    std::string programChecksum, hexSha256, imageSha256;
    std::optional<std::int64_t> serial;
    bool passed = false;
    double seconds = 0;
    std::string failure;  // why it failed; "" for a passed chip
};

struct RunReport {
    std::string store;     // as messages show it
    std::string settings;  // the plan in one line
    // spoiled: numbers used up by a failed chip that holds them (read back)
    std::int64_t planned = 0, recorded = 0, failedChips = 0, spoiled = 0, toSettle = 0, left = 0;
    std::vector<ChipRecord> chips;  // in the order they were made
};

enum class ReportFormat { Text, Csv, Json, Html };
std::optional<ReportFormat> ReportFormatFromName(const std::string& name);

std::string ReportText(const RunReport& report, ReportFormat format);

}  // namespace vx
