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

}  // namespace

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

}  // namespace vx
