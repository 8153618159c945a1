#include "image/hexrecords.h"

#include "device/devicefile.h"
#include "image/convert.h"

namespace vx {

namespace {

int digitAt(std::string_view line, std::size_t pos) { return pos < line.size() ? HexDigitValue(line[pos]) : 0; }
int byteAt(std::string_view line, std::size_t pos) { return digitAt(line, pos) * 16 + digitAt(line, pos + 1); }

}  // namespace

std::vector<std::string> HexFileLines(std::string_view text) { return SplitFields(text); }

HexRecord ParseHexRecord(std::string_view line) {
    HexRecord r;
    r.count = byteAt(line, 1);
    r.address = byteAt(line, 3) * 256 + byteAt(line, 5);
    r.type = byteAt(line, 7);
    r.dataShort = line.size() < static_cast<std::size_t>(9 + 2 * r.count);
    const std::size_t wordCount = r.count > 0 ? static_cast<std::size_t>(2 * r.count - 1) / 4 + 1 : 0;
    r.words.reserve(wordCount);
    for (std::size_t k = 0; k < wordCount; ++k)
        r.words.emplace_back(byteAt(line, 11 + 4 * k), byteAt(line, 9 + 4 * k));
    return r;
}

}  // namespace vx
