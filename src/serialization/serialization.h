// The serial-number window of a production run (frmSerialPgmSetting): the
// window's state and its handlers. In display-only mode it keeps its own
// state only; its single outward call is the reload of the current HEX file
// when switched on. In a write mode, switched on, it is Program's hook: each
// Program takes the run's next number into the chip and only a pass uses it up.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/placement.h"
#include "ops/workflows.h"
#include "serialization/numberlist.h"
#include "serialization/station.h"
#include "session/session.h"

namespace vx {

// The window's own run store and the production record, in AppDir. The
// text run file of earlier releases is converted into the store once.
constexpr const char* kSerialRunName = "SERIAL_RUN.db";
constexpr const char* kSerialTextRunName = "SERIAL_RUN.txt";
constexpr const char* kSerialRecordName = "SERIAL_LOG.txt";
// The run's report the window writes beside the store.
constexpr const char* kSerialReportName = "SERIAL_REPORT.html";

// The run kept in AppDir while it is in progress (numbers to give, out, or
// to settle); nullopt otherwise. note: what opening it did (a conversion).
std::optional<SerialRunState> SavedSerialRun(const Session& s, std::string* note = nullptr);
// The question offered at start for a run in progress, its next number in
// the radix the window showed last; nullopt without one.
std::optional<std::string> SavedSerialRunQuestion(const Session& s);

class SerialProgramming : public ProgramHook {
public:
    enum class Field { DataStart, DataIncrement, DataFinish, StartAddress, WriteByteNumber };

    // Loading the window: position from the settings, S = 0, one byte; a
    // run in progress in AppDir is shown, and switching on continues it.
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

    // The run as a new STATEFILE for vormex-cli stations (an existing file
    // is refused): the window's run moves there (closed where it was), or a
    // new run from the boxes; the window goes on with it.
    bool exportRun(const std::string& path);
    // Takes a run over from a STATEFILE: the boxes show it, switching on continues it.
    bool importRun(const std::string& path);
    // A switch-on that waited for a HEX file completes once one is loaded;
    // called before the window draws and before each device.
    void followLoads();
    const std::string& runPath() const { return runPath_; }
    // An operator's word on a number to settle: in a good chip (used) or not.
    // Asks first, naming the number and what the answer does; false when not confirmed.
    bool settle(std::int64_t value, bool used);
    // The run's values from a customer's SQTP list (the file choice beside
    // the start value): the placement boxes show the file's, and switching
    // on starts a run of its values in order. Refused, with the reason
    // naming the line, for any bad list; typing a start value leaves it.
    bool chooseList(const std::string& path);
    // The operator the chips' rows name (the 作業者 box).
    void setOperatorName(const std::string& name);
    // The run's report as one HTML file beside the store (a server's run: in
    // the temporary folder), opened with its application; the file's path,
    // or "" (with the reason shown) when it could not be made.
    std::string writeReport();

    bool reserve(Session& s) override;
    bool place(Session& s) override;
    void finish(Session& s, Outcome outcome) override;
    std::vector<std::size_t> placedEepromBytes() const override {
        return station_ ? station_->placedEepromBytes() : std::vector<std::size_t>{};
    }
    std::string placedNumber() const override { return station_ ? station_->placedNumber() : ""; }
    // Called after Program changed what the window shows.
    std::function<void()> changed;

    // The key as it reaches the box: '\0' when discarded, else the key
    // (a-f upper-cased where hexadecimal digits pass). Backspace is 8, Enter 13.
    char filterKey(Field field, char key) const;

    std::int64_t serialUnits() const { return serial; }  // S in ten-thousandths
    // A run's number as the window shows it, in the display radix.
    std::string numberText(std::int64_t whole) const;
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
    std::string nextData;                  // TxtNextData: the next chip's number in the display radix
    std::vector<std::int64_t> settleValues;  // numbers to settle, lowest first
    std::string listPath;                  // the SQTP list the next run takes its values from; "" for none
    std::string operatorName;
    double left = 100, top = 100;          // twips
    bool positionSaved = false;            // SPSLeft/SPSTop were stored: else the window finds its place

private:
    void showMessage(const std::string& text);
    // Settings were edited: switching on starts a new run in the window's own file.
    void settingsEdited();
    // The write run behind switching on; the station refuses Program with the reason otherwise.
    void startWriteRun();
    // Whether a new run may replace the one in the store: asked when that
    // one has recorded chips, numbers out or numbers to settle.
    bool mayStartOver(const SerialRunState& saved);
    std::optional<SerialRunSettings> runSettings();
    // The store at runPath_; nullptr without error when the window's own
    // store does not exist yet.
    std::unique_ptr<RunStore> openStore(std::string& error, std::string* note = nullptr);
    void showRun(const SerialRunState& state);
    // The boxes show the run, in the radix the window showed last.
    void showSettings(const SerialRunState& state);
    void block(const std::string& why);
    void showNext();
    void clearLastNumber();  // a new run has written no number yet
    // What switching on does once a HEX file is in hand.
    void completeSwitchOn();
    bool running() const;  // Program holds one of our numbers

    // A station of the run at runPath_, naming the operator.
    std::unique_ptr<SerialStation> newStation() const;

    Session& s_;
    std::optional<SerialList> list_;
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
