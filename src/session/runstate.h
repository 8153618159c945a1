#pragma once

#include <array>
#include <string>

namespace vx {

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
    // The overwrite question is answered "はい" without asking: Program was
    // started by a change of the watched file, as the user asked.
    bool overwriteYes = false;
    bool configAsBits = false;
    bool deviceSelectedOnce = false;
    std::string asmToolPath;  // AsmToolPath
    std::string calibCheckText;  // Label_calib_check caption, also logged
};

}  // namespace vx
