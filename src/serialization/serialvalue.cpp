#include "serialization/serialvalue.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace vx {

namespace {

constexpr std::uint64_t kMagnitudeLimit = std::uint64_t{1} << 63;  // |INT64_MIN|

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// magnitude * factor + add, false when it passes the limit.
bool accumulate(std::uint64_t& magnitude, std::uint64_t factor, std::uint64_t add) {
    std::uint64_t product;
    if (__builtin_mul_overflow(magnitude, factor, &product) || __builtin_add_overflow(product, add, &magnitude))
        return false;
    return magnitude <= kMagnitudeLimit;
}

std::optional<std::int64_t> readHex(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int d = hexDigit(c);
        if (d < 0 || !accumulate(value, 16, static_cast<std::uint64_t>(d)))
            return std::nullopt;
    }
    if (text.size() == 8 && value >= 0x80000000u)
        return static_cast<std::int64_t>(static_cast<std::int32_t>(value)) * kSerialScale;
    std::uint64_t units = 0;
    if (!accumulate(units, 1, value) || !accumulate(units, kSerialScale, 0) || units >= kMagnitudeLimit)
        return std::nullopt;
    return static_cast<std::int64_t>(units);
}

std::optional<std::int64_t> readDecimal(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    std::uint64_t units = 0;
    int digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (!accumulate(units, 10, static_cast<std::uint64_t>(text[i++] - '0')))
            return std::nullopt;
        ++digits;
    }
    int decimals = 0;
    int lastKept = 0;
    int firstDropped = -1;  // the fifth decimal, for rounding
    bool droppedBeyond = false;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
            const int d = text[i++] - '0';
            ++digits;
            if (decimals < 4) {
                if (!accumulate(units, 10, static_cast<std::uint64_t>(d)))
                    return std::nullopt;
                lastKept = d;
                ++decimals;
            } else if (firstDropped < 0) {
                firstDropped = d;
            } else if (d != 0) {
                droppedBeyond = true;
            }
        }
    }
    while (i < n && text[i] == ' ')
        ++i;
    if (digits == 0 || i != n)
        return std::nullopt;
    for (; decimals < 4; ++decimals)
        if (!accumulate(units, 10, 0))
            return std::nullopt;
    if (firstDropped > 5 || (firstDropped == 5 && (droppedBeyond || lastKept % 2 != 0)))
        if (!accumulate(units, 1, 1))
            return std::nullopt;
    if (negative)
        return static_cast<std::int64_t>(0 - units);  // two's complement also covers INT64_MIN
    if (units >= kMagnitudeLimit)
        return std::nullopt;
    return static_cast<std::int64_t>(units);
}

}  // namespace

std::optional<std::int64_t> ReadSerialText(const std::string& text, bool hex) {
    return hex ? readHex(text) : readDecimal(text);
}

std::string SerialDecimalText(std::int64_t units) {
    const bool negative = units < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / kSerialScale);
    std::uint64_t fraction = magnitude % kSerialScale;
    if (fraction != 0) {
        std::string decimals = std::to_string(fraction + kSerialScale).substr(1);
        decimals.erase(decimals.find_last_not_of('0') + 1);
        text += "." + decimals;
    }
    return text;
}

std::int64_t SerialWholeValue(std::int64_t units) {
    std::int64_t whole = units / kSerialScale;
    const std::int64_t rest = units % kSerialScale;  // same sign as units
    const bool odd = whole % 2 != 0;
    if (rest > kSerialScale / 2 || (rest == kSerialScale / 2 && odd))
        ++whole;
    else if (rest < -kSerialScale / 2 || (rest == -kSerialScale / 2 && odd))
        --whole;
    return whole;
}

std::optional<std::string> SerialHexText(std::int64_t units) {
    const std::int64_t whole = SerialWholeValue(units);
    if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<std::uint32_t>(static_cast<std::int32_t>(whole)));
    return std::string(buffer);
}

std::optional<std::uint64_t> ReadSerialAddress(const std::string& text) {
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return value;
}

std::optional<std::string> SerialEndAddressText(const std::string& startText, int byteCount) {
    const auto start = ReadSerialAddress(startText);
    std::uint64_t end = 0;
    if (!start || byteCount < 1 || __builtin_add_overflow(*start, static_cast<std::uint64_t>(byteCount - 1), &end))
        return std::nullopt;
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%llX", static_cast<unsigned long long>(end));
    return std::string(buffer);
}

std::string SerialBytesText(std::int64_t whole, int byteCount) {
    const auto bits = static_cast<std::uint64_t>(whole);
    std::string text;
    char buffer[4];
    for (int b = byteCount - 1; b >= 0; --b) {
        std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned>((bits >> (8 * b)) & 0xFF));
        if (!text.empty())
            text += ':';
        text += buffer;
    }
    return text;
}

std::optional<std::int64_t> AddSerial(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return std::nullopt;
    return sum;
}

}  // namespace vx
