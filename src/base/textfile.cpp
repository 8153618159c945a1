#include "base/textfile.h"

#include <fstream>
#include <iterator>

#include "base/convert.h"

namespace vx {

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Steps over one line end (CR LF counts as one).
void skipLineEnd(const std::string& text, std::size_t& pos) {
    if (pos < text.size() && text[pos] == '\r') {
        ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    } else if (pos < text.size() && text[pos] == '\n') {
        ++pos;
    }
}

// Bytes a UTF-8 sequence takes that starts with this byte; 1 for any other.
std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    return lead >= 0xC2 ? 2 : 1;
}

// A Shift_JIS lead byte: a second byte follows.
bool isShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

std::size_t Utf8CutLength(std::string_view head) {
    // The last sequence starts at most three bytes from the end.
    for (std::size_t back = 1; back <= 3 && back <= head.size(); ++back) {
        const auto c = static_cast<unsigned char>(head[head.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;  // a continuation byte: its lead lies further back
        return utf8Length(c) > back ? head.size() - back : head.size();
    }
    return head.size();
}

std::size_t ShiftJisCutLength(std::string_view head) {
    // Lead and second bytes share values: only a walk from the start tells them apart.
    std::size_t at = 0;
    while (at < head.size()) {
        const std::size_t length = isShiftJisLead(static_cast<unsigned char>(head[at])) ? 2 : 1;
        if (at + length > head.size())
            return at;
        at += length;
    }
    return head.size();
}

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = pos;
        while (end < content.size() && !isLineEnd(content[end]))
            ++end;
        lines.push_back(content.substr(pos, end - pos));
        pos = end;
        skipLineEnd(content, pos);
    }
    return lines;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    if (!FileExists(path))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string FirstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace vx
