// Stateless text and number helpers shared by the database, HEX files, the
// grid, the board protocol and the tool options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// "0x" hex, "0b" binary, else decimal; -1 on error or when the value does not
// fit a signed 32-bit integer. The text is upper-cased in place.
std::int32_t ParseNumber(std::string& text);
std::int32_t ParseNumber(const std::string& text);  // same, on a copy

// value taken as a signed 16-bit integer.
void SplitWord(int value, int& high, int& low);

// 0..15 -> "0".."F"; anything else -> '0'.
char HexDigitChar(int value);

// "0".."9" -> 0..9, "A".."F" -> 10..15, anything else (lower case too) -> 0.
int HexDigitValue(char c);
// Four digits d1..d4 -> d1*4096 + d2*256 + d3*16 + d4; shorter text reads as 0 digits.
int HexWordFromDigits(const std::string& digits);

// Tokenising of device.ini lines and history captions: the first "=" becomes
// a token of its own, tokens are separated by runs of spaces; at most 65.
// A text without tokens gives one empty token.
std::vector<std::string> SplitWords(const std::string& text);

// Arguments split at spaces and tabs, at most maxCount.
std::vector<std::string> SplitCommandLine(const std::string& commandLine, int maxCount = 10);

// Splits an options text into words as a POSIX shell would (blanks separate,
// '...' and "..." quote, backslash escapes) without expanding anything;
// nullopt when a quote is not closed or the text ends in a backslash.
std::optional<std::vector<std::string>> SplitShellWords(const std::string& text);

// True when path names a file that can be opened for reading (not a folder).
bool FileExists(const std::string& path);

// Upper-case hexadecimal, zero-padded on the left to width; longer values
// keep their last `width` digits.
std::string HexText(std::uint32_t value, int width);

// ASCII letters in lower case; other bytes as they are.
std::string LowerCase(std::string text);

// Without leading and trailing spaces and tabs.
std::string TrimBlanks(const std::string& text);

// The value in single precision, as its shortest decimal text (1500 -> "1500",
// 2.5 -> "2.5").
std::string ShortestFloatText(double value);

}  // namespace vx
