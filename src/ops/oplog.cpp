#include "ops/oplog.h"

#include <filesystem>
#include <fstream>

#include "base/convert.h"
#include "link/family.h"
#include "session/status.h"

namespace vx {

namespace {
constexpr std::uintmax_t kKeepOldAbove = 30;  // bytes; a stamp-only log is not kept
}

void RotateLog(Session& s, const std::string& startStamp) {
    namespace fs = std::filesystem;
    const fs::path log = s.run.appDir + "LOG.txt";
    std::error_code ec;
    if (fs::is_regular_file(log, ec)) {
        const auto size = fs::file_size(log, ec);
        if (!ec && size > kKeepOldAbove)
            fs::copy_file(log, s.run.appDir + "LOG_OLD.txt", fs::copy_options::overwrite_existing, ec);
    }
    std::ofstream out(log, std::ios::binary | std::ios::trunc);
    out << startStamp << "\r\n";
}

void AppendVerdict(Session& s, const std::string& findings) {
    std::string line = s.run.programResult + "  " + s.device.name;
    if (Traits(s.device.family).calibrated)
        line += "  " + s.run.calibCheckText;
    line += "  " + s.loader.loadedPath + (findings.empty() ? "" : "  " + findings) + "\r\n";
    std::ofstream out(s.run.appDir + "LOG.txt", std::ios::binary | std::ios::app);
    out << line;
}

void OpenLogFiles(Session& s) {
    bool any = false;
    for (const char* name : {"LOG_OLD.txt", "LOG.txt"}) {
        const std::string path = s.run.appDir + name;
        if (FileExists(path)) {
            s.processes.openWithAssociated(path);
            any = true;
        }
    }
    if (!any)
        ShowNote(s, "ログファイルがありませんでした。");
}

}  // namespace vx
