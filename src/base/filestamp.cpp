#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/seams.h"

namespace vx {

std::optional<FileStamp> PollingFileWatcher::stamp(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        return std::nullopt;
    FileStamp stamp;
    stamp.regular = fs::is_regular_file(status);
    if (stamp.regular) {
        stamp.size = static_cast<std::int64_t>(fs::file_size(path, ec));
        const auto time = fs::last_write_time(path, ec);
        stamp.modifiedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
        stamp.readable = std::ifstream(path, std::ios::binary).is_open();
    }
    return stamp;
}

}  // namespace vx
