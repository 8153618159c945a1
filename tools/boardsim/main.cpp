// boardsim: the simulated programmer board on a pseudo-terminal, so the
// program's real serial path can talk to it.
//
//   boardsim [--device NAME [--ini FILE]] [--family F] [--words N] [--eeprom N]
//            [--calibration WORD|none] [--device-id WORD] [--protect MASK]
//            [--firmware VER] [--state FILE] [--link PATH] [--no-pacing]
//            [--fault NAME[=N]]...
// Prints the terminal's path on the first line of stdout, then serves until
// SIGINT or SIGTERM. --device takes the family, sizes and device ID of a
// device.ini entry (--ini, default ./device.ini); --device-id gives the chip
// another ID, as a chip that is not the device would have. --state keeps the chip in FILE between runs (read at
// start when present, written after every command that changed it and at
// exit). Faults: silence=N, endcode, abort=K, eeprom=K, foreign, short=N,
// delay=MS.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/devicedb.h"
#include "sim/simboard.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int Usage(const char* message) {
    std::cerr << "boardsim: " << message << "\n"
              << "usage: boardsim [--device NAME [--ini FILE]] [--family F] [--words N] [--eeprom N]\n"
                 "                [--calibration WORD|none] [--device-id WORD] [--protect MASK]\n"
                 "                [--firmware VER] [--state FILE] [--link PATH] [--no-pacing]\n"
                 "                [--fault NAME[=N]]...\n";
    return 2;
}

bool ParseInt(const std::string& text, int& value) {
    try {
        std::size_t used = 0;
        value = std::stoi(text, &used, 0);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

bool ApplyFault(vx::SimFaults& faults, const std::string& spec) {
    const auto eq = spec.find('=');
    const std::string name = spec.substr(0, eq);
    int n = 0;
    const bool hasValue = eq != std::string::npos && ParseInt(spec.substr(eq + 1), n);
    if (name == "endcode")
        faults.wrongEndCode = true;
    else if (name == "foreign")
        faults.foreignIdentification = true;
    else if (name == "silence" && hasValue)
        faults.silentAfterBytes = n;
    else if (name == "abort" && hasValue)
        faults.abortAtWord = n;
    else if (name == "eeprom" && hasValue)
        faults.eepromErrorAtCell = n;
    else if (name == "short" && hasValue)
        faults.shortReplyBy = n;
    else if (name == "delay" && hasValue)
        faults.byteDelayMs = n;
    else
        return false;
    return true;
}

// The family, sizes and device ID of a database entry; false when the file
// cannot be read or does not list the device.
bool TakeDevice(const std::string& ini, const std::string& name, std::string& family, int& words, int& eeprom,
                int& deviceId) {
    std::ifstream in(ini, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const auto text = vx::ParseDeviceText(bytes.str());
    if (!in || !text)
        return false;
    for (const vx::DeviceSummary& device : vx::DeviceIndexOf(*text)) {
        if (device.name != name)
            continue;
        family = device.family;
        words = device.programWords;
        eeprom = device.eepromBytes;
        deviceId = std::max(device.deviceId, 0);
        return true;
    }
    return false;
}

bool SaveState(const std::string& path, const vx::SimChip& chip) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << chip.save();
        if (!out.flush())
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    std::string family = "FLASH", statePath, linkPath, firmware = "4.01", device, ini = "device.ini";
    int words = 8192, eeprom = 256, protect = -1, deviceId = -1;
    std::optional<int> calibration;
    bool pacing = true;
    vx::SimFaults faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--no-pacing") {
            pacing = false;
        } else if (arg == "--family" && value(family)) {
        } else if (arg == "--state" && value(statePath)) {
        } else if (arg == "--link" && value(linkPath)) {
        } else if (arg == "--firmware" && value(firmware)) {
        } else if (arg == "--words" && value(v) && ParseInt(v, words)) {
        } else if (arg == "--eeprom" && value(v) && ParseInt(v, eeprom)) {
        } else if (arg == "--protect" && value(v) && ParseInt(v, protect)) {
        } else if (arg == "--device" && value(device)) {
        } else if (arg == "--ini" && value(ini)) {
        } else if (arg == "--device-id" && value(v) && ParseInt(v, deviceId) && deviceId >= 0 && deviceId <= 0x3FFF) {
        } else if (arg == "--calibration" && value(v)) {
            int c = -1;
            if (v != "none" && !ParseInt(v, c))
                return Usage("bad calibration word");
            calibration = c;
        } else if (arg == "--fault" && value(v)) {
            if (!ApplyFault(faults, v))
                return Usage("unknown fault");
        } else {
            return Usage(("bad argument: " + arg).c_str());
        }
    }

    int id = 0x0FC4;  // a chip of no particular device
    if (!device.empty() && !TakeDevice(ini, device, family, words, eeprom, id))
        return Usage(("no device " + device + " in " + ini).c_str());
    vx::SimChip chip(family, words, eeprom, calibration, protect, deviceId >= 0 ? deviceId : id);
    if (!statePath.empty() && std::filesystem::exists(statePath)) {
        std::ifstream in(statePath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        auto loaded = vx::SimChip::load(text.str());
        if (!loaded)
            return Usage("unreadable state file");
        chip = std::move(*loaded);
    }
    vx::SimBoard board(std::move(chip));
    board.pacing = pacing;
    board.faults = faults;
    board.firmwareVersion = firmware;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("boardsim: pseudo-terminal");
        return 1;
    }
    const std::string slavePath = ptsname(master);
    // Holding the slave open keeps the master readable while no client is
    // attached; raw mode so nothing is echoed or translated.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
        std::filesystem::create_symlink(slavePath, linkPath, ec);
        if (ec) {
            std::cerr << "boardsim: cannot link " << linkPath << ": " << ec.message() << "\n";
            return 1;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::cout << slavePath << std::endl;

    // Non-blocking, so a client that stops reading never wedges the board.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::vector<std::uint8_t> unsent;
    std::size_t savedLog = 0;
    std::int64_t lastInputUs = NowUs();
    while (!stopRequested) {
        const std::int64_t now = NowUs();
        const std::int64_t next = board.nextReadyUs();
        // To the microsecond: a wait rounded up to whole milliseconds would
        // add up to 1 ms to every paced reply byte.
        const std::int64_t waitUs = next >= 0 ? std::clamp<std::int64_t>(next - now, 0, 100'000) : 100'000;
        const timespec timeout{0, static_cast<long>(waitUs * 1000)};
        pollfd pfd{master, static_cast<short>(POLLIN | (unsent.empty() ? 0 : POLLOUT)), 0};
        const int ready = ppoll(&pfd, 1, &timeout, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (pfd.revents & POLLIN)) {
            unsigned char buffer[256];
            const ssize_t n = read(master, buffer, sizeof buffer);
            const std::int64_t at = NowUs();
            for (ssize_t i = 0; i < n; ++i)
                board.receive(buffer[i], at);
            if (n > 0)
                lastInputUs = at;
        }
        const auto out = board.takeReady(NowUs());
        unsent.insert(unsent.end(), out.begin(), out.end());
        if (!unsent.empty()) {
            const ssize_t n = write(master, unsent.data(), unsent.size());
            if (n > 0)
                unsent.erase(unsent.begin(), unsent.begin() + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        // Keep the chip once the line has been quiet for a moment.
        if (!statePath.empty() && board.log.size() != savedLog && NowUs() - lastInputUs > 100'000) {
            savedLog = board.log.size();
            if (!SaveState(statePath, board.chip))
                std::cerr << "boardsim: cannot write " << statePath << "\n";
        }
    }
    if (!statePath.empty())
        SaveState(statePath, board.chip);
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
    }
    if (slave >= 0)
        close(slave);
    close(master);
    return 0;
}
