// The operation log LOG.txt / LOG_OLD.txt in AppDir.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

void RotateLog(Session& s, const std::string& startStamp);
// One line per programming verdict; `findings` (what a failed verify found)
// ends it when given.
void AppendVerdict(Session& s, const std::string& findings = "");
void OpenLogFiles(Session& s);   // mnuLogFileOpen

}  // namespace vx
