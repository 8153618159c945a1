#include "image/hexrecords.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/convert.h"
#include "device/devicefile.h"

namespace vx {

namespace {

// HexDigitValue's rule as a table: every digit of a loaded file is read here.
const std::array<std::uint8_t, 256> kDigitValue = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(HexDigitValue(static_cast<char>(c)));
    return table;
}();

int byteAt(std::string_view line, std::size_t pos) {
    return kDigitValue[static_cast<unsigned char>(line[pos])] * 16 + kDigitValue[static_cast<unsigned char>(line[pos + 1])];
}

}  // namespace

bool ForEachHexLine(std::string_view text, const std::function<bool(int, std::string_view)>& take) {
    int number = 0;
    return ForEachField(text, [&](std::string_view line) { return take(++number, line); });
}

HexRecord ParseHexRecord(std::string_view text) {
    // Characters past the end of the line read as "0": pad a short line once
    // (the longest record reads up to its checksum, 11 + 2 * 255 characters).
    constexpr std::size_t kLongest = 11 + 2 * 255;
    std::array<char, kLongest> padded;
    std::string_view line = text;
    if (line.size() < kLongest) {
        padded.fill('0');
        std::copy(text.begin(), text.end(), padded.begin());
        line = std::string_view(padded.data(), padded.size());
    }
    HexRecord r;
    r.count = byteAt(line, 1);
    r.address = byteAt(line, 3) * 256 + byteAt(line, 5);
    r.type = byteAt(line, 7);
    r.dataShort = text.size() < static_cast<std::size_t>(9 + 2 * r.count);
    const std::size_t wordCount = r.count > 0 ? static_cast<std::size_t>(2 * r.count - 1) / 4 + 1 : 0;
    r.words.reserve(wordCount);
    for (std::size_t k = 0; k < wordCount; ++k)
        r.words.emplace_back(byteAt(line, 11 + 4 * k), byteAt(line, 9 + 4 * k));
    return r;
}

}  // namespace vx
