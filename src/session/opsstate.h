// Registers the board operations leave behind for the workflows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/seams.h"

namespace vx {

// Results passed between board operations and workflows.
enum class Result { Ok, Ng, Er, None, Cp };

inline const char* ResultText(Result r) {
    switch (r) {
    case Result::Ok: return "OK";
    case Result::Ng: return "NG";
    case Result::Er: return "ER";
    case Result::None: return "--";
    case Result::Cp: return "CP";
    }
    return "";
}

// A word kept as high and low byte, as the chip sends it.
struct BytePair {
    std::uint8_t high = 0xFF;
    std::uint8_t low = 0xFF;
    int word() const { return high * 256 + low; }
};

// The words a verify found different in one area, by kind.
struct DifferingWords {
    int words = 0;
    int onlyCleared = 0;  // bits the file has 1 read 0, and none it has 0 reads 1
    int readZero = 0;     // read as 0 (so also only cleared)
};

class ProgramHook;

struct OpsState {
    // Erased-state accumulators: AND of the high bytes and of the low bytes read.
    BytePair programAcc;
    BytePair idAcc;
    BytePair configAcc;
    BytePair eepromAcc{0x3F, 0xFF};
    // The chip's own calibration word; erased until a chip says otherwise.
    BytePair chipCalib{0x3F, 0xFF};
    // The device ID the last identity check read; none when none was read.
    std::optional<int> chipDeviceId;
    // The chip's band-gap bits as last read; none when the word read held none.
    std::optional<int> chipBandGap;
    // The last good calibration instruction and band-gap bits of the session:
    // read from a chip of the selected device or typed by the user. They
    // stand in when a chip's own are lost; another device clears them.
    std::optional<int> keptCalibration;
    std::optional<int> keptBandGap;
    // The values above were given on the command line (--calibration,
    // --band-gap): a run that keeps the chip's own says it left them unused.
    bool calibrationOption = false;
    bool bandGapOption = false;
    // What Program writes back of the chip's own values, once settled.
    std::optional<int> writeCalibration;
    std::optional<int> writeBandGap;
    // The chip's calibration word as the last program-memory verify read it.
    std::optional<int> verifyCalibration;
    // Eight configuration-area words to write: IDs, the chip's words 4..6, configuration.
    std::array<std::uint8_t, 16> configImage{};
    // What the last configuration verify found on the chip.
    std::string verifyConfigText;
    std::string verifyIdText;
    // What the verifies of the running workflow found different: program
    // memory, EEPROM, configuration (as verifyResults).
    std::array<DifferingWords, 3> verifyDifferences{};
    // Raw reply of the last program-memory verify and the position of the last word compared.
    Bytes verifyReply;
    int verifyPos = 0;
    // Set when the board fell silent or a reply lacked its end code during a workflow.
    bool linkFault = false;
    // Production serialization's part in Program; none by default.
    ProgramHook* programHook = nullptr;
};

}  // namespace vx
