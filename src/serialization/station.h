// One station of a production run: Program with the next serial number.
// The window and vormex-cli install it as the Program workflow's hook.
#pragma once

#include <optional>
#include <string>

#include "ops/workflows.h"
#include "serialization/production.h"

namespace vx {

extern const char* const kSerialQuantityReached;

class SerialStation : public ProgramHook {
public:
    // runPath: the run file; recordPath: the production record ("" for none);
    // port: how the record names the board.
    SerialStation(std::string runPath, std::string recordPath, std::string port);

    bool reserve(Session& s) override;
    void place(Session& s) override;
    void finish(Session& s, Outcome outcome) override;

    // Why the last run was refused before the board was touched, or the run
    // file could not be kept: a note shown already; "" when all went well.
    enum class Stop { None, Refused, Finished, FileError };
    Stop stop = Stop::None;
    std::string message;
    // Refuses every run with this note (settings the window could not use).
    std::string blocked;

    // The last recorded device, and the run as the last step left it.
    bool recorded = false;
    std::int64_t lastValue = 0;
    std::string lastBytes;
    std::optional<SerialRunState> state;

    SerialRunFile& file() { return file_; }
    const std::string& recordPath() const { return recordPath_; }

private:
    void refuse(Session& s, Stop why, const std::string& note);

    SerialRunFile file_;
    std::string recordPath_;
    std::string port_;
    std::optional<SerialReservation> held_;
    std::int64_t value_ = 0;
    std::string checksum_;
    PlacedBytes placed_;
    bool isPlaced_ = false;
};

// The record's line for one chip: time, device, value in decimal and as the
// bytes written, HEX file, its checksum, port; fields joined by two spaces.
std::string SerialRecordLine(const std::string& time, const std::string& device, std::int64_t value,
                             const std::string& bytes, const std::string& hexPath, const std::string& checksum,
                             const std::string& port);

// "00:0C": the bytes of a value as written, most significant first.
std::string SerialBytesWritten(std::int64_t value, int bytes);

}  // namespace vx
