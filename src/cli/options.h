// The command line of vormex-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx::cli {

// Exit status: scripts tell "the chip is wrong" (1) from "the link is wrong" (3, 4).
enum ExitCode : int {
    kExitOk = 0,
    kExitVerdict = 1,  // verify differences, not blank, refused by the chip, cancelled
    kExitUsage = 2,    // bad usage or bad input: unknown device, unreadable file, bad database
    kExitNoBoard = 3,  // no board, or the port could not be opened
    kExitLink = 4,     // the board stopped answering in the middle of an operation
    kExitWrongChip = 5,  // the chip in the socket is not the selected device
    kExitUnrecorded = 6,  // the chip passed with its serial number, but the run could not record it
};

struct Options {
    std::string iniPath;       // --ini: another device database
    std::string deviceName;    // --device
    std::string port;          // --port: "COMn", a device path or "sim"; "" = setting "ComNo"
    std::string simState;      // --sim-state
    std::string settingsPath;  // --settings: another settings file
    std::string root;          // --root: doctor reads the system below this folder
    std::string configSet;     // --set NAME=OPTION,...: config builds a word
    bool commMode1 = false;
    bool skipBlank = false;
    bool keepEeprom = false;
    bool once = false;  // watch: end after the first run that fails
    bool yes = false;
    bool ignoreId = false;       // --ignore-id: program or erase a chip whose device ID says otherwise
    std::string calibration;     // --calibration: the chip's calibration word when its own is lost
    std::string bandGap;         // --band-gap: likewise its band-gap bits
    bool help = false;
    bool version = false;

    std::string command;
    std::vector<std::string> args;         // the command's operands
    std::string output;                    // -o / --output
    std::vector<std::string> searchCodes;  // --search, disasm only

    std::string serialState;  // --serial STATEFILE, program only
    std::string operatorName;  // --operator NAME, with --serial
    // serial STATEFILE: the new run's settings as typed; "" = not given.
    std::string serialStart, serialIncrement, serialQuantity, serialAddress, serialBytes, serialMode;
    std::string fromSqtp;    // --from-sqtp FILE: a new run of the file's values
    bool randomKeys = false;  // --random: a new run of random keys
    std::string exportSqtp;  // --export-sqtp FILE: the run's recorded values as a list
    bool serialCreate() const {
        return randomKeys || !(serialStart + serialIncrement + serialQuantity + serialAddress + serialBytes + serialMode +
                               fromSqtp)
                                  .empty();
    }
    std::string reportFormat;  // report --format
    // serial STATEFILE --list-settle / --settle N used|free.
    bool listSettle = false;
    std::string settleNumber, settleAs;
    std::string stationGone;  // --station-gone HOST: its station is known to be gone
};

// Fills `options`; on a usage error returns its text.
std::optional<std::string> ParseOptions(const std::vector<std::string>& argv, Options& options);

extern const char* const kHelpText;

}  // namespace vx::cli
