// The core's ways out to what a test must stand in for: the serial port,
// the monotonic clock, the settings, the user (Ui), the watched HEX file and
// external programs. The window, the CLI and the tests each implement these;
// the core never touches Qt.
//
// The rest the core does itself, with the C++ library and POSIX, because the
// real thing serves the tests as well:
// - Its own files (HEX files, device.ini, logs, listings, the run store), in
//   folders the caller names; a file the user keeps (a HEX file, a listing)
//   is replaced through a synced temporary file (base/textfile.h).
// - The time of day (std::time, localtime_r), only for texts that are shown
//   or recorded: the verdict's time, the log's start stamp, the CLI's watch
//   lines and the production record. Nothing waits on it or compares it;
//   waits and time-outs run on Clock.
// - The OS's random source (getrandom) for random serial keys and salts.
// - The serial run store (serialization/), because what it promises (no
//   number on two chips, whatever dies when) rests on those exact calls and
//   on the order of their syncs:
//     stationid.cpp    gethostname, /proc/sys/kernel/random/boot_id and the
//                      start time in /proc/PID/stat: which station holds a
//                      number (its name; an earlier boot's is gone);
//     sqlitelink.cpp   fcntl OFD locks on a file beside the store: whether a
//                      station of this machine still runs, in whatever
//                      container or process namespace;
//     sqlitefile.cpp   open, fsync of the folder, link, rename, unlink, flock,
//                      access: a store file put in place whole and durably,
//                      opened for reading only by a user who cannot write it;
//     recordfile.cpp   open, write, ftruncate, fsync of the production record
//                      (its line whole on the disk before the number's
//                      commit), statvfs and access (room to record a chip,
//                      asked before the chip is written), fchown and chmod
//                      (files beside a shared store take its group and mode);
//     storefaults.cpp  kill(getpid(), SIGKILL): the test hooks only.
//   SQLite and libpq make their own file and socket calls beneath it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx {

using Bytes = std::vector<std::uint8_t>;

// Monotonic time: never jumps at midnight or when the wall clock is set.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() = 0;
    virtual void sleepMs(int ms) = 0;
};

// PermissionDenied: the device exists but this user may not open it.
enum class PortOpenResult { Ok, InUse, PermissionDenied, Failed };

// A serial port at 9600 8N1, no flow control. Names are device paths
// ("/dev/ttyS0", "/dev/pts/3") or "sim" for the built-in simulated board.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    virtual PortOpenResult open(const std::string& name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual void write(const Bytes& bytes) = 0;
    virtual int bytesAvailable() = 0;
    virtual Bytes readAll() = 0;
    virtual void discardInput() = 0;
    virtual void setRts(bool on) = 0;
    // Blocks until more bytes arrive or timeoutMs passes; true when bytes came.
    virtual bool waitForData(int timeoutMs) = 0;
};

// Per-user settings, section "Settings"; values are text, written whole.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> value(const std::string& key) const = 0;
    virtual void setValue(const std::string& key, const std::string& value) = 0;
    // True while nothing has ever been stored: the program's very first start.
    // A store that cannot tell says false, so nothing is set up on its behalf.
    virtual bool isEmpty() const { return false; }
};

enum class MsgIcon { None, Information, Warning, Critical, Question };
// NoYes: "はい" and "いいえ" with "いいえ" the default, for a question whose safe answer is no.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, NoYes };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    std::string title;
    std::string startDir;
    std::string filter;       // "Hexファイル|*.HEX|すべて|*.*" style
    std::string defaultName;  // save dialogs only
};

// Program found neither a good calibration word nor good band-gap bits on
// the chip, nor any in the session: the chip's factory values would be lost.
struct ChipValueQuestion {
    std::string text;           // what is missing, as the status note says it
    bool calibration = false;   // a calibration instruction is asked for
    bool bandGap = false;       // band-gap bits (0..3) are asked for
    std::string calibrationDefault;  // the database's values, as texts ("0x3480", "3")
    std::string bandGapDefault;
};
enum class ChipValueChoice { Cancel, Entered, UseDefault };
struct ChipValueAnswer {
    ChipValueChoice choice = ChipValueChoice::Cancel;
    std::string calibration;  // as typed, with Entered
    std::string bandGap;
};

// What the core asks of the front end. MainView (mainview.h) is the state the
// front end draws; viewChanged() tells it to draw again.
class Ui {
public:
    virtual ~Ui() = default;
    virtual void viewChanged() = 0;
    virtual void processEvents() = 0;
    virtual void setBusy(bool busy) = 0;
    virtual MsgAnswer messageBox(MsgIcon icon, const std::string& title, const std::string& text,
                                 MsgButtons buttons = MsgButtons::Ok) = 0;
    // The overwrite question before programming a chip that holds code:
    // 1 = "はい", 2 = "キャンセル".
    virtual int askOverwrite() = 0;
    virtual std::optional<std::string> openFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFileDialog(const FileDialogRequest& request) = 0;
    // Modal port window; returns when it closes.
    virtual void showPortWindow() = 0;
    // The chip in the socket is not the selected device, or no chip answered:
    // true goes on all the same. Unless the user says so, it stops.
    virtual bool askWrongChip([[maybe_unused]] const std::string& text) { return false; }
    // The values of a ChipValueQuestion; unless the user says otherwise, cancel.
    virtual ChipValueAnswer askChipValues([[maybe_unused]] const ChipValueQuestion& question) { return {}; }
};

// A file's size and modification time, as the HEX watch compares them.
struct FileStamp {
    bool regular = false;  // false: something else (a folder) stands at the path
    // A file that cannot be opened now is looked at again once it can be,
    // though its size and time stay as they were.
    bool readable = false;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// Looks at the watched HEX file. The window wakes on the system's change
// notices, the CLI polls; the decisions are the core's (app/hexwatch.h).
class FileWatcher {
public:
    virtual ~FileWatcher() = default;
    // Notices for path and its folder (so a file deleted and written again
    // is followed); "" stops them. A polling watcher needs none.
    virtual void watch([[maybe_unused]] const std::string& path) {}
    // nullopt: nothing at the path.
    virtual std::optional<FileStamp> stamp(const std::string& path) = 0;
};

// stamp() from the file system, for polling.
class PollingFileWatcher : public FileWatcher {
public:
    std::optional<FileStamp> stamp(const std::string& path) override;
};

struct ProcessId {
    std::int64_t value = -1;
    bool valid() const { return value >= 0; }
};

// External programs. Never through a shell: program and arguments are separate.
class Processes {
public:
    virtual ~Processes() = default;
    virtual ProcessId start(const std::string& program, const std::vector<std::string>& args,
                            const std::string& workDir) = 0;
    // As start(), with the program's standard output and error both written
    // to outputFile (replaced). One that cannot keep them starts it without.
    virtual ProcessId startLogged(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& workDir, [[maybe_unused]] const std::string& outputFile) {
        return start(program, args, workDir);
    }
    // nullopt while running, else the exit code.
    virtual std::optional<int> exitCode(ProcessId id) = 0;
    // The desktop's "open" action for a file (its associated application).
    virtual bool openWithAssociated(const std::string& path) = 0;
    // The desktop's default plain-text editor.
    virtual bool openInTextEditor(const std::string& path) = 0;
    // A page of the manual in the program's own help window.
    virtual bool showHelp(const std::string& path) { return openWithAssociated(path); }
};

}  // namespace vx
