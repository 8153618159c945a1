#pragma once

#include <array>
#include <string>

namespace vx {

// Who started a write to a chip, which says who may answer its questions: a
// person (the window), the command line's options (program, and the first
// run of watch), or nobody (auto-write, watch after its first run).
enum class WriteSource { Window, CommandLine, Watch, Unattended };

// Program-wide run state of the shell.
struct RunState {
    std::string appDir;  // ends in exactly one '/'
    std::string manualDir;  // the manual's folder, ends in '/'; "" = AppDir + "manual/"
    std::string titleBase;
    std::string commandOption;
    int attemptCount = 0;
    int passCount = 0;
    double startTime = 0;
    std::string programResult;
    std::array<std::string, 3> verifyResults{"--", "--", "--"};  // program, EEPROM, configuration
    int hintAnswer = 0;
    WriteSource writeSource = WriteSource::Window;
    bool configAsBits = false;
    bool deviceSelectedOnce = false;
    std::string asmToolPath;  // AsmToolPath
    std::string calibCheckText;  // Label_calib_check caption, also logged
};

}  // namespace vx
