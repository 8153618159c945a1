#include "device/devicefile.h"

#include <iconv.h>

#include <cstdint>
#include <functional>

namespace vx {

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t code;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

namespace {

std::optional<std::string> FromCp932(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    // A half-width katakana byte becomes three UTF-8 bytes, the worst case.
    std::string out(bytes.size() * 3 + 4, '\0');
    std::string in = bytes;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::optional<std::string> DecodeDatabaseText(const std::string& bytes) {
    if (IsValidUtf8(bytes)) {
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
            return bytes.substr(3);
        return bytes;
    }
    return FromCp932(bytes);
}

bool ForEachField(std::string_view text, const std::function<bool(std::string_view)>& take) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end;
        if (start < text.size())
            start += (text[start] == '\r' && start + 1 < text.size() && text[start + 1] == '\n') ? 2 : 1;

        std::size_t p = 0;
        for (;;) {
            while (p < line.size() && isBlank(line[p]))
                ++p;
            std::size_t comma;
            std::string_view field;
            if (p < line.size() && line[p] == '"') {
                const std::size_t close = line.find('"', p + 1);
                const std::size_t stop = close == std::string_view::npos ? line.size() : close;
                field = line.substr(p + 1, stop - p - 1);
                // Whatever follows the closing quote up to the next comma is dropped.
                comma = close == std::string_view::npos ? close : line.find(',', close);
            } else {
                comma = line.find(',', p);
                const std::size_t stop = comma == std::string_view::npos ? line.size() : comma;
                field = line.substr(p, stop - p);
            }
            if (!take(field))
                return false;
            if (comma == std::string_view::npos)
                break;
            p = comma + 1;
        }
    }
    return true;
}

std::vector<std::string> SplitFields(std::string_view text) {
    std::vector<std::string> fields;
    ForEachField(text, [&fields](std::string_view field) {
        fields.emplace_back(field);
        return true;
    });
    return fields;
}

std::string ExpandTabs(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t')
            out.append(8, ' ');
        else
            out += c;
    }
    return out;
}

}  // namespace vx
