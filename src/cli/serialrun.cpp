// Production runs from the command line: creating and showing a run,
// settling its numbers, and Program as one station of the run.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>

#include "cli/commands.h"
#include "link/comport.h"
#include "serialization/runstore.h"

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
    if (!RunStore::create(path, settings, error)) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine("created " + ShownStorePath(path));
    return kExitOk;
}

// The store and its run, gone stations' numbers settled first (unless this
// user may only read it); the note of a conversion printed.
std::unique_ptr<RunStore> openRun(Context& c, const std::string& path, std::optional<SerialRunState>& state) {
    std::string error, note;
    auto store = RunStore::open(path, error, &note);
    if (!note.empty())
        c.ui.printLine(note);
    if (store && !(state = store->load(error, !store->readOnly())))
        error = ShownStorePath(path) + ": " + error;
    if (!state) {
        printError(error);
        return nullptr;
    }
    return store;
}

void printRecordTail(Context& c) {
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
}

int showRun(Context& c, const SerialRunState& state) {
    const SerialRunSettings& s = state.settings;
    char line[256];
    std::snprintf(line, sizeof line, "mode %s  address 0x%llX  bytes %d", SerialModeName(s.mode),
                  static_cast<unsigned long long>(s.address), s.bytes);
    c.ui.printLine(line);
    c.ui.printLine("start " + std::to_string(s.start) + "  increment " + std::to_string(s.increment) +
                   "  quantity " + std::to_string(s.quantity));
    if (!state.movedTo.empty())
        c.ui.printLine("moved to " + ShownStorePath(state.movedTo));
    const auto next = state.nextValue();
    c.ui.printLine("recorded " + std::to_string(state.recorded()) + "  next " +
                   (next ? std::to_string(*next) : std::string("-")) + "  returned " +
                   std::to_string(state.count(NumberState::Returned)) + "  reserved " +
                   std::to_string(state.count(NumberState::Reserved)) + "  writing " +
                   std::to_string(state.count(NumberState::Writing)) + "  to settle " +
                   std::to_string(state.count(NumberState::Settle)));
    for (const auto& h : state.held) {
        if (h.state == NumberState::Returned)
            continue;
        const std::string who = h.station.host.empty() ? "process " + std::to_string(h.station.pid)
                                                       : h.station.host + " process " + std::to_string(h.station.pid);
        c.ui.printLine("  " + std::to_string(SerialValueAt(s, h.index)) + " " +
                       (h.state == NumberState::Settle ? std::string("to settle") : NumberStateName(h.state)) +
                       " (" + who + ")");
    }
    if (state.count(NumberState::Settle) > 0)
        c.ui.printLine("settle each with: vormex-cli serial STATEFILE --settle N used|free");
    printRecordTail(c);
    return kExitOk;
}

int settle(Context& c, RunStore& store, const SerialRunState& state) {
    const auto value = ParseSerialInteger(c.options.settleNumber);
    if (!value) {
        printError("--settle " + c.options.settleNumber + ": give the serial number in decimal or 0x hexadecimal");
        return kExitUsage;
    }
    const bool used = c.options.settleAs == "used";
    std::string error;
    if (!store.settle(*value, used, store.recordFile(recordPath(c)), SerialSettledLine(state.settings, *value), error,
                      c.options.stationGone)) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine("settled " + std::to_string(*value) + (used ? " as used" : " as free"));
    return kExitOk;
}

}  // namespace

int SerialCommand(Context& c) {
    const std::string& path = c.options.args[0];
    if (c.options.serialCreate())
        return createRun(c, path);
    std::optional<SerialRunState> state;
    const auto store = openRun(c, path, state);
    if (!store)
        return kExitUsage;
    if (!c.options.settleNumber.empty())
        return settle(c, *store, *state);
    if (c.options.listSettle) {
        for (const auto value : state->values(NumberState::Settle))
            c.ui.printLine(std::to_string(value));
        return kExitOk;
    }
    return showRun(c, *state);
}

int CheckSerialRun(Context& c) {
    std::string error, note;
    const auto store = RunStore::open(c.options.serialState, error, &note);
    if (!note.empty())
        c.ui.printLine(note);
    // The run itself, every row checked, before the board is searched.
    if (!store || !store->load(error)) {
        printError(store ? ShownStorePath(c.options.serialState) + ": " + error : error);
        return kExitUsage;
    }
    return kExitOk;
}

bool SerialHook::reserve(Session& s) { return station->reserve(s); }
bool SerialHook::place(Session& s) { return station->place(s); }
void SerialHook::finish(Session& s, Outcome outcome) {
    SaveSimState(c);
    station->finish(s, outcome);
}

std::unique_ptr<SerialHook> StartSerialStation(Context& c) {
    const int n = c.s.link.portNumber;
    std::string port = "COM" + std::to_string(n);
    const std::string path = ComDevicePath(c.s.settings, n);
    if (!path.empty() && path != port)
        port += " (" + path + ")";
    auto station = std::make_unique<SerialStation>(c.options.serialState, recordPath(c), port, StationStoreFaults());
    auto hook = std::make_unique<SerialHook>(c, std::move(station));
    c.s.ops.programHook = hook.get();
    return hook;
}

int SerialExitStatus(Context& c, SerialHook& hook, int status) {
    c.s.ops.programHook = nullptr;
    c.ui.flush();
    const SerialStation& station = *hook.station;
    if (const auto value = station.unrecorded()) {
        printError("the chip passed with serial " + std::to_string(*value) + ", but the run could not record it");
        return kExitUnrecorded;
    }
    if (station.stop != SerialStation::Stop::None)
        return kExitUsage;
    if (station.recorded)
        c.ui.printLine("serial " + std::to_string(station.lastValue) + " (" + station.lastBytes + ")");
    return status;
}

}  // namespace vx::cli
