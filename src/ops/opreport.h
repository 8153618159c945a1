// What the user reads about the board operations, in one place: from an
// operation's report, the link fault (and the board shown as not found when
// the port closed), the protection note, the verify's difference lines, the
// note of the result and what a read shows (memory dumps, the OSCCAL and
// band-gap boxes). The operations only report; the workflows pass each
// report through Tell and go on by its result.
#pragma once

#include <optional>
#include <string>

#include "ops/boardops.h"
#include "session/session.h"

namespace vx {

Result Tell(Session& s, const OpReport& report);
// The EEPROM operations, which do nothing (nullopt) on a device without EEPROM bytes.
std::optional<Result> Tell(Session& s, const std::optional<OpReport>& report);

// The verdict's lines on a failed verify: the differing words of each area
// the workflow's verifies found different, and, when they share one
// pattern, what it points to, after `separator`. Empty when none differed.
std::string VerifyFindings(const Session& s, const std::string& separator);

// The main window's progress bar, for the operations' long transfers.
class ProgressBar : public Progress {
public:
    explicit ProgressBar(Session& s) : s_(s) {}
    void moved(int max, int value) override;
    void ended(int max) override;

private:
    Session& s_;
};

}  // namespace vx
