// Placeholders until the history and the log land.
#include "app/history.h"
#include "app/oplog.h"

namespace vx {

void HistoryUpdate(Session&, const std::string&) {}
void HistoryChosen(Session&, int) {}
void HistoryClear(Session&) {}
void RotateLog(Session&, const std::string&) {}
void AppendVerdict(Session&) {}
void OpenLogFiles(Session&) {}

}  // namespace vx
