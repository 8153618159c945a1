// The main window's status: the note, the progress bar, the busy rule and
// the checks every command starts with, on the core's MainView.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

// How a note is shown: black, or red for what went wrong.
enum class Tone { Normal, Alert };

// True when a device is selected; else the request note and box.
bool CheckDeviceSelected(Session& s);

// The status note: message and suffix joined by a space. Red for an alert,
// and for a message that begins with "<<注意>>" (the prefix is shown).
void ShowNote(Session& s, const std::string& message, const std::string& suffix = "");
void ShowNote(Session& s, Tone tone, const std::string& message, const std::string& suffix = "");

// Shown at value of min..max, moving in steps of one percent of max; hidden
// when off or at max.
void ShowProgress(Session& s, bool on, int min, int max, int value);

void UpdateProgramButtonCaption(Session& s);
void ClearDeviceFields(Session& s);

// The hourglass while a workflow runs; also refuses other board commands.
void SetBusy(Session& s, bool busy);
// The busy rule without the hourglass, for a command that waits with the
// window alive; `note` is what a refused command is told, as an alert ("" =
// the board's).
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

// A board command's busy mark, from set() to the end of its scope; a
// command starts with no link fault recorded. The hourglass comes on only
// where the command asks for it.
class BusyMark {
public:
    explicit BusyMark(Session& s) : s_(s) {}
    ~BusyMark();
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;
    void set();
    void hourglass();

private:
    Session& s_;
    bool set_ = false;
    bool hourglass_ = false;
};

// The start of every command on the selected device: refused while a board
// command runs, then the device check. A board command passes its mark,
// which is set between the two, so the device question already finds the
// other commands refused.
enum class CommandStart { Go, Busy, NoDevice };
CommandStart StartDeviceCommand(Session& s, BusyMark* mark = nullptr);

}  // namespace vx
