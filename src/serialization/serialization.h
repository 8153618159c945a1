// The serial-number window of a production run (frmSerialPgmSetting): the
// window's state and its handlers. In display-only mode it keeps its own
// state only; its single outward call is the reload of the current HEX file
// when switched on. In a write mode, switched on, it is Program's hook: each
// Program takes the run's next number into the chip and only a pass uses it up.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/placement.h"
#include "ops/workflows.h"
#include "serialization/station.h"
#include "session/session.h"

namespace vx {

// The window's own run file and the production record, in AppDir.
constexpr const char* kSerialRunName = "SERIAL_RUN.txt";
constexpr const char* kSerialRecordName = "SERIAL_LOG.txt";

// The run kept in AppDir when it still has numbers to give; nullopt otherwise.
std::optional<SerialRunState> SavedSerialRun(const Session& s);
// The question at start that offers it again, its next number in the radix
// the window showed last.
std::string ResumeQuestion(const Session& s, const SerialRunState& saved);

class SerialProgramming : public ProgramHook {
public:
    enum class Field { DataStart, DataIncrement, DataFinish, StartAddress, WriteByteNumber };

    // Loading the window: position from the settings, S = 0, one byte.
    explicit SerialProgramming(Session& s);
    ~SerialProgramming() override;
    SerialProgramming(const SerialProgramming&) = delete;
    SerialProgramming& operator=(const SerialProgramming&) = delete;

    // Box edits; each runs the box's change handler.
    void setDataStart(const std::string& text);
    void setDataIncrement(const std::string& text) {
        dataIncrement = text;
        settingsEdited();
    }
    void setDataFinish(const std::string& text) {
        dataFinish = text;
        settingsEdited();
    }
    void setStartAddress(const std::string& text);
    void selectByteCount(int count);  // 1..4
    void setHexMode(bool hex);        // Option_Hex / Option_Dec
    void setEnabled(bool on);         // ChkSettingEnable
    void recordDevice();              // "chk" (Command1)
    void selectWriteMode(SerialMode mode);  // CmbWriteMode
    // Unloading: switches off, then stores the position (not when minimized).
    // Refused (false, with a note) while Program runs with one of our numbers.
    bool unload(const WindowPlacement& placement);

    // The run as a STATEFILE for vormex-cli stations: written from the
    // window's settings (or its run when there is one), and used from then on.
    bool exportRun(const std::string& path);
    // Takes a run over from a STATEFILE: the boxes show it, switching on continues it.
    bool importRun(const std::string& path);
    // The run kept in AppDir, to be continued (offered at start), shown in
    // the radix the window showed last.
    bool resumeSavedRun();
    // A switch-on that waited for a HEX file completes once one is loaded;
    // called before the window draws and before each device.
    void followLoads();
    const std::string& runPath() const { return runPath_; }

    bool reserve(Session& s) override;
    void place(Session& s) override;
    void finish(Session& s, Outcome outcome) override;
    // Called after Program changed what the window shows.
    std::function<void()> changed;

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
    SerialMode writeMode = SerialMode::Display;  // CmbWriteMode
    std::string nextData;                  // TxtNextData: the next chip's number in the display radix; "" in display mode
    double left = 100, top = 100;          // twips
    bool positionSaved = false;            // SPSLeft/SPSTop were stored: else the window finds its place

private:
    void showMessage(const std::string& text);
    // Settings were edited: switching on starts a new run in the window's own file.
    void settingsEdited();
    // The write run behind switching on; the station refuses Program with the reason otherwise.
    void startWriteRun();
    std::optional<SerialRunSettings> runSettings();
    // The run file's run when one is carried on, else a new run from the
    // boxes; nullopt with no error when the boxes (already noted) make none.
    std::optional<SerialRunState> runInHand(std::string& error);
    void showRun(const SerialRunState& state);
    void showNext();
    // What switching on does once a HEX file is in hand.
    void completeSwitchOn();
    bool running() const;  // Program holds one of our numbers

    Session& s_;
    std::int64_t serial = 0;
    int count = 0;
    std::unique_ptr<SerialStation> station_;
    std::string runPath_;
    bool continueRun_ = false;
    std::optional<std::int64_t> next_;  // the next chip's number in a write run
    bool waitingForHex_ = false;        // switched on before any HEX file was loaded
    int loadsAtSwitch_ = 0;
};

}  // namespace vx
