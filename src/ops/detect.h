// Finding and checking the programmer board.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

// Follows the port in the firmware label when the board that answered is the
// built-in simulated one: no chip is programmed there.
inline constexpr const char* kSimulatedBoardMark = "（シミュレーションボード・実機ではありません）";

void DetectBoard(Session& s);

// The quick check before every board command: three resets and "?" on the
// open port. Each state but Ready has shown its note (and box).
enum class BoardCheck {
    Ready,            // our board answered
    PortUnavailable,  // the port could not be opened
    Silent,           // no identification within its time-out
    Foreign,          // something answered that is not our board
};
BoardCheck CheckBoard(Session& s);

// Opens the port of s.link.portNumber (through its device path) unless it is
// open; on failure shows the port-in-use or the cannot-open note and box,
// clears the board-found flag and returns false.
bool OpenBoardPort(Session& s);

// The board search's exchange on the open port: "?" twice, the first answer
// (stale or half-woken) thrown away; the caller waits for the second.
void AskBoardIdentity(Session& s);

// The firmware label's "not found" state: "COM<n> : ライター未接続" on the
// button colour, and the board-found flag cleared.
void ShowBoardNotFound(Session& s);

}  // namespace vx
