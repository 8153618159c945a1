// Shared display routines of the main window, on the core's MainView.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

// "OK" when a device is selected; else the request note and box, "NG".
std::string CheckDeviceSelected(Session& s);

// The status note: a "red" prefix (any case) is dropped and shown red, a
// "<<注意>>" prefix is kept and shown red, anything else black.
void ShowNote(Session& s, const std::string& message, const std::string& suffix = "");

// mode "ON"/"OFF"; the bar moves in steps of one percent of max.
void ShowProgress(Session& s, const std::string& mode, int min, int max, int value);

void UpdateProgramButtonCaption(Session& s);
void ClearDeviceFields(Session& s);

// The hourglass while a workflow runs; also refuses other board commands.
void SetBusy(Session& s, bool busy);
// The busy rule without the hourglass, for a command that waits with the
// window alive; `note` is what a refused command is told ("" = the board's).
void MarkRunning(Session& s, bool running, const std::string& note = "");

// While a board command runs, every command that talks to the board, changes
// the device, the image or the port, or ends the program is refused: a second
// command would interleave bytes on the line or change what is being written.
// `command` is the object name of its menu entry, button or box; the window
// disables exactly these.
bool IsRefusedWhileBusy(const MainView& view, const std::string& command);
// Called first by each of those commands: true, with a note, while a board
// command runs; the caller then does nothing.
bool RefuseWhileBusy(Session& s);

// While the operator's screen is open, what Program writes stays as it was
// when the screen opened: the device, the image (load, reload, watch, build),
// the configuration word and ID, the serialization settings; the program
// does not end under it either (leaving goes through the screen).
bool IsRefusedWhileLocked(const MainView& view, const std::string& command);
// Called first by each of those changes: true, with a note, while locked.
bool RefuseWhileLocked(Session& s);
// What the windows disable: refused while busy or while locked.
bool IsCommandRefused(const MainView& view, const std::string& command);

}  // namespace vx
