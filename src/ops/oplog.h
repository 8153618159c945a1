// The operation log LOG.txt / LOG_OLD.txt in AppDir.
#pragma once

#include <string>

#include "session/session.h"

namespace vx {

void RotateLog(Session& s, const std::string& startStamp);
void AppendVerdict(Session& s);  // one line per programming verdict
void OpenLogFiles(Session& s);   // mnuLogFileOpen

}  // namespace vx
