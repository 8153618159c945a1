#include "image/hexcheck.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/convert.h"
#include "image/hexrecords.h"

namespace vx {

namespace {

// The largest image (8K words, EEPROM, configuration) is some 50 KB of HEX;
// anything far bigger is not a HEX file for this programmer.
constexpr std::uintmax_t kMaxHexFileBytes = 16u << 20;

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The whole file, when it is a readable regular file of a sensible size.
HexFault readHexFileText(const std::string& path, std::string& text, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        error = path + ": no such file";
        return HexFault::Unreadable;
    }
    if (!fs::is_regular_file(status)) {
        error = path + ": not a regular file";
        return HexFault::Unreadable;
    }
    if (fs::file_size(path, ec) > kMaxHexFileBytes) {
        error = path + ": too large for an Intel HEX file of this programmer";
        return HexFault::Unreadable;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    if (!in || !(content << in.rdbuf())) {
        // An empty file reads nothing and fails the same way; it has no records either.
        if (in.is_open() && fs::file_size(path, ec) == 0) {
            error = path + ": no Intel HEX records (empty file)";
            return HexFault::NoRecords;
        }
        error = path + ": cannot be read";
        return HexFault::Unreadable;
    }
    text = content.str();
    return HexFault::None;
}

// One record line as the loader will read it; `where` names the line.
bool checkRecord(std::string_view field, const std::string& where, std::string& error,
                 std::vector<std::string>& warnings) {
    const std::string_view line = field.substr(0, field.find_last_not_of(" \t") + 1);
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (isUpperHex(line[i]))
            continue;
        if (std::isxdigit(static_cast<unsigned char>(line[i])))
            error = where + "lower-case hex digits (the loader would read them as 0)";
        else
            error = where + "not an Intel HEX record";
        return false;
    }
    if (line.size() < 11) {
        error = where + "not an Intel HEX record";
        return false;
    }
    const HexRecord record = ParseHexRecord(line);
    const std::size_t length = 11 + 2 * static_cast<std::size_t>(record.count);
    if (line.size() < length) {
        error = where + "record shorter than its byte count";
        return false;
    }
    int sum = 0;
    for (std::size_t i = 1; i < length; i += 2)
        sum += HexDigitValue(line[i]) * 16 + HexDigitValue(line[i + 1]);
    if (sum % 256 != 0)
        warnings.push_back(where + "record checksum is wrong (loaded anyway)");
    return true;
}

}  // namespace

HexFault CheckHexFile(const std::string& path, HexFileCheck& check) {
    std::string text;
    std::string& error = check.error;
    if (const HexFault fault = readHexFileText(path, text, error); fault != HexFault::None)
        return fault;
    // The loader's lines and records: what is checked here is what loads,
    // with the line numbers the window's notes use.
    int records = 0;
    const bool clean = ForEachHexLine(text, [&](int number, std::string_view field) {
        if (!IsHexRecordLine(field)) {
            check.linesBeforeFirstRecord += records == 0 ? 1 : 0;
            return true;  // not a record: the loader reports it and reads on
        }
        if (!checkRecord(field, path + ":" + std::to_string(number) + ": ", error, check.warnings))
            return false;
        ++records;
        return true;
    });
    if (!clean)
        return HexFault::BadLine;
    if (records == 0) {
        error = path + ": no Intel HEX records";
        return HexFault::NoRecords;
    }
    return HexFault::None;
}

}  // namespace vx
