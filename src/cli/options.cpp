#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace vx::cli {

const char* const kHelpText = R"(NAME
    vormex-cli - program, read, verify and blank-check PIC microcontrollers
                 from scripts and production lines

SYNOPSIS
    vormex-cli [OPTIONS] COMMAND [ARGS]

DESCRIPTION
    Drives the programmer board through the same operations, workflows and
    texts as the Vormex V3 window, without a window. Every status note is
    printed on its own line as it is shown (a red note begins with "!! "),
    every message box as "[icon] title" followed by its text indented, and
    verify differences line by line. Progress is drawn on stderr when stderr
    is a terminal. Options may stand before or after the command; a value
    follows its option as the next word or after "=" (--device=PIC16F84A),
    and "--" ends the options (a file name beginning with "-" follows it).
    Every write to a chip (program, watch) is planned whole before anything
    is erased: what is written, what is kept and why (the chip's calibration
    word and band-gap bits, a kept EEPROM) and the questions, which the
    options answer (--yes, --keep-eeprom, --ignore-id, --calibration,
    --band-gap). A HEX file written to a chip passes a strict check first
    (upper-case hex digits, records as long as their byte counts); a file
    that fails it is named with its first bad line (exit status 2).

COMMANDS
    devices                 List the devices of the database, one a line:
                            name, family, program words, EEPROM bytes.
    detect                  Find and identify the board on the port.
    blank                   Blank check of program memory, EEPROM and
                            configuration.
    erase                   Bulk erase of a flash device's program memory,
                            for the devices whose window offers Erase (not
                            PIC12F629/675, whose calibration it would lose).
    read [-o FILE]          Read the device; with -o save the image as an
                            Intel HEX file (an existing FILE is replaced).
                            Prints the chip's configuration word by its
                            settings (see config).
    verify FILE             Load the HEX file FILE and verify the device
                            against it. A failed verify counts the differing
                            words of each area and names their pattern.
    program FILE            Load the HEX file FILE and program the device:
                            device ID check, blank check, overwrite
                            question, erase, program, verify, configuration
                            word. The chip's factory calibration word and
                            band-gap bits are kept; when they are lost and
                            the run knows none, it stops before erasing
                            (see --calibration, --band-gap).
    watch FILE [--once]     Program FILE at once and again after every change
                            of it (once its size and time stood still for
                            300 ms; a file deleted and written again is
                            followed); one line per run: "watch:", time,
                            verdict, seconds. The first run asks as program
                            does on a device that cannot be erased (EPROM,
                            one-time parts: without --yes nothing is
                            written); on flash devices the watch answers
                            "はい" itself. Every reload passes the same
                            strict HEX check as program; a file that fails
                            it, becomes a folder or cannot be read is named
                            (with its first bad line) and nothing is loaded
                            or programmed; the watch goes on. After the
                            first run only erasable (flash) devices are
                            programmed again. Ctrl-C during a run lets the
                            run end (the chip is never left half written)
                            and exits with that run's status; between runs
                            it exits at once with the last run's status.
                            --once ends it after the first run that fails.
                            Takes --calibration, --band-gap, --ignore-id,
                            --keep-eeprom and --yes as program does.
    program FILE --serial STATEFILE
                            Program with the next serial number of the
                            production run in STATEFILE: the number goes
                            into the image just before it is written, and
                            only a passed device uses it up (one line in
                            SERIAL_LOG.txt beside LOG.txt). Any number of
                            stations may share one STATEFILE: a SQLite file
                            on this PC, or a postgresql:// URI for stations
                            on several PCs. A number whose chip may hold it
                            (its station died while writing, or the run
                            could not record it) is never handed out again
                            until it is settled (see serial below). A run
                            file of the earlier text form is converted once
                            (the text is kept as STATEFILE.old), a store of
                            the earlier schema upgraded once. Every chip
                            attempted, passed or failed, is a row of the
                            store: time, station (host, user), operator,
                            device, the device ID read, the calibration and
                            band-gap values written back, the program
                            checksum, the SHA-256 of the HEX file and of the
                            image as written, serial value, verdict, seconds
                            and why it failed (see report).
    program FILE --serial STATEFILE --operator NAME
                            The same, the chips' rows naming NAME as the
                            operator.
    serial STATEFILE --quantity Q --address A [--start S] [--increment K]
           [--bytes N] [--mode retlw|eeprom]
                            Create a production run (an existing STATEFILE
                            is refused): Q devices numbered S, S+K, ...
                            (default 0 and 1), each number in N bytes (1..4,
                            default 1), most significant first, as RETLW
                            words at program word address A (default mode)
                            or as EEPROM bytes at EEPROM address A. Values
                            are decimal, or hexadecimal with a 0x prefix.
    serial STATEFILE --from-sqtp FILE.num --device NAME
                            Create a run whose values are the records of the
                            customer's SQTP list FILE.num, in order; the
                            placement (RETLW words or EEPROM bytes), address
                            and bytes come from the file. Every record is
                            checked (checksums included); a list with two
                            equal values, records of another length or
                            address, data outside the device or more than
                            1000000 records is refused, naming the line, and
                            nothing is created.
    serial STATEFILE --random --quantity Q --bytes N --address A
           [--mode retlw|eeprom]
                            Create a run of Q distinct random keys of N bytes
                            from the system's random source (never all 0x00
                            or all 0xFF). A listed or random run's values are
                            stored with the run when it is created: every
                            station and every restart hands out the same
                            list, none twice.
    serial STATEFILE --export-sqtp FILE --device NAME
                            Write the values the run has recorded, in the
                            order of the run, as an SQTP list (the form
                            --from-sqtp reads), for the customer.
    report STATEFILE [--format text|csv|json|html] [-o FILE]
                            The run's report from its store: the plan and
                            its state (planned, recorded, failed chips, to
                            settle, left), passed, failed, yield and chips
                            per hour per station and per operator, and every
                            chip attempted with all its fields. CSV has one
                            row per chip; HTML is one self-contained file
                            with inline SVG charts (chips per hour per
                            station, causes of failure). Default: text on
                            standard output. A damaged store is named with
                            what is damaged (exit 2).
    serial STATEFILE        Print the run's state, its numbers out and to
                            settle, and the last lines of its production
                            record.
    serial STATEFILE --list-settle
                            Print only the numbers to settle, one decimal
                            number a line.
    serial STATEFILE --settle N used|free [--station-gone HOST]
                            Settle number N: "used" records it as produced
                            (it was found in a good chip), "free" returns it
                            to the run (the chip does not hold it or was
                            scrapped). A number a station of another machine
                            HOST is writing is settled only with
                            --station-gone HOST, once that station is known
                            to be gone.
    identify                Read the device ID of the chip in the socket (a
                            14-bit core device) and print the part and
                            silicon revision it names, "不明なID 0xNNNN", or
                            that no chip answered (0x0000 or 0x3FFF). A
                            device without an ID (12-bit parts, PIC16F84,
                            16C84, 16F83, 12C671/672, 16C6x/7x) exits 2.
    doctor [--root DIR]     Check what stands between this system and the
                            board: every serial port with its stable name,
                            driver, USB vendor:product, group and mode, and
                            whether this user may open it (a group joined
                            but not yet in this login says "log in again");
                            brltty's udev rules against each adapter;
                            ModemManager and whether it ignores the port;
                            an FTDI adapter's latency timer; other programs
                            that hold a port open; then the board on the
                            port (--port, else the window's port) and its
                            firmware. One line per finding, marked "○" (in
                            order), "△" (works, better otherwise; or could
                            not be read) or "×" (in the way of the board),
                            each followed by the commands or udev rule to
                            use, indented. Nothing on the system is changed.
                            --root DIR reads /sys, /dev, /proc, /etc and the
                            udev rules below DIR instead of /. Exits 1 when
                            a finding stands in the way of the board.
    convert IN OUT          Load the HEX file IN for the device and save it
                            as OUT, as the window saves it (no board).
    checksum FILE           Load FILE and print the program memory checksum
                            and the file name.
    info FILE               Load FILE and say what it holds for the device,
                            one item a line: program words used of the
                            device's, the configuration word (or that the
                            device would get the grid's value), ID words,
                            EEPROM bytes, and the records that lie outside
                            the device or past 64 KiB (skipped), then the
                            configuration word by its settings (see config).
                            Exits 1 when the file has no configuration word,
                            data outside the device, or lines that are not
                            records before its first record.
    config WORD             Print the settings the configuration word WORD
                            (0x3F72, or decimal) holds for the device, as
                            "FOSC=XT WDTE=OFF PWRTE=ON CP=OFF": the names are
                            the keys and options of the device's setting
                            rows in the database, as the window's grid shows
                            them. A setting whose bits match none of its
                            options shows its bits (CP=0x1010); bits no row
                            explains follow as MASK=VALUE (0x3000=0x2000)
                            where they differ from the device's default
                            word. A word wider than the device's core is bad
                            usage.
    config --set NAME=OPTION[,NAME=OPTION]...
                            Print the configuration word the settings make
                            of the device's default word (names and options
                            in any case), e.g. --set FOSC=HS,WDTE=OFF. A name
                            or option the device does not have is bad usage;
                            the message names the choices.
    disasm FILE [-o OUT] [--search CODE]...
                            Load FILE and write the disassembly listing of a
                            14-bit core device to OUT (default dis_asm.asm in
                            the current folder); each --search CODE (up to
                            four, hex) marks the words CODE can be programmed
                            over without erasing, and the count is printed.

OPTIONS
    --device NAME           The device, as listed by "devices" (PIC16F84A).
                            Needed by every command but devices, detect,
                            doctor and serial.
    --port COMn|PATH|sim    The board's port: COM1..COM20 mapped to a device
                            path as the window maps it (setting ComDevice<n>,
                            else /dev/ttyS<n-1>), a device path such as
                            /dev/ttyUSB0, or "sim" for the built-in simulated
                            board, which answers at once (its pauses pass in
                            simulated time). A path or sim stands in for COM1,
                            so the notes name COM1. Default: the window's
                            port (setting ComNo). The simulated board is
                            reached only by --port sim: a COM number mapped
                            to it exits 3.
    --sim-state FILE        With --port sim: keep the simulated chip in FILE
                            between runs (created when missing). Its
                            "config" line holds the eight configuration-area
                            words; word 6 is the device ID, so another value
                            there simulates a chip that is not the device.
    --ini FILE              Another device database. Default: device.ini
                            beside the program, else in the per-user data
                            folder, as the window finds it.
    --settings FILE         Another settings file (INI). Default: the file
                            named by VORMEX_SETTINGS_FILE, else the window's
                            own settings. The CLI reads settings but never
                            writes them.
    --comm-mode1            Board communication mode 1 (RTS off).
    --skip-blank            Skip the blank check when programming PIC16F and
                            PIC12F devices. The window's check marks for
                            these two do not apply to the CLI.
    --keep-eeprom           Program leaves the device's EEPROM as it is: no
                            EEPROM write and no EEPROM verify (a device whose
                            erase clears it gets it back, verified); the
                            verdict says so. A chip whose only non-blank
                            area is its EEPROM counts as blank. A code- or
                            data-protected chip's EEPROM cannot be read, so
                            cannot be kept: program exits 2 before erasing
                            (run it without --keep-eeprom). With --serial in
                            EEPROM mode the number's bytes are written and
                            verified, the rest is kept.
    -y, --yes               Answer "はい" to the question before programming
                            a device that already holds code (default: the
                            answer is "キャンセル" and nothing is written).
    --ignore-id             With program, watch and erase: go on although the
                            chip's device ID names another part or no chip
                            answered (default: stop, exit status 5).
    --calibration 0xNNNN    With program and watch: the calibration
                            instruction to write when the chip's own is lost
                            (erased, or 0x0000 from a code-protected chip)
                            and the run read no good one: retlw 0x34nn on
                            14-bit devices, movlw 0x0Cnn on 12-bit ones. A
                            good value of the chip's own is always kept, and
                            a value given but not used is said.
    --band-gap N            With program and watch, on devices with band-gap
                            bits: the bits (0..3) to write when the chip's
                            own are lost.
    --set NAME=OPTION,...   The settings of config --set.
    -o, --output FILE       Output file of read and disasm.
    --search CODE           Search code of disasm (1 to 4 hex digits).
    -h, --help              This text.
    --version               The program's version.

FILES
    The operation log LOG.txt gets one line per programming verdict, as in
    the window; it lies in the folder of the database (the folder of --ini,
    else that of the default device.ini). The CLI appends to it and never
    rotates it.

EXIT STATUS
    0   success; for blank: the device is blank; for identify: the ID
        names a device of the database; for doctor: nothing stands in the
        way of the board
    1   the verdict failed: verify differences, not blank, programming
        refused by the chip, or the overwrite question answered "キャンセル";
        for identify: the ID names no device, or no chip answered; for
        doctor: a finding stands in the way of the board
    2   bad usage or bad input: unknown device, unreadable or garbage file,
        a database that does not load; with --serial also a missing or
        damaged STATEFILE, one of a newer version, an unreachable server, a
        finished run, or a serial number that does not fit where it should
        go (nothing is programmed then); a --settle of a number that is not
        to be settled (nothing is changed then); program on a chip whose
        calibration word or band-gap bits are lost when the run knows none
        and none is given (nothing is erased then); a --calibration or
        --band-gap that does not fit the device; --keep-eeprom on a
        code- or data-protected chip (nothing is erased then); identify
        on a device without a device ID
    3   no board answered, or the port could not be opened
    4   the board stopped answering, or a reply lacked its end code, in the
        middle of an operation
    5   the chip in the socket is not the selected device: its device ID
        names another part, or no chip answered (program and erase without
        --ignore-id; nothing is written)
    6   with --serial: the chip passed with serial N, but the run could not
        record it; the number is listed to settle, never handed out again

EXAMPLES
    vormex-cli devices
    vormex-cli --port sim --sim-state chip.sim --device PIC16F84A program blink.hex
    vormex-cli --port sim --sim-state chip.sim --device PIC16F84A read -o back.hex
    vormex-cli --port COM1 --device PIC16F84A verify blink.hex
    vormex-cli --port COM1 --device PIC12F675 identify
    vormex-cli --port /dev/ttyUSB0 doctor
    vormex-cli --device PIC16F84A config 0x3FF1
    vormex-cli --device PIC16F84A config --set FOSC=HS,WDTE=OFF
    vormex-cli --port COM1 --device PIC12F675 --calibration 0x3480 program blink.hex
)";

namespace {

// config takes a WORD, or none with --set.
constexpr int kWordOrSet = -1;

struct CommandShape {
    int operands;
    bool output;  // takes -o
    bool search;  // takes --search
};

const std::map<std::string, CommandShape> kCommands = {
    {"devices", {0, false, false}}, {"detect", {0, false, false}},  {"blank", {0, false, false}},
    {"erase", {0, false, false}},   {"read", {0, true, false}},     {"verify", {1, false, false}},
    {"program", {1, false, false}}, {"convert", {2, false, false}}, {"checksum", {1, false, false}},
    {"info", {1, false, false}},     {"watch", {1, false, false}},   {"identify", {0, false, false}},
    {"disasm", {1, true, true}},    {"serial", {1, false, false}},  {"doctor", {0, false, false}},
    {"config", {kWordOrSet, false, false}}, {"report", {1, true, false}},
};

bool isHexCode(const std::string& text) {
    return !text.empty() && text.size() <= 4 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}


// Options and their values into `o`, the rest into `operands`; a usage error's text.
std::optional<std::string> readOptions(const std::vector<std::string>& argv, Options& o,
                                       std::vector<std::string>& operands) {
    std::map<std::string, std::string*> valued = {
        {"--ini", &o.iniPath},       {"--device", &o.deviceName}, {"--port", &o.port},
        {"--sim-state", &o.simState}, {"--settings", &o.settingsPath}, {"--output", &o.output},
        {"-o", &o.output},           {"--serial", &o.serialState}, {"--start", &o.serialStart},
        {"--increment", &o.serialIncrement}, {"--quantity", &o.serialQuantity},
        {"--address", &o.serialAddress}, {"--bytes", &o.serialBytes}, {"--mode", &o.serialMode},
        {"--calibration", &o.calibration}, {"--band-gap", &o.bandGap}, {"--root", &o.root},
        {"--set", &o.configSet},     {"--operator", &o.operatorName}, {"--from-sqtp", &o.fromSqtp},
        {"--export-sqtp", &o.exportSqtp}, {"--format", &o.reportFormat}, {"--station-gone", &o.stationGone},
    };
    std::map<std::string, bool*> flags = {
        {"--comm-mode1", &o.commMode1}, {"--skip-blank", &o.skipBlank}, {"--keep-eeprom", &o.keepEeprom},
        {"--yes", &o.yes},               {"--once", &o.once},
        {"-y", &o.yes},                 {"--help", &o.help},            {"-h", &o.help},
        {"--version", &o.version},      {"--list-settle", &o.listSettle}, {"--ignore-id", &o.ignoreId},
        {"--random", &o.randomKeys},
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--settle") {  // two values: the number and used|free
            if (i + 2 >= argv.size())
                return "--settle needs a number and used or free";
            o.settleNumber = argv[++i];
            o.settleAs = argv[++i];
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.erase(eq);
        }
        if (auto flag = flags.find(arg); flag != flags.end()) {
            if (inlineValue)
                return "option " + arg + " takes no value";
            *flag->second = true;
            continue;
        }
        const bool search = arg == "--search";
        const auto target = valued.find(arg);
        if (!search && target == valued.end())
            return "unknown option " + arg;
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < argv.size()) {
            value = argv[++i];
        } else {
            return "option " + arg + " needs a value";
        }
        // An empty value would read as "not given" and go unnoticed.
        if (value.empty() && (arg == "--calibration" || arg == "--band-gap"))
            return "option " + arg + " needs a value";
        if (search)
            o.searchCodes.push_back(value);
        else
            *target->second = value;
    }
    return std::nullopt;
}

// The options that belong to other commands, or need another option.
std::optional<std::string> checkCombination(const Options& o, const CommandShape& shape) {
    if (!o.output.empty() && !shape.output)
        return "-o is not an option of " + o.command;
    if (!o.searchCodes.empty() && !shape.search)
        return "--search is not an option of " + o.command;
    if (o.searchCodes.size() > 4)
        return "at most four --search codes";
    for (const auto& code : o.searchCodes)
        if (!isHexCode(code))
            return "--search " + code + ": give 1 to 4 hexadecimal digits";
    if (!o.simState.empty() && o.port != "sim")
        return "--sim-state needs --port sim";
    if (o.keepEeprom && o.command != "program" && o.command != "watch")
        return "--keep-eeprom is an option of program and watch";
    if (o.once && o.command != "watch")
        return "--once is an option of watch";
    if (!o.serialState.empty() && o.command != "program")
        return "--serial is an option of program only";
    if (!o.operatorName.empty() && o.serialState.empty())
        return "--operator belongs to program --serial";
    if (!o.reportFormat.empty() && o.command != "report")
        return "--format is an option of report only";
    if (!o.fromSqtp.empty() && !(o.serialStart + o.serialIncrement + o.serialQuantity + o.serialAddress +
                                 o.serialBytes + o.serialMode)
                                    .empty())
        return "--from-sqtp takes the address, bytes and placement from the file: give none of --start, "
               "--increment, --quantity, --address, --bytes, --mode";
    if (o.randomKeys && (!o.fromSqtp.empty() || !(o.serialStart + o.serialIncrement).empty()))
        return "--random takes --quantity, --bytes, --address and --mode (no --start, --increment or --from-sqtp)";
    if (!o.exportSqtp.empty() && (o.command != "serial" || o.serialCreate()))
        return "--export-sqtp belongs to serial STATEFILE, without the options of a new run";
    if ((!o.fromSqtp.empty() || !o.exportSqtp.empty()) && o.deviceName.empty())
        return "--from-sqtp and --export-sqtp need --device NAME: the list's form is the device's";
    const bool programs = o.command == "program" || o.command == "watch";
    if ((!o.calibration.empty() || !o.bandGap.empty()) && !programs)
        return "--calibration and --band-gap are options of program and watch only";
    if (o.ignoreId && !programs && o.command != "erase")
        return "--ignore-id is an option of program, watch and erase only";
    if (!o.configSet.empty() && o.command != "config")
        return "--set is an option of config only";
    if (!o.root.empty() && o.command != "doctor")
        return "--root is an option of doctor only";
    if (o.serialCreate() && o.command != "serial")
        return "--start, --increment, --quantity, --address, --bytes, --mode, --from-sqtp and --random belong to "
               "serial";
    const bool settling = o.listSettle || !o.settleNumber.empty();
    if (settling && (o.command != "serial" || o.serialCreate() || !o.exportSqtp.empty() ||
                     (o.listSettle && !o.settleNumber.empty())))
        return "--list-settle and --settle belong to serial STATEFILE, one at a time";
    if (!o.stationGone.empty() && o.settleNumber.empty())
        return "--station-gone belongs to serial STATEFILE --settle N used|free";
    if (!o.settleNumber.empty() && o.settleAs != "used" && o.settleAs != "free")
        return "--settle " + o.settleNumber + " " + o.settleAs + ": say used or free";
    const bool needsDevice =
        o.command != "devices" && o.command != "detect" && o.command != "serial" && o.command != "doctor" &&
        o.command != "report";
    if (needsDevice && o.deviceName.empty())
        return o.command + " needs --device NAME (\"vormex-cli devices\" lists them)";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseOptions(const std::vector<std::string>& argv, Options& o) {
    std::vector<std::string> operands;
    if (auto error = readOptions(argv, o, operands))
        return error;
    if (o.help || o.version)
        return std::nullopt;
    if (operands.empty())
        return "no command given";
    o.command = operands.front();
    o.args.assign(operands.begin() + 1, operands.end());
    const auto shape = kCommands.find(o.command);
    if (shape == kCommands.end())
        return "unknown command " + o.command;
    const int wanted = shape->second.operands == kWordOrSet ? (o.configSet.empty() ? 1 : 0) : shape->second.operands;
    if (static_cast<int>(o.args.size()) != wanted)
        return o.command + " takes " + std::to_string(wanted) + " operand(s), " +
               std::to_string(o.args.size()) + " given";
    return checkCombination(o, shape->second);
}

}  // namespace vx::cli
