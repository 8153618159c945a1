// The watch of the HEX file loaded last ("HEXファイルの変更を監視") and the
// Program after each reload ("変更時に自動書込み"). The front end only calls
// tick(): on the system's change notices and then every ~100 ms while tick()
// says a change is settling (the window), or in a polling loop (the CLI).
#pragma once

#include <optional>
#include <string>

#include "base/seams.h"
#include "ops/workflows.h"
#include "session/session.h"

namespace vx {

// An assembler writes its HEX file in pieces: a file is loaded only once
// its size and time have stood still this long.
constexpr int kWatchSettleMs = 300;

class HexWatch {
public:
    // clock: real time for the settling, also when the board's time is simulated.
    HexWatch(Session& s, FileWatcher& files, Clock& clock) : s_(s), files_(files), clock_(clock) {}

    // Watches path from its present state on ("" stops).
    void follow(const std::string& path);
    const std::string& path() const { return path_; }

    // One look at the file; true while a change is settling (look again soon).
    bool tick();

    // What the last settled change gave: the Program's outcome, or nullopt
    // when nothing was programmed (no auto mode, refused, a bad file).
    int reloads() const { return reloads_; }
    std::optional<Outcome> lastProgram() const { return lastProgram_; }

private:
    void settled(const FileStamp& stamp);

    Session& s_;
    FileWatcher& files_;
    Clock& clock_;
    std::string path_;
    std::optional<FileStamp> loaded_;     // as the file stood when loaded last
    std::optional<FileStamp> candidate_;  // a change, while it settles
    bool settling_ = false;
    std::int64_t since_ = 0;
    int reloads_ = 0;
    int ownWrites_ = 0;  // s.loader.ownWrites as last taken
    std::optional<Outcome> lastProgram_;
};

// Why the watch must not Program now ("" = it may): not for a part that
// cannot be erased, nor under a running command, nor while serialization
// in a write mode owns Program (its numbers are taken by the operator's runs).
std::string AutoProgramRefusal(const Session& s);

// The option marks and their settings "WatchHex" and "AutoProgram".
void ToggleWatchHex(Session& s);     // mnuWatchHex
void ToggleAutoProgram(Session& s);  // mnuAutoProgram

}  // namespace vx
