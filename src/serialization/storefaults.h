// The store's test hooks: a process killed at a chosen write or sync, or a
// disk that fills during a commit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx {

// Test hooks: each point where the store writes or syncs (SQLite's writes,
// syncs, truncations and deletions; a statement sent to PostgreSQL and its
// reply; the production record's write and sync) counts; at the k-th the
// process is killed. killWritingUs kills it that many microseconds after a
// number was marked writing, while its chip is written. fullInCommit fails
// the first write of one commit of the process as a full disk would.
struct StoreFaults {
    std::int64_t killAt = 0;
    std::int64_t killWritingUs = -1;
    bool fullInCommit = false;
};
// "kill@K", "kill@writing+US" or "full@commit" (from the environment of
// vormex-cli's tests).
std::optional<StoreFaults> ParseStoreFaults(const std::string& text);

// The test hooks of StoreFaults, counted for one store.
class FaultPoints {
public:
    explicit FaultPoints(const StoreFaults& faults) : faults_(faults) {}
    bool active() const { return faults_.killAt > 0 || faults_.fullInCommit; }
    // One write or sync point: the process dies at the chosen one.
    void point();
    // A number was marked writing: the chip's write begins.
    void writing();
    // Inside a commit: whether this write is the one that finds the disk full.
    void armCommit(bool on) { inCommit_ = on; }
    bool failWrite();

private:
    StoreFaults faults_;
    std::int64_t count_ = 0;
    bool inCommit_ = false;
};

class CommitFaults {
public:
    explicit CommitFaults(FaultPoints& faults) : faults_(faults) { faults_.armCommit(true); }
    ~CommitFaults() { faults_.armCommit(false); }
    CommitFaults(const CommitFaults&) = delete;
    CommitFaults& operator=(const CommitFaults&) = delete;

private:
    FaultPoints& faults_;
};

}  // namespace vx
