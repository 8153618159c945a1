// The device workflows behind Program, Read, Verify, Blank check and Erase.
// Each refuses to start while another board command runs.
#pragma once

#include <string>
#include <vector>

#include "ops/outcome.h"
#include "session/session.h"

namespace vx {

// Production serialization around Program (installed in s.ops.programHook):
// take a number before the board is touched, put it into the image just
// before it is written, and settle it by the run's outcome.
class ProgramHook {
public:
    virtual ~ProgramHook() = default;
    virtual bool reserve(Session& s) = 0;  // false refuses the run; the hook has said why
    // Just before the first word is written; false stops Program there (the hook has said why).
    virtual bool place(Session& s) = 0;
    virtual void finish(Session& s, Outcome outcome) = 0;
    // After place(): the EEPROM bytes (indices into s.buffer.eeprom) it put
    // the number into, which a kept EEPROM takes from the image, and the
    // number as the verdict names it.
    virtual std::vector<std::size_t> placedEepromBytes() const { return {}; }
    virtual std::string placedNumber() const { return ""; }
};

Outcome RunProgram(Session& s);     // Command_pogram
Outcome RunRead(Session& s);        // Command_read
Outcome RunVerify(Session& s);      // Command_Vrify
Outcome RunBlankCheck(Session& s);  // Command_blank
Outcome RunErase(Session& s);       // mnuDevice_clear
// mnuDeviceId "デバイスIDを確認": names the part and revision of the chip's
// device ID; Passed when the database knows the ID.
Outcome RunIdentify(Session& s);

// "ヒントを表示" of the overwrite question: opens hint.pdf from AppDir.
void OpenHint(Session& s);

}  // namespace vx
