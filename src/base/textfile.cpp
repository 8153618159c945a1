#include "base/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

std::string errnoText() { return std::strerror(errno); }

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Where a write to path lands: a symbolic link is followed to its target, so
// that saving through the link keeps the link and changes the file it names.
std::string WriteTarget(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path target(path);
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}

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

bool WriteFileAtomically(const std::string& linkOrPath, const std::string& content, std::string& error) {
    namespace fs = std::filesystem;
    const std::string path = WriteTarget(linkOrPath);
    const fs::path target(path);
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        error = errnoText();
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (!ok)
        error = errnoText();
    // Keep the permissions an existing file had; a new one gets the usual mode.
    struct stat old {};
    if (ok) {
        const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
        ::fchmod(fd, mode);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errnoText();
    }
    if (ok && ::rename(pattern.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errnoText();
    }
    if (!ok)
        ::unlink(pattern.c_str());
    return ok;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string FirstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace vx
