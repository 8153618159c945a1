// The operator's screen (生産モード): while it is open the engineering
// window keeps its hands off what Program writes (session/status.h lists
// what is refused); leaving asks, and asks for the PIN when one is set.
// The PIN is kept only as a salted hash, and no note ever names what was typed.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

// The setting that holds the PIN's hash; empty or missing: no PIN.
constexpr const char* kProductionPinKey = "ProductionPin";

bool ProductionPinSet(const Session& s);
// A new PIN, or none for ""; false, with a note, when no hash could be made
// (the PIN stays as it was). Refused while the screen is open.
bool SetProductionPin(Session& s, const std::string& pin);

void EnterProductionMode(Session& s);
// Unlocks when no PIN is set or pin is the right one; a wrong one changes
// nothing but the note.
bool LeaveProductionMode(Session& s, const std::string& pin);

}  // namespace vx
