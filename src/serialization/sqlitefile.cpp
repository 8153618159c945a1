#include "serialization/sqlitefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/textfile.h"
#include "serialization/recordfile.h"
#include "serialization/sqllink.h"
#include "serialization/storeschema.h"

namespace vx {

namespace {

bool SyncFolder(const std::string& path, std::string& error) {
    const std::string folder = FolderOf(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        error = folder + " を書き込めません。";
    return ok;
}

// This user may write the store: the file, and its folder or the files
// SQLite keeps beside it.
bool MayWrite(const std::string& path) {
    auto writable = [](const std::string& p) { return ::access(p.c_str(), W_OK) == 0; };
    const std::string folder = FolderOf(path).empty() ? "." : FolderOf(path);
    return writable(path) && (writable(folder) || (writable(path + "-wal") && writable(path + "-shm")));
}

}  // namespace

// A new store file: built beside the target, then put in place at once, so
// a crash never leaves half a store. replace: over an existing file.
bool BuildStoreFile(const std::string& path, const std::function<bool(SqlLink&, std::string&)>& fill, bool replace,
                    std::string& error) {
    const std::string temp = path + ".new" + std::to_string(::getpid());
    auto removeTemp = [&] {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((temp + suffix).c_str());
    };
    removeTemp();
    bool ok = false;
    {
        FaultPoints none({});
        if (auto link = OpenSqliteLink(temp, true, none, {}, error)) {
            Tx tx(*link);
            ok = link->configure(error) && tx.begin(error) && RunSchema(*link, error) && fill(*link, error) &&
                 tx.commit(error);
        }
    }
    struct stat st {};
    if (ok && ::stat((temp + "-wal").c_str(), &st) == 0) {
        error = temp + "-wal が残っています。";
        ok = false;
    }
    if (ok && replace && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + " を更新できません。";
        ok = false;
    } else if (ok && !replace && ::link(temp.c_str(), path.c_str()) != 0) {
        error = errno == EEXIST ? path + " はすでにあります。" : path + " を作れません。";
        ok = false;
    }
    removeTemp();
    if (ok && !SyncFolder(path, error))
        ok = false;
    return ok;
}

// A SQLite store file; a text run converted into one first; else nothing.
std::unique_ptr<SqlLink> OpenStoreFile(const std::string& path, FaultPoints& faults, std::string& error,
                                       std::string* note) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "シリアル番号の管理ファイルを開けません。";
        return nullptr;
    }
    auto link = OpenSqliteLink(path, false, faults, ThisStation(), error, !MayWrite(path));
    if (!link || SqliteFileHead(*link, 16) == std::string("SQLite format 3", 16))
        return link;
    link.reset();
    // A run file of the earlier form is a few lines: anything far larger is
    // refused unread.
    constexpr off_t kTextRunMax = 16 << 20;
    if (st.st_size > kTextRunMax) {
        error = kNotARun;
        return nullptr;
    }
    std::string first = FirstLineOf(path);  // no SQLite connection holds a text file
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    if (first != kTextRunHeader) {
        error = kNotARun;
        return nullptr;
    }
    // Converted once, under the lock earlier releases kept beside the file.
    const int fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        if (fd >= 0)
            ::close(fd);
        error = "シリアル番号の管理ファイルをロックできません。";
        return nullptr;
    }
    std::string done;
    const bool ok = FirstLineOf(path).rfind(kTextRunHeader, 0) != 0 || ConvertTextRun(path, path, done, error);
    ::close(fd);
    if (note)
        *note = done;
    return ok ? OpenSqliteLink(path, false, faults, ThisStation(), error) : nullptr;
}

bool ConvertTextRun(const std::string& textPath, const std::string& dbPath, std::string& note, std::string& error) {
    std::string text;
    ReadWholeFile(textPath, text);  // unreadable: empty, which the parser refuses
    const auto run = ParseTextRun(text, error);
    if (!run)
        return false;
    // The earlier form knew no writing state: any reserved number may be in a chip.
    auto fill = [&run](SqlLink& link, std::string& err) {
        if (!InsertRun(link, 1, run->settings, run->nextIndex, SerialTimeText(), err))
            return false;
        for (const auto index : run->returned)
            if (!InsertNumber(link, 1, run->settings, {index, NumberState::Returned, {}, 0}, err))
                return false;
        for (const auto& r : run->reserved)
            if (!InsertNumber(link, 1, run->settings,
                              {r.index, NumberState::Settle, {"", "", r.pid, r.started}, RandomToken()}, err))
                return false;
        return true;
    };
    const std::string kept = textPath + ".old";
    if (!WriteFileAtomically(kept, text, error) || !BuildStoreFile(dbPath, fill, true, error))
        return false;
    if (textPath != dbPath)
        ::unlink(textPath.c_str());
    note = "シリアル番号の管理ファイル " + textPath + " を新しい形式に変換しました (元のファイルは " + kept + ")。";
    return true;
}

}  // namespace vx
