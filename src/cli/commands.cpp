#include "cli/commands.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "app/hexwatch.h"
#include "app/startup.h"
#include "qtplatform/qtseams.h"
#include "device/devicedb.h"
#include "disasm/disasm.h"
#include "image/configwords.h"
#include "image/hexcheck.h"
#include "image/hexfile.h"
#include "image/pcbufferquery.h"
#include "image/selection.h"
#include "base/convert.h"
#include "link/family.h"
#include "ops/detect.h"
#include "ops/workflows.h"

namespace vx::cli {

namespace {

void printError(const std::string& text) { std::fprintf(stderr, "vormex-cli: %s\n", text.c_str()); }

// The list index of a device name: exact, else the one name equal ignoring case.
int findDevice(const Session& s, const std::string& name) {
    const auto& list = s.view.deviceList;
    if (const auto it = std::find(list.begin(), list.end(), name); it != list.end())
        return static_cast<int>(it - list.begin());
    auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::toupper(ch); });
        return text;
    };
    int found = -1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (upper(list[i]) != upper(name))
            continue;
        if (found >= 0)
            return -1;
        found = static_cast<int>(i);
    }
    return found;
}

int selectDevice(Context& c) {
    const int index = findDevice(c.s, c.options.deviceName);
    if (index < 0) {
        printError("unknown device " + c.options.deviceName + " (\"vormex-cli devices\" lists them)");
        return kExitUsage;
    }
    c.s.db.error = false;
    SelectDeviceIndex(c.s, index);
    c.ui.flush();
    if (c.s.db.error || c.s.device.name != c.s.view.deviceList[index]) {
        printError("the database entry of " + c.options.deviceName + " cannot be read");
        return kExitUsage;
    }
    return kExitOk;
}

int checkHex(const std::string& path, HexFileCheck& check) {
    const bool ok = CheckHexFile(path, check) == HexFault::None;
    for (const auto& warning : check.warnings)
        printError("warning: " + warning);
    if (!ok) {
        printError(check.error);
        return kExitUsage;
    }
    return kExitOk;
}

int checkHex(const std::string& path) {
    HexFileCheck check;
    return checkHex(path, check);
}

// Loads a checked HEX file as the window's reload paths do: no dialog.
void loadHex(Context& c, const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    c.s.loader.hexPath = ec ? path : absolute.lexically_normal().string();
    c.s.loader.skipHexDialog = true;
    LoadHexFile(c.s);
    c.s.loader.skipHexDialog = false;
    c.ui.flush();
}

// Saves the buffer as the window does, without its dialog and overwrite question.
int saveHex(Context& c, const std::string& path) {
    std::string error;
    if (!WriteHexFile(c.s, path, error)) {
        printError("cannot save " + path + ": " + error);
        return kExitUsage;
    }
    return kExitOk;
}

int devices(Context& c) {
    const auto index = ReadDeviceIndex(c.s);
    std::size_t width = 0;
    for (const auto& device : index)
        width = std::max(width, device.name.size());
    for (const auto& device : index) {
        char line[256];
        std::snprintf(line, sizeof line, "%-*s  %-6s %5d %4d", static_cast<int>(width), device.name.c_str(),
                      device.family.c_str(), device.programWords, device.eepromBytes);
        c.ui.printLine(line);
    }
    return kExitOk;
}

// The buffer's configuration word by the names of the grid's rows.
void printConfigSettings(Context& c) {
    c.ui.printLine("コンフィギュレーション設定 " + ConfigWordSettings(c.s, c.s.buffer.configWord));
}

// The file checked, the device selected, the file loaded: the start of the
// commands that work on a file without the board.
int loadForDevice(Context& c, const std::string& file, HexFileCheck& check) {
    if (int status = checkHex(file, check); status != kExitOk)
        return status;
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    loadHex(c, file);
    return kExitOk;
}

int loadForDevice(Context& c, const std::string& file) {
    HexFileCheck check;
    return loadForDevice(c, file, check);
}

int checksum(Context& c) {
    const std::string& file = c.options.args[0];
    if (int status = loadForDevice(c, file); status != kExitOk)
        return status;
    c.ui.printLine(PcBufferChecksum(c.s) + "  " + file);
    return kExitOk;
}

// What the file holds, one item a line; a file that programs a chip other
// than it looks, or that opens with text the loader skips (the loader's note
// names those lines), is a failed verdict.
int info(Context& c) {
    HexFileCheck check;
    if (int status = loadForDevice(c, c.options.args[0], check); status != kExitOk)
        return status;
    for (const auto& item : HexContentItems(c.s.loader.contents, c.s.device, c.s.buffer.configWord))
        c.ui.printLine(item);
    printConfigSettings(c);
    const bool suspect = c.s.loader.contents.suspect() || check.linesBeforeFirstRecord > 0;
    return suspect ? kExitVerdict : kExitOk;
}

// config WORD: the settings the word holds; config --set NAME=OPTION,...:
// the word they make of the device's default.
int config(Context& c) {
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    std::string error;
    if (!c.options.configSet.empty()) {
        const auto word = BuildConfigWord(c.s, c.options.configSet, error);
        if (!word) {
            printError("--set: " + error);
            return kExitUsage;
        }
        c.ui.printLine("0x" + HexText(static_cast<std::uint32_t>(*word), 4));
        return kExitOk;
    }
    const auto word = ParseConfigWord(c.s, c.options.args[0], error);
    if (!word) {
        printError(error);
        return kExitUsage;
    }
    c.ui.printLine(ConfigWordSettings(c.s, *word));
    return kExitOk;
}

int convert(Context& c) {
    if (int status = loadForDevice(c, c.options.args[0]); status != kExitOk)
        return status;
    return saveHex(c, c.options.args[1]);
}

int disasm(Context& c) {
    if (int status = loadForDevice(c, c.options.args[0]); status != kExitOk)
        return status;
    if (!Traits(c.s.device.family).fourteenBit()) {
        printError("disasm lists 14-bit core devices only; " + c.s.device.name + " is of family " +
                   c.s.device.familyName);
        return kExitUsage;
    }
    SearchCodes codes;
    std::copy(c.options.searchCodes.begin(), c.options.searchCodes.end(), codes.begin());
    const std::string out = c.options.output.empty() ? "dis_asm.asm" : c.options.output;
    const auto listing = ListProgramToFile(c.s, codes, out);
    c.ui.flush();
    if (!listing) {
        printError("cannot write " + out);
        return kExitUsage;
    }
    c.ui.printLine(listing->countText);
    return kExitOk;
}

int exitFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed: return kExitOk;
    case Outcome::Failed: return kExitVerdict;
    case Outcome::Cancelled: return kExitVerdict;
    case Outcome::LinkFailed: return kExitLink;
    case Outcome::NoDevice: return kExitUsage;
    case Outcome::NoBoard: return kExitNoBoard;
    case Outcome::Busy: return kExitUsage;
    case Outcome::WrongChip: return kExitWrongChip;
    case Outcome::NoChipValue: return kExitUsage;
    case Outcome::Refused: return kExitUsage;
    }
    return kExitUsage;
}

// Set by Ctrl-C: the watch ends after the run in progress, cleanly.
volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

const char* verdictWord(Outcome outcome) {
    switch (outcome) {
    case Outcome::Passed: return "passed";
    case Outcome::Failed: return "failed";
    case Outcome::Cancelled: return "cancelled";
    case Outcome::LinkFailed: return "link-failed";
    case Outcome::NoDevice: return "no-device";
    case Outcome::NoBoard: return "no-board";
    case Outcome::Busy: return "busy";
    case Outcome::WrongChip: return "wrong-chip";
    case Outcome::NoChipValue: return "no-chip-value";
    case Outcome::Refused: return "refused";
    }
    return "failed";
}

// Program stopped before erasing: which value it lacks, and how to give it.
void explainMissingValues(Context& c) {
    const auto& question = c.ui.chipValueQuestion;
    if (!question)
        return;
    const Core& core = Traits(c.s.device.family).drivenCore();
    if (question->calibration)
        printError("the chip's calibration word is lost and this run knows none: give the chip's own with "
                   "--calibration 0x" + HexText(core.calibOpcode, 2) + "nn (" + core.calibMnemonic + ")");
    if (question->bandGap)
        printError("the chip's band-gap bits are lost and this run knows none: give them with --band-gap N (0..3)");
}

// One summary line per run: time of day, verdict, seconds. The exit status of the run.
int reportRun(Context& c, Outcome outcome, std::int64_t ms) {
    if (outcome == Outcome::NoChipValue)
        explainMissingValues(c);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1fs", static_cast<double>(ms) / 1000.0);
    c.ui.printLine("watch: " + LocalTimeOfDay() + "  " + verdictWord(outcome) + "  " + seconds);
    const int status = exitFor(outcome);
    return SaveSimState(c) || status != kExitOk ? status : kExitUsage;
}

// Program at once, then after every settled change of the file, until
// Ctrl-C (or, with --once, the first run that fails); the last run's status.
int watchFile(Context& c) {
    SteadyClock real;
    PollingFileWatcher files;
    HexWatch watch(c.s, files, real);
    c.s.view.menus["mnuWatchHex"].checked = true;
    c.s.view.menus["mnuAutoProgram"].checked = true;
    watch.follow(c.s.loader.loadedPath);
    // From the start: Ctrl-C in a run lets the run end with the chip whole.
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // The first run is the user's command: its questions are the options'.
    c.s.run.writeSource = WriteSource::Watch;
    std::int64_t start = real.nowMs();
    const Outcome first = RunProgram(c.s);  // before the clock is read again
    int status = reportRun(c, first, real.nowMs() - start);
    while (!interrupted && !(c.options.once && status != kExitOk)) {
        const int reloads = watch.reloads();
        start = real.nowMs();
        const bool settling = watch.tick();
        c.ui.flush();
        if (watch.reloads() != reloads && watch.lastProgram())
            status = reportRun(c, *watch.lastProgram(), real.nowMs() - start);
        real.sleepMs(settling ? 50 : 100);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
}

// --calibration and --band-gap, checked against the selected device before
// the board is touched, become the session's values as if typed into the
// window's boxes: they stand in only where the chip's own are lost.
int takeChipValueOptions(Context& c) {
    const Options& o = c.options;
    const DeviceInfo& d = c.s.device;
    const FamilyTraits& family = Traits(d.family);
    if (!o.calibration.empty()) {
        if (!family.calibrated || c.s.buffer.calibText.empty()) {
            printError("--calibration: " + d.name + " has no calibration word");
            return kExitUsage;
        }
        const auto word = ParseCalibrationValue(family, o.calibration);
        if (!word) {
            printError("--calibration " + o.calibration + ": not a calibration instruction of " + d.name + " (" +
                       family.drivenCore().calibMnemonic + ", 0x" + HexText(family.drivenCore().calibOpcode, 2) +
                       "nn)");
            return kExitUsage;
        }
        c.s.ops.keptCalibration = word;
        c.s.ops.calibrationOption = true;
    }
    if (!o.bandGap.empty()) {
        if (!family.bandGap) {
            printError("--band-gap: " + d.name + " has no band-gap bits");
            return kExitUsage;
        }
        const auto bits = ParseBandGapValue(o.bandGap);
        if (!bits) {
            printError("--band-gap " + o.bandGap + ": give 0, 1, 2 or 3");
            return kExitUsage;
        }
        c.s.ops.keptBandGap = bits;
        c.s.ops.bandGapOption = true;
    }
    return kExitOk;
}

// The device ID is configuration word 6 of 14-bit parts.
int checkIdentifiable(Context& c) {
    if (!Traits(c.s.device.family).fourteenBit()) {
        printError("identify reads the device ID of 14-bit core devices; " + c.s.device.name + " is of family " +
                   c.s.device.familyName);
        return kExitUsage;
    }
    if (c.s.device.deviceId < 0) {
        printError("identify: " + c.s.device.name + " has no device ID");
        return kExitUsage;
    }
    return kExitOk;
}

bool takesHexFile(const std::string& command) {
    return command == "verify" || command == "program" || command == "watch";
}

// Everything given on the command line, checked before the board is
// touched: the file, the production run, the device and its values.
int checkInput(Context& c) {
    const std::string& command = c.options.command;
    if (takesHexFile(command))
        if (int status = checkHex(c.options.args[0]); status != kExitOk)
            return status;
    if (command == "program" && !c.options.serialState.empty())
        if (int status = CheckSerialRun(c); status != kExitOk)
            return status;
    if (c.options.deviceName.empty())
        return kExitOk;
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    // As the window, which offers Erase only where it keeps what the chip
    // must keep (PIC12F629/675 lose their factory calibration to it).
    if (command == "erase" && !c.s.view.menus["mnuDevice_clear"].enabled) {
        printError("erase is not offered for " + c.s.device.name + " (the window's Erase menu entry is off for it)");
        return kExitUsage;
    }
    if (command == "identify")
        return checkIdentifiable(c);
    return takeChipValueOptions(c);
}

Outcome runWorkflow(Context& c) {
    const std::string& command = c.options.command;
    if (command == "blank")
        return RunBlankCheck(c.s);
    if (command == "erase")
        return RunErase(c.s);
    if (command == "read")
        return RunRead(c.s);
    if (command == "verify")
        return RunVerify(c.s);
    if (command == "program")
        return RunProgram(c.s);
    if (command == "identify")
        return RunIdentify(c.s);
    return Outcome::Busy;
}

// detect, blank, erase, read, verify, program, identify, watch: the input first, so
// bad input is reported before the board is touched; then the board search;
// then the device again, as the window selects it after its search (the
// firmware check runs only once a board is found).
int boardCommand(Context& c) {
    const std::string& command = c.options.command;
    if (int status = checkInput(c); status != kExitOk)
        return status;
    if (int status = OpenBoard(c); status != kExitOk)
        return status;
    DetectBoard(c.s);
    c.ui.flush();
    if (!c.s.link.boardFound)
        return kExitNoBoard;
    if (command == "detect") {
        c.ui.printLine(c.s.link.detectedFirmwareId);
        return kExitOk;
    }
    if (int status = selectDevice(c); status != kExitOk)
        return status;
    if (takesHexFile(command))
        loadHex(c, c.options.args[0]);
    c.s.run.writeSource = WriteSource::CommandLine;
    if (command == "watch")
        return watchFile(c);
    std::unique_ptr<SerialHook> station;
    if (command == "program" && !c.options.serialState.empty())
        station = StartSerialStation(c);

    const Outcome outcome = runWorkflow(c);
    c.ui.flush();
    if (outcome == Outcome::NoChipValue)
        explainMissingValues(c);
    int status = exitFor(outcome);
    if (station)
        status = SerialExitStatus(c, *station, status);
    if (!SaveSimState(c) && status == kExitOk)
        status = kExitUsage;
    if (status == kExitOk && command == "read")
        printConfigSettings(c);
    if (status == kExitOk && command == "read" && !c.options.output.empty())
        return saveHex(c, c.options.output);
    return status;
}

}  // namespace

int SelectCliDevice(Context& c) { return selectDevice(c); }

int RunCommand(Context& c) {
    const std::string& command = c.options.command;
    if (command == "devices")
        return devices(c);
    if (command == "checksum")
        return checksum(c);
    if (command == "convert")
        return convert(c);
    if (command == "info")
        return info(c);
    if (command == "config")
        return config(c);
    if (command == "disasm")
        return disasm(c);
    if (command == "serial")
        return SerialCommand(c);
    if (command == "report")
        return ReportCommand(c);
    if (command == "doctor")
        return DoctorCommand(c);
    return boardCommand(c);
}

}  // namespace vx::cli
