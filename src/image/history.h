// The five-entry history of folders HEX files were loaded from.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

// Start-up: captions from OPEN_DIR1..5 / OPEN_Device1..5, visible when not "".
void HistoryRestore(Session& s);
// An entry's caption: the folder, four spaces, the device name.
std::string HistoryCaption(const std::string& folder, const std::string& device);
// After a successful load, with the HistoryCaption of the file's folder.
void HistoryUpdate(Session& s, const std::string& caption);
void HistoryChosen(Session& s, int entry);  // entry 1..5
void HistoryClear(Session& s);

}  // namespace vx
