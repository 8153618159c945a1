#include "serialization/recordfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "serialization/storefaults.h"

namespace vx {

std::string SerialTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

bool AppendRecord(const std::string& path, const std::string& line, FaultPoints& faults, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    const std::string text = line + "\r\n";
    bool ok = fd >= 0;
    if (ok) {
        faults.point();
        ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        faults.point();
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
    }
    if (!ok)
        error = path + " に記録できません。";
    return ok;
}

}  // namespace vx
