// Production runs from the command line: creating and showing a run,
// settling its numbers, and Program as one station of the run.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>

#include "cli/commands.h"
#include "base/textfile.h"
#include "link/comport.h"
#include "serialization/numberlist.h"
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

// The run of a customer's list: placement and values from the file, every
// record checked before anything is created.
int createListedRun(Context& c, const std::string& path) {
    if (const int status = SelectCliDevice(c); status != kExitOk)
        return status;
    std::string text, error;
    if (!ReadWholeFile(c.options.fromSqtp, text)) {
        printError(c.options.fromSqtp + ": cannot be read");
        return kExitUsage;
    }
    const auto list = ParseSqtp(text, c.s.device, error);
    if (!list) {
        printError(c.options.fromSqtp + ": " + error);
        return kExitUsage;
    }
    SerialRunSettings settings;
    settings.mode = list->mode;
    settings.address = list->address;
    settings.bytes = list->bytes;
    settings.quantity = static_cast<std::int64_t>(list->values.size());
    settings.source = SerialSource::List;
    if (!RunStore::create(path, settings, error, list->values)) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine("created " + ShownStorePath(path) + " with " + std::to_string(settings.quantity) +
                   " values from " + c.options.fromSqtp);
    return kExitOk;
}

int createRun(Context& c, const std::string& path) {
    const Options& o = c.options;
    if (!o.fromSqtp.empty())
        return createListedRun(c, path);
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
    std::vector<std::int64_t> keys;
    if (o.randomKeys) {
        settings.source = SerialSource::Random;
        auto drawn = settings.bytes ? RandomKeys(settings.quantity, settings.bytes, error)
                                    : std::optional<std::vector<std::int64_t>>();
        if (!drawn) {
            printError(error.empty() ? "--bytes " + o.serialBytes + ": give 1 to 4" : error);
            return kExitUsage;
        }
        keys = std::move(*drawn);
    }
    if (!RunStore::create(path, settings, error, keys)) {
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
    if (s.source == SerialSource::Arithmetic)
        c.ui.printLine("start " + std::to_string(s.start) + "  increment " + std::to_string(s.increment) +
                       "  quantity " + std::to_string(s.quantity));
    else
        c.ui.printLine(std::string(SerialSourceName(s.source)) + "  quantity " + std::to_string(s.quantity));
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
        c.ui.printLine("  " + std::to_string(state.valueAt(h.index)) + " " +
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
    if (!store.settle(*value, used, recordPath(c), SerialSettledLine(state.settings, *value), error,
                      c.options.stationGone)) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine("settled " + std::to_string(*value) + (used ? " as used" : " as free"));
    return kExitOk;
}

// The run's recorded values, in the order of the run, as an SQTP list.
int exportList(Context& c, RunStore& store, const SerialRunState& state) {
    if (const int status = SelectCliDevice(c); status != kExitOk)
        return status;
    std::string error;
    const auto plan = store.plannedValues(error);
    if (!plan) {
        printError(error);
        return kExitUsage;
    }
    SerialList list{state.settings.mode, state.settings.address, state.settings.bytes, {}};
    std::size_t h = 0;
    for (std::int64_t i = 0; i < state.nextIndex; ++i) {
        while (h < state.held.size() && state.held[h].index < i)
            ++h;
        if (h == state.held.size() || state.held[h].index != i)
            list.values.push_back((*plan)[static_cast<std::size_t>(i)]);
    }
    if (list.values.empty()) {
        printError(ShownStorePath(store.path()) + ": no chip of the run is recorded yet");
        return kExitUsage;
    }
    if (!WriteFileAtomically(c.options.exportSqtp, SqtpText(list, c.s.device), error)) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine("exported " + std::to_string(list.values.size()) + " values to " + c.options.exportSqtp);
    return kExitOk;
}

}  // namespace

int ReportCommand(Context& c) {
    const auto format = ReportFormatFromName(c.options.reportFormat.empty() ? "text" : c.options.reportFormat);
    if (!format) {
        printError("--format " + c.options.reportFormat + ": give text, csv, json or html");
        return kExitUsage;
    }
    const std::string& path = c.options.args[0];
    std::string error, note;
    const auto store = RunStore::open(path, error, &note);
    if (!note.empty())
        c.ui.printLine(note);
    const auto report = store ? store->report(error) : std::nullopt;
    if (!report) {
        printError(store ? ShownStorePath(path) + ": " + error : error);
        return kExitUsage;
    }
    const std::string text = ReportText(*report, *format);
    if (c.options.output.empty()) {
        c.ui.flush();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return kExitOk;
    }
    if (!WriteFileAtomically(c.options.output, text, error)) {
        printError(error);
        return kExitUsage;
    }
    return kExitOk;
}

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
    if (!c.options.exportSqtp.empty())
        return exportList(c, *store, *state);
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
    // The store's fault points, for the tests that kill stations at each of them.
    const char* faults = std::getenv("VORMEX_STORE_FAULT");
    auto station = std::make_unique<SerialStation>(c.options.serialState, recordPath(c), port,
                                                   ParseStoreFaults(faults ? faults : "").value_or(StoreFaults{}));
    station->operatorName = c.options.operatorName;
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
