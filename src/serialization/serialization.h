// The serial-number window of a production run (frmSerialPgmSetting): the
// window's state and its handlers. It keeps its own state only; its single
// outward call is the reload of the current HEX file when switched on.
#pragma once

#include <cstdint>
#include <string>

#include "app/session.h"
#include "app/startup.h"

namespace vx {

class SerialProgramming {
public:
    enum class Field { DataStart, DataIncrement, DataFinish, StartAddress, WriteByteNumber };

    // Loading the window: position from the settings, S = 0, one byte.
    explicit SerialProgramming(Session& s);

    // Box edits; each runs the box's change handler.
    void setDataStart(const std::string& text);
    void setDataIncrement(const std::string& text) { dataIncrement = text; }
    void setDataFinish(const std::string& text) { dataFinish = text; }
    void setStartAddress(const std::string& text);
    void selectByteCount(int count);  // 1..4
    void setHexMode(bool hex);        // Option_Hex / Option_Dec
    void setEnabled(bool on);         // ChkSettingEnable
    void recordDevice();              // "chk" (Command1)
    // Unloading: switches off, then stores the position (not when minimized).
    void unload(const WindowPlacement& placement);

    // The key as it reaches the box: '\0' when discarded, else the key
    // (a-f upper-cased where hexadecimal digits pass). Backspace is 8, Enter 13.
    char filterKey(Field field, char key) const;

    std::int64_t serialUnits() const { return serial; }  // S in ten-thousandths
    int writtenCount() const { return count; }

    // What the window shows.
    std::string dataStart = "0";      // TxtDataStart
    std::string dataIncrement = "1";  // TxtDataIncrement
    std::string dataFinish = "0";     // TxtDataFinsh
    bool hexMode = false;             // Option_Hex checked, else Option_Dec
    std::string startAddress = "0";   // TxtStartAddress
    int byteCount = 1;                // TxtWriteByteNumber
    std::string endAddress = "0";     // TxtEndAddress
    bool enabled = false;             // ChkSettingEnable
    bool fieldsEnabled = true;        // the five setting fields
    std::string finishCount = "0";    // TxtFinshCount
    std::string wroteHex = "00:00:00:00";  // TxtWrotDataHex
    std::string wroteDec = "0";            // TxtWrotDataDec
    std::string message;                   // Label2
    double left = 100, top = 100;          // twips

private:
    void showMessage(const std::string& text);

    Session& s_;
    std::int64_t serial = 0;
    int count = 0;
};

}  // namespace vx
