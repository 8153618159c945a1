// One job of the hostile-board target on a fresh session: a device of the
// shipped database with a small image, the options, and a scripted port
// whose answers the replier schedules at every write of the PC.
#pragma once

#include <functional>
#include <vector>

#include "boardscript.h"
#include "ops/workflows.h"
#include "support/scriptport.h"

namespace vx::fuzz {

struct BoardDevice {
    DeviceInfo info;
    PcBuffer image;  // as selected, plus a few program words and EEPROM bytes
};

// Every family, small memories but for one 8K part.
const std::vector<BoardDevice>& BoardDevices();

using Replier = std::function<void(test::ScriptPort& port, const Bytes& sent)>;

struct JobEnd {
    Outcome outcome = Outcome::NoBoard;  // Detect and Check: Passed when a board was found
    bool linkFault = false;              // ops.linkFault after the job
    bool imageKept = false;              // program memory, EEPROM and configuration area unchanged
    bool programKept = false;            // the same but for the last program word (a calibration word) and the configuration area
    int writes = 0;
    std::string device;
    std::string note;  // the last status note
    std::string box;   // the last message box's text
    // What the board had sent or would still send when the PC wrote last:
    // any byte at all, and the end code among them.
    bool answerAfterLastWrite = false;
    bool endCodeAfterLastWrite = false;
};

JobEnd RunJob(const Setup& setup, const Replier& replier);

// The replier of the fuzz target: the script's next chunk for every write.
Replier ReplyFromScript(Script& script);

}  // namespace vx::fuzz
