// The run store on SQLite: one file on this PC, WAL journal, every commit
// synced (synchronous=FULL), waits for another station's transaction
// instead of a lock file. A reservation is held by a lock on one byte of
// STATEFILE-stations. With test faults, a VFS in front of the system's
// counts every write, sync, truncation and deletion of the store's files.
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "serialization/recordfile.h"
#include "serialization/sqllink.h"

namespace vx {

namespace {

constexpr int kBusyMs = 10000;

// While another station's transaction runs: short sleeps, so that waiting
// stations take turns within a millisecond or two rather than SQLite's
// growing steps, up to kBusyMs in all.
int WaitBriefly(void*, int count) {
    if (count >= kBusyMs)
        return 0;
    ::usleep(1000);
    return 1;
}

struct FaultVfs {
    sqlite3_vfs vfs{};
    sqlite3_vfs* real = nullptr;
    FaultPoints* faults = nullptr;
    std::string name;
};

// The real file follows this header in the same allocation.
struct FaultFile {
    sqlite3_file base;
    FaultVfs* owner;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<FaultFile*>(f)->real; }
FaultPoints& Faults(sqlite3_file* f) { return *reinterpret_cast<FaultFile*>(f)->owner->faults; }
const sqlite3_io_methods& Io(sqlite3_file* f) { return *Real(f)->pMethods; }
sqlite3_vfs* RealVfs(sqlite3_vfs* v) { return static_cast<FaultVfs*>(v->pAppData)->real; }

int FileClose(sqlite3_file* f) { return Io(f).xClose(Real(f)); }
int FileRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return Io(f).xRead(Real(f), b, n, o); }
int FileWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
    Faults(f).point();
    if (Faults(f).failWrite())
        return SQLITE_FULL;
    return Io(f).xWrite(Real(f), b, n, o);
}
int FileTruncate(sqlite3_file* f, sqlite3_int64 size) {
    Faults(f).point();
    return Io(f).xTruncate(Real(f), size);
}
int FileSync(sqlite3_file* f, int flags) {
    Faults(f).point();
    return Io(f).xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return Io(f).xFileSize(Real(f), size); }
int FileLock(sqlite3_file* f, int level) { return Io(f).xLock(Real(f), level); }
int FileUnlock(sqlite3_file* f, int level) { return Io(f).xUnlock(Real(f), level); }
int FileReserved(sqlite3_file* f, int* out) { return Io(f).xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return Io(f).xFileControl(Real(f), op, arg); }
int FileSector(sqlite3_file* f) { return Io(f).xSectorSize(Real(f)); }
int FileTraits(sqlite3_file* f) { return Io(f).xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
    return Io(f).xShmMap(Real(f), page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) { return Io(f).xShmLock(Real(f), offset, n, flags); }
void ShmBarrier(sqlite3_file* f) { Io(f).xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int remove) { return Io(f).xShmUnmap(Real(f), remove); }
int Fetch(sqlite3_file* f, sqlite3_int64 o, int n, void** out) { return Io(f).xFetch(Real(f), o, n, out); }
int Unfetch(sqlite3_file* f, sqlite3_int64 o, void* p) { return Io(f).xUnfetch(Real(f), o, p); }

const sqlite3_io_methods kFaultIo = {3,          FileClose,   FileRead,  FileWrite,    FileTruncate, FileSync,
                                     FileSize,   FileLock,    FileUnlock, FileReserved, FileControl,  FileSector,
                                     FileTraits, ShmMap,      ShmLock,   ShmBarrier,   ShmUnmap,     Fetch,
                                     Unfetch};

int VfsOpen(sqlite3_vfs* v, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* owner = static_cast<FaultVfs*>(v->pAppData);
    auto* f = reinterpret_cast<FaultFile*>(file);
    f->owner = owner;
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    const int rc = owner->real->xOpen(owner->real, name, f->real, flags, outFlags);
    // Closed through us whenever the real file wants closing.
    f->base.pMethods = f->real->pMethods ? &kFaultIo : nullptr;
    return rc;
}
int VfsDelete(sqlite3_vfs* v, const char* name, int syncDir) {
    static_cast<FaultVfs*>(v->pAppData)->faults->point();
    return RealVfs(v)->xDelete(RealVfs(v), name, syncDir);
}
int VfsAccess(sqlite3_vfs* v, const char* name, int flags, int* out) {
    return RealVfs(v)->xAccess(RealVfs(v), name, flags, out);
}
int VfsFullPath(sqlite3_vfs* v, const char* name, int n, char* out) {
    return RealVfs(v)->xFullPathname(RealVfs(v), name, n, out);
}
void* VfsDlOpen(sqlite3_vfs* v, const char* name) { return RealVfs(v)->xDlOpen(RealVfs(v), name); }
void VfsDlError(sqlite3_vfs* v, int n, char* out) { RealVfs(v)->xDlError(RealVfs(v), n, out); }
void (*VfsDlSym(sqlite3_vfs* v, void* h, const char* sym))(void) { return RealVfs(v)->xDlSym(RealVfs(v), h, sym); }
void VfsDlClose(sqlite3_vfs* v, void* h) { RealVfs(v)->xDlClose(RealVfs(v), h); }
int VfsRandom(sqlite3_vfs* v, int n, char* out) { return RealVfs(v)->xRandomness(RealVfs(v), n, out); }
int VfsSleep(sqlite3_vfs* v, int us) { return RealVfs(v)->xSleep(RealVfs(v), us); }
int VfsTime(sqlite3_vfs* v, double* out) { return RealVfs(v)->xCurrentTime(RealVfs(v), out); }
int VfsLastError(sqlite3_vfs* v, int n, char* out) { return RealVfs(v)->xGetLastError(RealVfs(v), n, out); }
int VfsTime64(sqlite3_vfs* v, sqlite3_int64* out) { return RealVfs(v)->xCurrentTimeInt64(RealVfs(v), out); }

std::unique_ptr<FaultVfs> MakeFaultVfs(FaultPoints& faults) {
    auto v = std::make_unique<FaultVfs>();
    v->real = sqlite3_vfs_find(nullptr);
    v->faults = &faults;
    v->name = "vormex-faults-" + std::to_string(reinterpret_cast<std::uintptr_t>(v.get()));
    sqlite3_vfs& x = v->vfs;
    x.iVersion = 2;
    x.szOsFile = static_cast<int>(sizeof(FaultFile)) + v->real->szOsFile;
    x.mxPathname = v->real->mxPathname;
    x.zName = v->name.c_str();
    x.pAppData = v.get();
    x.xOpen = VfsOpen;
    x.xDelete = VfsDelete;
    x.xAccess = VfsAccess;
    x.xFullPathname = VfsFullPath;
    x.xDlOpen = VfsDlOpen;
    x.xDlError = VfsDlError;
    x.xDlSym = VfsDlSym;
    x.xDlClose = VfsDlClose;
    x.xRandomness = VfsRandom;
    x.xSleep = VfsSleep;
    x.xCurrentTime = VfsTime;
    x.xGetLastError = VfsLastError;
    x.xCurrentTimeInt64 = VfsTime64;
    if (sqlite3_vfs_register(&x, 0) != SQLITE_OK)
        return nullptr;
    return v;
}

// "$1" as SQLite writes it: "?1".
std::string Numbered(const std::string& sql) {
    std::string out = sql;
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == '$' && out[i + 1] >= '0' && out[i + 1] <= '9')
            out[i] = '?';
    return out;
}

class SqliteLink : public SqlLink {
public:
    // storePath: "" for a file being built, whose reservations are copies.
    SqliteLink(sqlite3* db, std::unique_ptr<FaultVfs> vfs, const StationId& here, std::string storePath)
        : db_(db), vfs_(std::move(vfs)), here_(here), storePath_(std::move(storePath)),
          lockPath_(storePath_.empty() ? "" : storePath_ + "-stations") {}
    ~SqliteLink() override {
        if (lockFd_ >= 0)
            ::close(lockFd_);
        sqlite3_close_v2(db_);
        if (vfs_)
            sqlite3_vfs_unregister(&vfs_->vfs);
    }

    bool exec(const std::string& sql, const std::vector<std::string>& params, std::vector<SqlRow>* rows,
              std::string& error) override {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, Numbered(sql).c_str(), -1, &st, nullptr) != SQLITE_OK) {
            error = failure();
            return false;
        }
        for (std::size_t i = 0; i < params.size(); ++i)
            sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].data(), static_cast<int>(params[i].size()),
                              SQLITE_TRANSIENT);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (!rows)
                continue;
            SqlRow row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                row.push_back(text ? std::optional<std::string>(
                                         std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(st, c))))
                                   : std::nullopt);
            }
            rows->push_back(std::move(row));
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            error = failure();
            return false;
        }
        return true;
    }
    bool begin(bool durable, std::string& error) override {
        if (durable != durable_ &&
            !exec(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL", {}, nullptr, error))
            return false;
        durable_ = durable;
        return exec("BEGIN IMMEDIATE", {}, nullptr, error);
    }
    std::string failure() const {
        const int code = sqlite3_extended_errcode(db_);
        const char* says = (code & 0xFF) == SQLITE_FULL       ? kDiskFull
                           : (code & 0xFF) == SQLITE_READONLY ? kReadOnly
                                                              : sqlite3_errmsg(db_);
        return std::string("SQLite: ") + says + " (" + std::to_string(code) + ")";
    }
    bool readOnly() const override { return sqlite3_db_readonly(db_, "main") == 1; }
    const char* lockRowsSql() const override { return ""; }
    const char* tableSql() const override { return "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = $1"; }
    // WAL: readers never wait for a writer; FULL: a commit is on the disk when it returns.
    bool configure(std::string& error) override {
        if (readOnly())
            return true;  // it never writes
        std::vector<SqlRow> mode;
        if (!exec("PRAGMA journal_mode=WAL", {}, &mode, error) || !exec("PRAGMA synchronous=FULL", {}, nullptr, error))
            return false;
        if (mode.empty() || mode[0].empty() || mode[0][0] != "wal") {
            error = "SQLite: the store cannot keep a write-ahead log here";
            return false;
        }
        return true;
    }
    // A reservation is held by a lock on the byte at its token in a file
    // beside the store: the kernel lets it go when its station dies, in
    // whatever process namespace or container of this machine it ran.
    bool holderAlive(const StationId& station, std::int64_t token, std::string&) override {
        if (held_.count(token))
            return true;
        if (const auto known = StationAlive(station, here_))
            return *known;
        struct flock lock = byte(token, F_WRLCK);
        // A lock this link cannot look at is taken for a living station's.
        return !openLock() || ::fcntl(lockFd_, F_OFD_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
    }
    bool hold(std::int64_t token, std::string& error) override {
        struct flock lock = byte(token, F_WRLCK);
        if (!openLock() || ::fcntl(lockFd_, F_OFD_SETLK, &lock) != 0) {
            error = lockPath_ + " をロックできません。";
            return false;
        }
        held_.insert(token);
        return true;
    }
    void release(std::int64_t token) override {
        struct flock lock = byte(token, F_UNLCK);
        if (held_.erase(token))
            ::fcntl(lockFd_, F_OFD_SETLK, &lock);
    }
    std::string head(int bytes) {
        sqlite3_file* file = nullptr;
        std::string out(static_cast<std::size_t>(bytes), '\0');
        if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
            !file->pMethods || file->pMethods->xRead(file, out.data(), bytes, 0) != SQLITE_OK)
            return "";
        return out;
    }

private:
    static struct flock byte(std::int64_t token, short type) {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(token);
        lock.l_len = 1;
        return lock;
    }
    bool openLock() {
        if (lockFd_ < 0 && !lockPath_.empty()) {
            lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (lockFd_ >= 0)
                ShareLike(lockPath_, storePath_);
        }
        return lockFd_ >= 0;
    }

    sqlite3* db_;
    std::unique_ptr<FaultVfs> vfs_;
    StationId here_;
    std::string storePath_;
    std::string lockPath_;
    int lockFd_ = -1;
    std::set<std::int64_t> held_;
    bool durable_ = true;  // as configure() leaves it
};

// A file name as a URI path: its %, ? and # escaped.
std::string UriPath(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string SqliteFileHead(SqlLink& link, int bytes) {
    auto* sqlite = dynamic_cast<SqliteLink*>(&link);
    return sqlite ? sqlite->head(bytes) : "";
}

const char* const kDiskFull = "ディスクがいっぱいです";
const char* const kReadOnly = "読み取り専用です";

bool IsRoomError(const std::string& error) {
    return error.find(kDiskFull) != std::string::npos || error.find(kReadOnly) != std::string::npos;
}

std::unique_ptr<SqlLink> OpenSqliteLink(const std::string& path, bool create, FaultPoints& faults,
                                        const StationId& here, std::string& error, bool readOnly) {
    std::unique_ptr<FaultVfs> vfs;
    if (faults.active() && !(vfs = MakeFaultVfs(faults))) {
        error = "SQLite: the test VFS cannot be installed";
        return nullptr;
    }
    sqlite3* db = nullptr;
    // Read only, a reader leaves nothing the store's owner could not write:
    // while stations work, their log and shared memory are read, never
    // written; with no station at work the file is whole, and read alone.
    const bool working = ::access((path + "-wal").c_str(), F_OK) == 0 && ::access((path + "-shm").c_str(), F_OK) == 0;
    const std::string name =
        readOnly ? "file:" + UriPath(path) + (working ? "?mode=ro&readonly_shm=1" : "?mode=ro&immutable=1") : path;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE) |
                      (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(name.c_str(), &db, flags, vfs ? vfs->name.c_str() : nullptr) != SQLITE_OK) {
        error = std::string("SQLite: ") + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close_v2(db);
        if (vfs)
            sqlite3_vfs_unregister(&vfs->vfs);
        return nullptr;
    }
    sqlite3_busy_handler(db, WaitBriefly, nullptr);
    // A store file is input: its schema runs no triggers or views of its own.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    return std::make_unique<SqliteLink>(db, std::move(vfs), here, create ? "" : path);
}

}  // namespace vx
