#include "serialization/storefaults.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "serialization/production.h"

namespace vx {

std::optional<StoreFaults> ParseStoreFaults(const std::string& text) {
    StoreFaults faults;
    if (text == "full@commit") {
        faults.fullInCommit = true;
        return faults;
    }
    if (text.rfind("kill@writing+", 0) == 0) {
        const auto us = ParseSerialInteger(text.substr(13));
        if (!us || *us < 0)
            return std::nullopt;
        faults.killWritingUs = *us;
        return faults;
    }
    const auto k = text.rfind("kill@", 0) == 0 ? ParseSerialInteger(text.substr(5)) : std::nullopt;
    if (!k || *k < 1)
        return std::nullopt;
    faults.killAt = *k;
    return faults;
}

void FaultPoints::point() {
    if (faults_.killAt > 0 && ++count_ == faults_.killAt)
        ::kill(::getpid(), SIGKILL);
}

void FaultPoints::writing() {
    if (faults_.killWritingUs < 0)
        return;
    std::thread([us = faults_.killWritingUs] {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        ::kill(::getpid(), SIGKILL);
    }).detach();
}

bool FaultPoints::failWrite() {
    // Once in the process: a store opened again after the failure finds room.
    static std::atomic<bool> failed = false;
    return faults_.fullInCommit && inCommit_ && !failed.exchange(true);
}

}  // namespace vx
