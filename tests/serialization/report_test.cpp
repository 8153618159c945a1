// The report of a run: counts that add up, each chip once in every form,
// texts escaped for their form, and HTML that fetches nothing.
#include <gtest/gtest.h>

#include "serialization/report.h"

using namespace vx;

namespace {

ChipRecord Chip(std::int64_t at, const std::string& host, const std::string& op, bool passed,
                const std::string& failure = "") {
    ChipRecord c;
    c.at = at;
    c.host = host;
    c.user = "line";
    c.operatorName = op;
    c.device = "PIC16F84A";
    c.hexSha256 = std::string(64, 'a');
    c.imageSha256 = std::string(64, 'b');
    c.serial = at;
    c.passed = passed;
    c.seconds = 4;
    c.failure = failure;
    return c;
}

RunReport ThreeChipRun() {
    RunReport r;
    r.store = "run.db";
    r.settings = "retlw 0x3F0 2 bytes";
    r.planned = 10;
    r.recorded = 3;
    r.failedChips = 1;
    r.left = 6;
    // Station a: 3 passed in one hour (from 0 to 3600 s); station b: one failure.
    r.chips = {Chip(0, "a", "Sato", true), Chip(1800, "a", "Sato", true), Chip(3596, "a", "Kato", true),
               Chip(100, "b", "Kato", false, "ベリファイ エラー, \"EEPROM\"\n<b>")};
    return r;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(RunReport, StationsAndOperatorsAddUp) {
    const std::string text = ReportText(ThreeChipRun(), ReportFormat::Text);
    EXPECT_NE(text.find("line@a  合格 3  不合格 0  歩留まり 100.0%  3 個/時"), std::string::npos) << text;
    EXPECT_NE(text.find("line@b  合格 0  不合格 1  歩留まり 0.0%  0 個/時"), std::string::npos) << text;
    EXPECT_NE(text.find("Kato  合格 1  不合格 1  歩留まり 50.0%"), std::string::npos) << text;
    EXPECT_NE(text.find("予定数: 10"), std::string::npos);
    EXPECT_NE(text.find("残り: 6"), std::string::npos);
}

TEST(RunReport, EveryChipOnceInEachFormEscapedForIt) {
    const RunReport run = ThreeChipRun();
    const std::string csv = ReportText(run, ReportFormat::Csv);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "time_utc,station,operator,device,device_id,calibration,band_gap,checksum,hex_sha256,image_sha256,"
              "serial,verdict,seconds,failure");
    // The failure's comma, quotes and line end stay inside one quoted field.
    EXPECT_EQ(Count(csv, "\r\n"), run.chips.size() + 1);
    EXPECT_NE(csv.find(",failed,4.0,\"ベリファイ エラー, \"\"EEPROM\"\"\n<b>\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("1970-01-01T00:30:00Z,line@a,Sato"), std::string::npos);

    const std::string json = ReportText(run, ReportFormat::Json);
    EXPECT_EQ(Count(json, "\"verdict\":"), run.chips.size());
    EXPECT_NE(json.find("\"failure\":\"ベリファイ エラー, \\\"EEPROM\\\"\\u000a<b>\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"serial\":1800,"), std::string::npos);

    const std::string html = ReportText(run, ReportFormat::Html);
    EXPECT_EQ(Count(html, "<tr class=\"ng\">"), 1u);
    EXPECT_NE(html.find("&lt;b&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_EQ(Count(html, "<svg"), 2u);  // the rate per station and the causes of failure
    for (const char* fetch : {"<script", "src=", "href=", "@import", "url("})
        EXPECT_EQ(html.find(fetch), std::string::npos) << fetch;
}

TEST(RunReport, FormatNames) {
    EXPECT_EQ(ReportFormatFromName("csv"), ReportFormat::Csv);
    EXPECT_EQ(ReportFormatFromName("html"), ReportFormat::Html);
    EXPECT_FALSE(ReportFormatFromName("pdf"));
}
