// The program's start and end on the core state: everything after the main
// window exists and the single-instance check passed, and the ending.
#pragma once

#include <functional>
#include <string>

#include "base/placement.h"
#include "session/session.h"

namespace vx {

std::string VersionLabel();  // "Ver " + major.minor.revision
std::string LocalTimeStamp();  // date, one space, time
std::string LocalTimeOfDay();  // the time alone, "HH:MM:SS"

// Start-up from the command line on: AppDir (already set by the front end) is
// normalised, the title, history, check marks, database, grid, port and
// board, device, options, log and board window follow in order. False when
// the database could not be read: the steps after it did not run.
bool Startup(Session& s, const std::string& commandLine,
             const std::function<std::string()>& startStamp = LocalTimeStamp);

// The ending: port closed, main window position saved, temporary files gone.
void Shutdown(Session& s, const WindowPlacement& mainWindow);

}  // namespace vx
