#include "serialization/recordfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <ctime>

#include "base/textfile.h"
#include "serialization/storefaults.h"

namespace vx {

namespace {

// A commit of the store and a record line need far less; below this the
// disk is taken for full.
constexpr unsigned long long kRoomBytes = 1 << 20;

bool Writable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

void ShareDescriptor(int fd, const std::string& like) {
    struct stat st {};
    if (like.empty() || ::stat(like.c_str(), &st) != 0)
        return;
    // Only a member of the store's group may hand the file to it; else it stays ours.
    if (::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0)
        return;
    ::fchmod(fd, st.st_mode & 0666);
}

}  // namespace

std::string SerialTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

bool AppendRecord(const std::string& path, const std::string& line, FaultPoints& faults, std::string& error,
                  const std::string& like) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0)
        ShareDescriptor(fd, like);
    else
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const std::string text = line + "\r\n";
    bool ok = fd >= 0;
    if (ok) {
        faults.point();
        const ssize_t written = ::write(fd, text.data(), text.size());
        ok = written == static_cast<ssize_t>(text.size());
        // Part of a line is taken back: the next record never joins it.
        if (const off_t end = ::lseek(fd, 0, SEEK_CUR); written > 0 && !ok && end >= written)
            ok = ::ftruncate(fd, end - written) != 0 && ok;
        faults.point();
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
    }
    if (!ok)
        error = path + " に記録できません。";
    return ok;
}

std::optional<std::string> NoRoomToRecord(const std::vector<std::string>& files) {
    for (const auto& file : files) {
        if (file.empty())
            continue;
        const std::string folder = FolderOf(file).empty() ? "." : FolderOf(file);
        struct statvfs disk {};
        struct stat st {};
        const bool there = ::stat(file.c_str(), &st) == 0;
        if (::statvfs(folder.c_str(), &disk) == 0 && (disk.f_flag & ST_RDONLY))
            return "シリアル番号の記録先 " + file + " は読み取り専用です。";
        if (there ? !Writable(file) : !Writable(folder))
            return "シリアル番号の記録先 " + (there ? file : folder) + " に書き込めません。";
        if (::statvfs(folder.c_str(), &disk) == 0 &&
            static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < kRoomBytes)
            return "シリアル番号の記録先 " + file + " のディスクがいっぱいです。";
    }
    return std::nullopt;
}

void ShareLike(const std::string& path, const std::string& like) {
    // By name, never through a descriptor of our own: closing one would drop
    // the locks SQLite's connections of this process hold on the file.
    struct stat st {}, store {};
    if (like.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        ::stat(like.c_str(), &store) != 0)
        return;
    if (::fchownat(AT_FDCWD, path.c_str(), static_cast<uid_t>(-1), store.st_gid, AT_SYMLINK_NOFOLLOW) == 0)
        ::chmod(path.c_str(), store.st_mode & 0666);
}

}  // namespace vx
