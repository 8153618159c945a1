// One station of a production run: Program with the next serial number.
// The window and vormex-cli install it as the Program workflow's hook.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ops/workflows.h"
#include "serialization/runstore.h"

namespace vx {

extern const char* const kSerialQuantityReached;

class SerialStation : public ProgramHook {
public:
    // runPath: STATEFILE; recordPath: the production record ("" for none);
    // port: how the record names the board.
    SerialStation(std::string runPath, std::string recordPath, std::string port, StoreFaults faults = {});

    bool reserve(Session& s) override;
    bool place(Session& s) override;
    void finish(Session& s, Outcome outcome) override;
    std::vector<std::size_t> placedEepromBytes() const override;
    std::string placedNumber() const override;

    // Why the last run was refused before the board was touched, or the run
    // could not be kept: a note shown already; None when all went well.
    // Unrecorded: a passed chip's number the run could not record; it is
    // retried before the next reservation, and Program is refused until then.
    enum class Stop { None, Refused, Finished, FileError, Unrecorded };
    Stop stop = Stop::None;
    std::string message;
    // Refuses every run with this note (settings the window could not use).
    std::string blocked;
    // Who runs the station, for the chips' rows ("" for nobody named).
    std::string operatorName;

    // The last recorded device, and the run as the last step left it.
    bool recorded = false;
    std::int64_t lastValue = 0;
    std::string lastBytes;
    std::optional<SerialRunState> state;
    // The passed chip's number still to be recorded.
    std::optional<std::int64_t> unrecorded() const {
        return pending_ ? std::optional<std::int64_t>(pending_->reservation.value) : std::nullopt;
    }
    // The store, opened at first use; a text run file is converted then (note).
    RunStore* store(std::string& error);
    std::string note;

private:
    void refuse(Session& s, Stop why, const std::string& note);
    bool commitPending(Session& s);

    struct Pending {
        SerialReservation reservation;
        std::string line;
        std::string bytes;
        ChipAttempt attempt;
        bool appended = false;  // the line is in the record already
    };
    // The chip's row as far as Program has come; the end fills the rest.
    void endAttempt(Session& s, Outcome outcome);

    std::string runPath_;
    std::string recordPath_;
    std::string port_;
    StoreFaults faults_;
    StationId me_;
    std::unique_ptr<RunStore> store_;
    std::optional<SerialReservation> held_;
    std::optional<Pending> pending_;
    std::string checksum_;
    ChipAttempt attempt_;
    std::int64_t startMs_ = 0;
    PlacedBytes placed_;
    bool isPlaced_ = false;
};

// The user this process runs as, as the chips' rows name it.
std::string StationUser();

// The SHA-256 of the image as Program writes it: the device's program
// words, the configuration area and the device's EEPROM bytes.
std::string ImageSha256(const Session& s);

// The record's line for one chip: time, device, value in decimal and as the
// bytes written, HEX file, its checksum, port; fields joined by two spaces.
std::string SerialRecordLine(const std::string& time, const std::string& device, std::int64_t value,
                             const std::string& bytes, const std::string& hexPath, const std::string& checksum,
                             const std::string& port);
// The line of a number an operator settled as used.
std::string SerialSettledLine(const SerialRunSettings& settings, std::int64_t value);

// "00:0C": the bytes of a value as written, most significant first.
std::string SerialBytesWritten(std::int64_t value, int bytes);

// The note of a chip that passed while the run could not record its number.
std::string SerialUnrecordedNote(std::int64_t value, const std::string& error);

}  // namespace vx
