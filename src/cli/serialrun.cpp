// Production runs from the command line: creating and showing a run file,
// and Program as one station of the run.
#include <cstdio>
#include <deque>
#include <fstream>

#include "cli/commands.h"
#include "link/comport.h"
#include "serialization/production.h"

namespace vx::cli {

namespace {

const char* const kRecordName = "SERIAL_LOG.txt";

void printError(const std::string& text) { std::fprintf(stderr, "vormex-cli: %s\n", text.c_str()); }

std::string recordPath(const Context& c) { return c.s.run.appDir + kRecordName; }

// One of the run's settings as typed; fallback when not given.
bool readSetting(const std::string& option, const std::string& text, std::int64_t fallback, std::int64_t& value) {
    if (text.empty()) {
        value = fallback;
        return true;
    }
    const auto parsed = ParseSerialInteger(text);
    if (!parsed) {
        printError(option + " " + text + ": give a whole number in the 64-bit range, decimal or 0x hexadecimal");
        return false;
    }
    value = *parsed;
    return true;
}

int createRun(Context& c, const std::string& path) {
    const Options& o = c.options;
    if (o.serialQuantity.empty() || o.serialAddress.empty()) {
        printError("serial: a new run needs --quantity and --address");
        return kExitUsage;
    }
    SerialRunSettings settings;
    std::int64_t bytes = 1;
    if (!readSetting("--start", o.serialStart, 0, settings.start) ||
        !readSetting("--increment", o.serialIncrement, 1, settings.increment) ||
        !readSetting("--quantity", o.serialQuantity, 0, settings.quantity) ||
        !readSetting("--address", o.serialAddress, 0, settings.address) ||
        !readSetting("--bytes", o.serialBytes, 1, bytes))
        return kExitUsage;
    settings.bytes = bytes >= 1 && bytes <= 4 ? static_cast<int>(bytes) : 0;
    const auto mode = SerialModeFromName(o.serialMode.empty() ? "retlw" : o.serialMode);
    if (!mode || *mode == SerialMode::Display) {
        printError("--mode " + o.serialMode + ": give retlw or eeprom");
        return kExitUsage;
    }
    settings.mode = *mode;
    std::string error;
    if (!SerialRunFile(path).create(settings, error)) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine("created " + path);
    return kExitOk;
}

int showRun(Context& c, const std::string& path) {
    std::string error;
    const auto state = SerialRunFile(path).load(error);
    if (!state) {
        printError(error);
        return kExitUsage;
    }
    const SerialRunSettings& s = state->settings;
    char line[256];
    std::snprintf(line, sizeof line, "mode %s  address 0x%llX  bytes %d", SerialModeName(s.mode),
                  static_cast<unsigned long long>(s.address), s.bytes);
    c.ui.printLine(line);
    c.ui.printLine("start " + std::to_string(s.start) + "  increment " + std::to_string(s.increment) +
                   "  quantity " + std::to_string(s.quantity));
    const auto next = state->nextFree();
    c.ui.printLine("recorded " + std::to_string(state->count) + "  next " +
                   (next ? std::to_string(SerialValueAt(s, *next)) : std::string("-")) + "  returned " +
                   std::to_string(state->returned.size()) + "  reserved " + std::to_string(state->reserved.size()));
    for (const auto& r : state->reserved)
        c.ui.printLine("  " + std::to_string(SerialValueAt(s, r.index)) + " reserved by process " +
                       std::to_string(r.station.pid) + (StationAlive(r.station) ? "" : " (gone)"));
    std::ifstream record(recordPath(c), std::ios::binary);
    std::deque<std::string> last;
    for (std::string text; std::getline(record, text);) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        last.push_back(text);
        if (last.size() > 5)
            last.pop_front();
    }
    if (!last.empty())
        c.ui.printLine(recordPath(c) + ":");
    for (const auto& text : last)
        c.ui.printLine("  " + text);
    return kExitOk;
}

}  // namespace

int SerialCommand(Context& c) {
    const std::string& path = c.options.args[0];
    return c.options.serialCreate() ? createRun(c, path) : showRun(c, path);
}

int CheckSerialRun(Context& c) {
    std::string error;
    if (!SerialRunFile(c.options.serialState).load(error)) {
        printError(error);
        return kExitUsage;
    }
    return kExitOk;
}

std::unique_ptr<SerialStation> StartSerialStation(Context& c) {
    const int n = c.s.link.portNumber;
    std::string port = "COM" + std::to_string(n);
    const std::string path = ComDevicePath(c.s.settings, n);
    if (!path.empty() && path != port)
        port += " (" + path + ")";
    auto station = std::make_unique<SerialStation>(c.options.serialState, recordPath(c), port);
    c.s.ops.programHook = station.get();
    return station;
}

int SerialExitStatus(Context& c, std::unique_ptr<SerialStation>& station, int status) {
    c.s.ops.programHook = nullptr;
    c.ui.flush();
    if (station->stop != SerialStation::Stop::None)
        return kExitUsage;
    if (station->recorded)
        c.ui.printLine("serial " + std::to_string(station->lastValue) + " (" + station->lastBytes + ")");
    return status;
}

}  // namespace vx::cli
