// The five-entry history of folders HEX files were loaded from.
#pragma once

#include <string>

#include "app/session.h"

namespace vx {

// Start-up: captions from OPEN_DIR1..5 / OPEN_Device1..5, visible when not "".
void HistoryRestore(Session& s);
// After a successful load: caption = folder in lower case + four spaces + device name.
void HistoryUpdate(Session& s, const std::string& caption);
void HistoryChosen(Session& s, int entry);  // entry 1..5
void HistoryClear(Session& s);

}  // namespace vx
