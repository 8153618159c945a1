#include "serialization/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

namespace vx {

namespace {

struct Tally {
    std::int64_t passed = 0, failed = 0;
    std::int64_t first = INT64_MAX;
    double last = 0;  // end of the last chip
    double busySeconds = 0;

    void add(const ChipRecord& c) {
        (c.passed ? passed : failed) += 1;
        first = std::min(first, c.at);
        last = std::max(last, static_cast<double>(c.at) + c.seconds);
        busySeconds += c.seconds;
    }
    double yield() const { return passed + failed ? 100.0 * static_cast<double>(passed) / (passed + failed) : 0; }
    // Passed chips per hour over the span from the first start to the last
    // end (over the chips' own seconds while that span is under a second).
    double perHour() const {
        const double span = passed + failed ? last - static_cast<double>(first) : 0;
        const double seconds = span >= 1 ? span : busySeconds;
        return seconds > 0 ? static_cast<double>(passed) * 3600.0 / seconds : 0;
    }
};

std::string Station(const ChipRecord& c) { return c.user.empty() ? c.host : c.user + "@" + c.host; }

template <typename Key>
std::map<std::string, Tally> TallyBy(const std::vector<ChipRecord>& chips, Key key) {
    std::map<std::string, Tally> by;
    for (const ChipRecord& c : chips)
        by[key(c)].add(c);
    return by;
}

std::string Format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string TimeText(std::int64_t at, bool utc) {
    const std::time_t t = static_cast<std::time_t>(at);
    std::tm tm{};
    if (utc)
        gmtime_r(&t, &tm);
    else
        localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y/%m/%d %H:%M:%S", &tm);
    return text;
}

std::string IdText(int id) {
    if (id < 0)
        return "";
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(id));
    return text;
}

std::string SerialText(const ChipRecord& c) { return c.serial ? std::to_string(*c.serial) : ""; }

// The fields of a chip in column order, for CSV, JSON and the tables.
struct Field {
    const char* key;
    const char* title;
    std::string (*value)(const ChipRecord&);
};
const Field kFields[] = {
    {"time_utc", "時刻", [](const ChipRecord& c) { return TimeText(c.at, true); }},
    {"station", "ステーション", [](const ChipRecord& c) { return Station(c); }},
    {"operator", "作業者", [](const ChipRecord& c) { return c.operatorName; }},
    {"device", "デバイス", [](const ChipRecord& c) { return c.device; }},
    {"device_id", "デバイスID", [](const ChipRecord& c) { return IdText(c.deviceId); }},
    {"calibration", "キャリブレーション", [](const ChipRecord& c) { return c.calibration; }},
    {"band_gap", "バンドギャップ", [](const ChipRecord& c) { return c.bandGap; }},
    {"checksum", "チェックサム", [](const ChipRecord& c) { return c.programChecksum; }},
    {"hex_sha256", "HEXファイル SHA-256", [](const ChipRecord& c) { return c.hexSha256; }},
    {"image_sha256", "書込みイメージ SHA-256", [](const ChipRecord& c) { return c.imageSha256; }},
    {"serial", "シリアル値", SerialText},
    {"verdict", "判定", [](const ChipRecord& c) { return std::string(c.passed ? "passed" : "failed"); }},
    {"seconds", "秒", [](const ChipRecord& c) { return Format("%.1f", c.seconds); }},
    {"failure", "失敗の理由", [](const ChipRecord& c) { return c.failure; }},
};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char ch : text)
        quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char ch : text) {
        if (ch == '"' || ch == '\\')
            out += {'\\', static_cast<char>(ch)};
        else if (ch < 0x20)
            out += "\\u00" + std::string{"0123456789abcdef"[ch >> 4], "0123456789abcdef"[ch & 15]};
        else
            out += static_cast<char>(ch);
    }
    return out + "\"";
}

std::string Html(const std::string& text) {
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

struct PlanLine {
    const char* title;
    const char* key;
    std::int64_t RunReport::*count;
};
const PlanLine kPlan[] = {
    {"予定数", "planned", &RunReport::planned},     {"記録済み", "recorded", &RunReport::recorded},
    {"不合格チップ", "failed_chips", &RunReport::failedChips}, {"確認待ち", "to_settle", &RunReport::toSettle},
    {"不合格チップに残った番号", "spoiled", &RunReport::spoiled}, {"残り", "left", &RunReport::left},
};

std::string Text(const RunReport& r) {
    std::string out = "管理ファイル: " + r.store + "\r\n設定: " + r.settings + "\r\n";
    for (const PlanLine& p : kPlan)
        out += std::string(p.title) + ": " + std::to_string(r.*p.count) + "\r\n";
    auto table = [&out](const char* heading, const std::map<std::string, Tally>& by) {
        out += std::string("\r\n") + heading + "\r\n";
        for (const auto& [name, t] : by)
            out += "  " + name + "  合格 " + std::to_string(t.passed) + "  不合格 " + std::to_string(t.failed) +
                   "  歩留まり " + Format("%.1f", t.yield()) + "%  " + Format("%.0f", t.perHour()) + " 個/時\r\n";
    };
    table("ステーション別", TallyBy(r.chips, Station));
    table("作業者別", TallyBy(r.chips, [](const ChipRecord& c) { return c.operatorName; }));
    out += "\r\nチップ\r\n";
    for (const ChipRecord& c : r.chips) {
        out += "  " + TimeText(c.at, false);
        for (const Field& f : kFields)
            if (std::string(f.key) != "time_utc")
                if (const std::string v = f.value(c); !v.empty())
                    out += "  " + std::string(f.key) + "=" + v;
        out += "\r\n";
    }
    return out;
}

std::string Csv(const RunReport& r) {
    std::string out;
    for (const Field& f : kFields)
        out += std::string(&f == kFields ? "" : ",") + f.key;
    out += "\r\n";
    for (const ChipRecord& c : r.chips) {
        for (const Field& f : kFields)
            out += (&f == kFields ? "" : ",") + CsvField(f.value(c));
        out += "\r\n";
    }
    return out;
}

std::string JsonTallies(const std::map<std::string, Tally>& by) {
    std::string out = "[";
    for (const auto& [name, t] : by)
        out += std::string(out.size() > 1 ? "," : "") + "{\"name\":" + Json(name) +
               ",\"passed\":" + std::to_string(t.passed) + ",\"failed\":" + std::to_string(t.failed) +
               ",\"yield\":" + Format("%.2f", t.yield()) + ",\"chips_per_hour\":" + Format("%.1f", t.perHour()) + "}";
    return out + "]";
}

std::string JsonReport(const RunReport& r) {
    std::string out = "{\"store\":" + Json(r.store) + ",\"settings\":" + Json(r.settings);
    for (const PlanLine& p : kPlan)
        out += ",\"" + std::string(p.key) + "\":" + std::to_string(r.*p.count);
    out += ",\"stations\":" + JsonTallies(TallyBy(r.chips, Station));
    out += ",\"operators\":" + JsonTallies(TallyBy(r.chips, [](const ChipRecord& c) { return c.operatorName; }));
    out += ",\"chips\":[";
    for (std::size_t i = 0; i < r.chips.size(); ++i) {
        out += i ? ",{" : "{";
        for (const Field& f : kFields) {
            const std::string v = f.value(r.chips[i]);
            const bool number = (std::string(f.key) == "serial" || std::string(f.key) == "seconds") && !v.empty();
            out += std::string(&f == kFields ? "" : ",") + "\"" + f.key + "\":" + (number ? v : Json(v));
        }
        out += "}";
    }
    return out + "]}\n";
}

const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2", "#17becf"};

// Passed chips per hour in equal slices of the run's time, one line per station.
std::string RateChart(const RunReport& r) {
    if (r.chips.empty())
        return "";
    Tally all;
    for (const ChipRecord& c : r.chips)
        all.add(c);
    constexpr int kSlices = 24, kW = 640, kH = 220, kLeft = 50, kBottom = 30;
    const double span = std::max(60.0, all.last - static_cast<double>(all.first));
    const double slice = span / kSlices;
    std::map<std::string, std::vector<double>> rates;
    for (const ChipRecord& c : r.chips) {
        auto& line = rates.try_emplace(Station(c), kSlices, 0.0).first->second;
        const int at = std::clamp(static_cast<int>((c.at - all.first) / slice), 0, kSlices - 1);
        line[at] += c.passed ? 3600.0 / slice : 0;
    }
    double top = 1;
    for (const auto& [name, line] : rates)
        top = std::max(top, *std::max_element(line.begin(), line.end()));
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kW + 160) + "\" height=\"" +
                      std::to_string(kH + kBottom) + "\" role=\"img\"><title>個/時</title>";
    svg += "<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(kH) + "\" x2=\"" +
           std::to_string(kW) + "\" y2=\"" + std::to_string(kH) + "\" stroke=\"#888\"/>";
    svg += "<text x=\"0\" y=\"12\" font-size=\"11\">" + Format("%.0f", top) + "</text>";
    svg += "<text x=\"0\" y=\"" + std::to_string(kH) + "\" font-size=\"11\">0</text>";
    svg += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kH + 20) + "\" font-size=\"11\">" +
           Html(TimeText(all.first, false)) + "</text>";
    int n = 0;
    for (const auto& [name, line] : rates) {
        const char* colour = kColours[n % std::size(kColours)];
        std::string points;
        for (int i = 0; i < kSlices; ++i)
            points += Format("%.0f,", kLeft + (i + 0.5) * (kW - kLeft) / kSlices) +
                      Format("%.0f ", kH - line[static_cast<std::size_t>(i)] / top * (kH - 20));
        svg += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\" points=\"" + points +
               "\"/><text x=\"" + std::to_string(kW + 10) + "\" y=\"" + std::to_string(20 + 16 * n) +
               "\" font-size=\"12\" fill=\"" + colour + "\">" + Html(name) + "</text>";
        ++n;
    }
    return svg + "</svg>";
}

// The failures by their reason, most frequent first.
std::string FailureChart(const RunReport& r) {
    std::map<std::string, int> causes;
    for (const ChipRecord& c : r.chips)
        if (!c.passed)
            ++causes[c.failure.empty() ? "?" : c.failure];
    if (causes.empty())
        return "<p>不合格はありません。</p>";
    std::vector<std::pair<int, std::string>> sorted;
    for (const auto& [cause, count] : causes)
        sorted.emplace_back(-count, cause);
    std::sort(sorted.begin(), sorted.end());
    const int most = -sorted.front().first;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"" +
                      std::to_string(24 * sorted.size() + 10) + "\" role=\"img\"><title>失敗の理由</title>";
    int y = 5;
    for (const auto& [negative, cause] : sorted) {
        const int width = std::max(2, 300 * -negative / most);
        svg += "<rect x=\"0\" y=\"" + std::to_string(y) + "\" width=\"" + std::to_string(width) +
               "\" height=\"18\" fill=\"#d62728\"/><text x=\"" + std::to_string(width + 6) + "\" y=\"" +
               std::to_string(y + 14) + "\" font-size=\"12\">" + std::to_string(-negative) + "  " + Html(cause) +
               "</text>";
        y += 24;
    }
    return svg + "</svg>";
}

std::string HtmlTallies(const char* heading, const std::map<std::string, Tally>& by) {
    std::string out = std::string("<h2>") + heading +
                      "</h2><table><tr><th></th><th>合格</th><th>不合格</th><th>歩留まり</th><th>個/時</th></tr>";
    for (const auto& [name, t] : by)
        out += "<tr><td>" + Html(name) + "</td><td>" + std::to_string(t.passed) + "</td><td>" +
               std::to_string(t.failed) + "</td><td>" + Format("%.1f%%", t.yield()) + "</td><td>" +
               Format("%.0f", t.perHour()) + "</td></tr>";
    return out + "</table>";
}

std::string HtmlReport(const RunReport& r) {
    std::string out =
        "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>シリアル番号 レポート</title><style>"
        "body{font-family:sans-serif;margin:1em}table{border-collapse:collapse;margin-bottom:1em}"
        "td,th{border:1px solid #bbb;padding:2px 6px;font-size:12px}.ng{background:#fdd}</style></head><body>";
    out += "<h1>シリアル番号 レポート</h1><p>" + Html(r.store) + "<br>" + Html(r.settings) + "</p><table>";
    for (const PlanLine& p : kPlan)
        out += "<tr><th>" + std::string(p.title) + "</th><td>" + std::to_string(r.*p.count) + "</td></tr>";
    out += "</table>" + HtmlTallies("ステーション別", TallyBy(r.chips, Station)) +
           HtmlTallies("作業者別", TallyBy(r.chips, [](const ChipRecord& c) { return c.operatorName; }));
    out += "<h2>個/時 (ステーション別)</h2>" + RateChart(r) + "<h2>失敗の理由</h2>" + FailureChart(r);
    out += "<h2>チップ</h2><table><tr>";
    for (const Field& f : kFields)
        out += "<th>" + std::string(f.title) + "</th>";
    out += "</tr>";
    for (const ChipRecord& c : r.chips) {
        out += c.passed ? "<tr>" : "<tr class=\"ng\">";
        for (const Field& f : kFields)
            out += "<td>" + Html(std::string(f.key) == "time_utc" ? TimeText(c.at, false) : f.value(c)) + "</td>";
        out += "</tr>";
    }
    return out + "</table></body></html>\n";
}

}  // namespace

std::optional<ReportFormat> ReportFormatFromName(const std::string& name) {
    if (name == "text")
        return ReportFormat::Text;
    if (name == "csv")
        return ReportFormat::Csv;
    if (name == "json")
        return ReportFormat::Json;
    if (name == "html")
        return ReportFormat::Html;
    return std::nullopt;
}

std::string ReportText(const RunReport& report, ReportFormat format) {
    switch (format) {
    case ReportFormat::Text: return Text(report);
    case ReportFormat::Csv: return Csv(report);
    case ReportFormat::Json: return JsonReport(report);
    case ReportFormat::Html: return HtmlReport(report);
    }
    return "";
}

}  // namespace vx
