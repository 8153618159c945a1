#include "image/textfields.h"

#include <fstream>
#include <iterator>

#include "image/convert.h"

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

std::vector<std::string> ReadTextFields(const std::string& content) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    const std::size_t size = content.size();
    while (pos < size) {
        while (pos < size && (content[pos] == ' ' || content[pos] == '\t'))
            ++pos;
        std::string field;
        if (pos < size && content[pos] == '"') {
            const std::size_t close = content.find('"', pos + 1);
            const std::size_t end = close == std::string::npos ? size : close;
            field = content.substr(pos + 1, end - pos - 1);
            pos = end == size ? size : end + 1;
            // Anything after the closing quote up to the separator is dropped.
            while (pos < size && content[pos] != ',' && !isLineEnd(content[pos]))
                ++pos;
        } else {
            const std::size_t start = pos;
            while (pos < size && content[pos] != ',' && !isLineEnd(content[pos]))
                ++pos;
            field = content.substr(start, pos - start);
            const auto last = field.find_last_not_of(' ');
            field.erase(last == std::string::npos ? 0 : last + 1);
        }
        if (pos < size && content[pos] == ',')
            ++pos;
        else
            skipLineEnd(content, pos);
        fields.push_back(std::move(field));
    }
    return fields;
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

}  // namespace vx
