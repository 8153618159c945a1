#include "serialization/stationid.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "base/textfile.h"
#include "serialization/production.h"

namespace vx {

namespace {

std::optional<std::int64_t> ProcessStart(std::int64_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    const auto paren = line.rfind(')');
    if (paren == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(paren + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            return ParseSerialInteger(field);
    return std::nullopt;
}

}  // namespace

StationId ThisStation() {
    StationId me;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        me.host = host;
    me.boot = FirstLineOf("/proc/sys/kernel/random/boot_id");
    me.pid = static_cast<std::int64_t>(::getpid());
    me.started = ProcessStart(me.pid).value_or(0);
    return me;
}

std::optional<bool> StationAlive(const StationId& station, const StationId& here) {
    if (station.boot == here.boot && !here.boot.empty())
        return std::nullopt;  // this kernel's: its lock tells
    // Another boot of this host is over; another machine is its own to judge.
    return station.host != here.host;
}

}  // namespace vx
