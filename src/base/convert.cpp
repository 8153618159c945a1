#include "base/convert.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>

namespace vx {

std::int32_t ParseNumber(std::string& text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto digitsInBase = [&](int base) -> std::int32_t {
        std::int64_t value = 0;
        for (std::size_t i = 2; i < text.size(); ++i) {
            const char c = text[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return -1;
            if (d >= base)
                return -1;
            value = value * base + d;
            if (value > std::numeric_limits<std::int32_t>::max())
                return -1;
        }
        return static_cast<std::int32_t>(value);
    };
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'B')
        return digitsInBase(2);
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'X')
        return digitsInBase(16);

    // Decimal: optional blanks and sign, digits, optional trailing blanks.
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::size_t firstDigit = i;
    std::int64_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i++] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return -1;
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == firstDigit || i != text.size())
        return -1;
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        return -1;
    return static_cast<std::int32_t>(value);
}

std::int32_t ParseNumber(const std::string& text) {
    std::string copy = text;
    return ParseNumber(copy);
}

void SplitWord(int value, int& high, int& low) {
    const auto word = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    high = word >> 8;
    low = word & 0xFF;
}

char HexDigitChar(int value) {
    if (value >= 0 && value <= 9)
        return static_cast<char>('0' + value);
    if (value >= 10 && value <= 15)
        return static_cast<char>('A' + value - 10);
    return '0';
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int HexWordFromDigits(const std::string& digits) {
    int value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value * 16 + (i < digits.size() ? HexDigitValue(digits[i]) : 0);
    return value;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::string line = text;
    if (const auto eq = line.find('='); eq != std::string::npos)
        line.replace(eq, 1, " = ");
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return {""};
    const auto last = line.find_last_not_of(' ');
    line = line.substr(first, last - first + 1);

    std::vector<std::string> tokens;
    std::size_t pos = 0;
    while (pos < line.size() && tokens.size() < 65) {
        const auto end = line.find(' ', pos);
        if (end == std::string::npos) {
            tokens.push_back(line.substr(pos));
            break;
        }
        tokens.push_back(line.substr(pos, end - pos));
        pos = line.find_first_not_of(' ', end);
        if (pos == std::string::npos)
            break;
    }
    return tokens;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine, int maxCount) {
    std::vector<std::string> args;
    bool open = false;
    for (char c : commandLine) {
        if (c == ' ' || c == '\t') {
            open = false;
            continue;
        }
        if (!open) {
            if (static_cast<int>(args.size()) >= maxCount)
                break;
            args.emplace_back();
            open = true;
        }
        args.back() += c;
    }
    return args;
}

std::optional<std::vector<std::string>> SplitShellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++i == text.size())
                return std::nullopt;
            word += text[i];
        } else if (c == '\'') {
            const auto close = text.find('\'', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            word += text.substr(i + 1, close - i - 1);
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i == text.size())
                    return std::nullopt;
                if (text[i] == '"')
                    break;
                // Inside double quotes a backslash escapes only these.
                if (text[i] == '\\' && i + 1 < text.size() && std::string("\\\"$`").find(text[i + 1]) != std::string::npos)
                    ++i;
                word += text[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec))
        return false;
    std::ifstream file(path, std::ios::binary);
    return file.is_open();
}

std::string HexText(std::uint32_t value, int width) {
    std::string out(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = HexDigitChar(static_cast<int>(value & 0xF));
        value >>= 4;
    }
    return out;
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string ShortestFloatText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<float>(value));
    return std::string(text, result.ptr);
}

}  // namespace vx
