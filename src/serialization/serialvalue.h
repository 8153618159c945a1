// The serial value: a 64-bit signed fixed-point number with four decimal
// places, held as a count of ten-thousandths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx {

constexpr std::int64_t kSerialScale = 10000;

// Text of a box read in the display radix. Decimal: optional blanks and sign,
// digits with at most one "." (further decimals rounded, ties to even).
// Hexadecimal: digits 0-9 A-F (either case), no sign, no point; eight digits
// with the top bit set are a negative signed 32-bit value, as the conversion
// to hexadecimal writes one. nullopt for empty or malformed text and for
// values outside the fixed-point range.
std::optional<std::int64_t> ReadSerialText(const std::string& text, bool hex);

// Decimal form: the whole part, then "." and the decimals without trailing
// zeros when there are any ("-12.5", "7").
std::string SerialDecimalText(std::int64_t units);

// Rounded to a whole number, ties to even.
std::int64_t SerialWholeValue(std::int64_t units);

// Upper-case hexadecimal of a value in the signed 32-bit range after rounding
// (negative values as eight digits of their two's complement); nullopt
// outside that range.
std::optional<std::string> SerialHexText(std::int64_t units);

// An address text: hexadecimal digits (either case), read as unsigned, so
// that eight digits with the top bit set are an address like any other;
// nullopt for other text and beyond 64 bits.
std::optional<std::uint64_t> ReadSerialAddress(const std::string& text);

// The end address shown for a start address text (hexadecimal) and a byte
// count: the last address written, start + count - 1, in hexadecimal;
// nullopt when the text is unreadable or the end lies past the top.
std::optional<std::string> SerialEndAddressText(const std::string& startText, int byteCount);

// The low `byteCount` bytes (1..4) of the 64-bit two's-complement form of
// whole, most significant first, as two hex digits each joined by ":".
std::string SerialBytesText(std::int64_t whole, int byteCount);

// a + b, nullopt on overflow.
std::optional<std::int64_t> AddSerial(std::int64_t a, std::int64_t b);

}  // namespace vx
