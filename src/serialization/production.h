// Production serialization: a run of serial numbers shared by every station
// (the window and any number of vormex-cli processes) through one plain-text
// run file, and the placement of a number into the chip image.
//
// A number is handed out by index i (value = start + i * increment). A
// station reserves an index under the run file's lock, releases the lock
// while its chip is programmed, then commits the index (the chip passed) or
// returns it (the chip failed, the run was cancelled). Returned indexes, and
// those of reservations whose process no longer exists, are handed out again
// before new ones, so a run ends without gaps, although possibly out of order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/deviceinfo.h"
#include "session/pcbuffer.h"

namespace vx {

enum class SerialMode { Display, Retlw, Eeprom };

struct SerialRunSettings {
    SerialMode mode = SerialMode::Retlw;
    std::int64_t start = 0;
    std::int64_t increment = 1;
    std::int64_t quantity = 0;
    std::int64_t address = 0;  // program word address (RETLW) or EEPROM address
    int bytes = 1;             // 1..4
};

// A process as the run file names it: its id and its start time, so that a
// recycled process id is not taken for the one that made the reservation.
struct StationId {
    long pid = 0;
    std::uint64_t started = 0;
    bool operator==(const StationId&) const = default;
};
StationId ThisStation();
bool StationAlive(const StationId& station);

struct SerialReservation {
    std::int64_t index = 0;
    StationId station;
};

struct SerialRunState {
    SerialRunSettings settings;
    std::int64_t nextIndex = 0;           // first index never handed out
    std::int64_t count = 0;               // devices recorded
    std::vector<std::int64_t> returned;   // handed out again first, lowest first
    std::vector<SerialReservation> reserved;

    // The index the next reservation takes; nullopt when none is free.
    std::optional<std::int64_t> nextFree() const;
};

// Decimal, or hexadecimal after "0x": the whole text, inside 64 bits.
std::optional<std::int64_t> ParseSerialInteger(const std::string& text);

// start + index * increment; the settings check keeps it in range.
std::int64_t SerialValueAt(const SerialRunSettings& settings, std::int64_t index);
// Settings a run can use: a nonzero increment, a quantity of at least one,
// every value of the run inside 0 .. 256^bytes - 1; else the reason.
std::optional<std::string> CheckRunSettings(const SerialRunSettings& settings);
// The bytes of a value, most significant first.
std::vector<std::uint8_t> SerialValueBytes(std::int64_t value, int bytes);

// The run file's text and back; nullopt with the reason for anything else
// than a complete file of this form.
std::string FormatRunState(const SerialRunState& state);
std::optional<SerialRunState> ParseRunState(const std::string& text, std::string& error);
const char* SerialModeName(SerialMode mode);  // "display", "retlw", "eeprom"
std::optional<SerialMode> SerialModeFromName(const std::string& name);

// Where a number goes: refused with the reason (as a note) when the range
// leaves the device's memory or covers words or bytes of the image that are
// not blank (the calibration word counts as taken).
std::optional<std::string> CheckPlacement(const DeviceInfo& device, const PcBuffer& image,
                                          const SerialRunSettings& settings);
// Writes the value into the image: one RETLW word per byte (0x34nn on 14-bit
// cores, 0x08nn on 12-bit cores) or EEPROM bytes. Returns what was there.
struct PlacedBytes {
    std::vector<std::uint8_t> before;
    std::size_t offset = 0;
    bool eeprom = false;
};
PlacedBytes PlaceSerial(const DeviceInfo& device, PcBuffer& image, const SerialRunSettings& settings,
                        std::int64_t value);
void RestorePlacement(PcBuffer& image, const PlacedBytes& placed);

// The run file on disk. Every operation takes the lock (a file beside it,
// PATH.lock, held with flock, so a dead holder never blocks), reads the
// file, changes it and replaces it atomically before the lock goes.
class SerialRunFile {
public:
    explicit SerialRunFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    enum class Take { Reserved, Finished, AllReserved, Error };
    struct Taken {
        Take result = Take::Error;
        SerialReservation reservation;
        std::int64_t value = 0;
        SerialRunState state;  // after the step
        std::string error;
    };

    // A new run; refused when the file exists.
    bool create(const SerialRunSettings& settings, std::string& error);
    // Replaces the file with this state (export, import of the window).
    bool store(const SerialRunState& state, std::string& error);
    std::optional<SerialRunState> load(std::string& error) const;
    Taken reserve(const StationId& station);
    // record: appended to recordPath (when not empty) under the same lock.
    bool commit(const SerialReservation& reservation, const std::string& recordPath, const std::string& recordLine,
                std::string& error);
    bool giveBack(const SerialReservation& reservation, std::string& error);

private:
    std::string path_;
};

}  // namespace vx
