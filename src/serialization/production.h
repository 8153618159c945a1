// Production serialization: the settings of a run of serial numbers, where
// a number goes in the chip image, and the text run file of earlier
// releases (read once, to be converted into a run store, runstore.h).
//
// A number is handed out by index i (value = start + i * increment).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/deviceinfo.h"
#include "session/pcbuffer.h"

namespace vx {

enum class SerialMode { Display, Retlw, Eeprom };
// Where a run's values come from: start + index * increment, or a list kept
// in the run's store from its creation (a customer's file, random keys); a
// listed run keeps start 0 and increment 1 in its settings.
enum class SerialSource { Arithmetic, List, Random };
const char* SerialSourceName(SerialSource source);  // "arithmetic", "list", "random"
std::optional<SerialSource> SerialSourceFromName(const std::string& name);

struct SerialRunSettings {
    SerialMode mode = SerialMode::Retlw;
    std::int64_t start = 0;
    std::int64_t increment = 1;
    std::int64_t quantity = 0;
    std::int64_t address = 0;  // program word address (RETLW) or EEPROM address
    int bytes = 1;             // 1..4
    SerialSource source = SerialSource::Arithmetic;
    bool operator==(const SerialRunSettings&) const = default;
};

// Decimal, or hexadecimal after "0x": the whole text, inside 64 bits.
std::optional<std::int64_t> ParseSerialInteger(const std::string& text);

// start + index * increment; -1 (never a serial number) when the settings
// do not pass CheckRunSettings or the index lies outside the run.
std::int64_t SerialValueAt(const SerialRunSettings& settings, std::int64_t index);
// The index of a value of the run; nullopt when the run never hands it out.
std::optional<std::int64_t> SerialIndexOf(const SerialRunSettings& settings, std::int64_t value);
// Settings a run can use: a write mode, a nonzero increment, a quantity of
// at least one, every value of the run inside 0 .. 256^bytes - 1, an address
// inside 32 bits; else the reason.
std::optional<std::string> CheckRunSettings(const SerialRunSettings& settings);
// The bytes of a value, most significant first.
std::vector<std::uint8_t> SerialValueBytes(std::int64_t value, int bytes);

const char* SerialModeName(SerialMode mode);  // "display", "retlw", "eeprom"
std::optional<SerialMode> SerialModeFromName(const std::string& name);

// A run file of the earlier text form: its header line, and its contents.
extern const char* const kTextRunHeader;
struct TextRun {
    struct Reserved {
        std::int64_t index = 0;
        std::int64_t pid = 0;
        std::int64_t started = 0;
    };
    SerialRunSettings settings;
    std::int64_t nextIndex = 0;  // first index never handed out
    std::int64_t count = 0;      // devices recorded
    std::vector<std::int64_t> returned;
    std::vector<Reserved> reserved;
};
// nullopt with the reason for anything else than a complete, consistent
// file of that form (CR LF or LF line ends).
std::optional<TextRun> ParseTextRun(const std::string& text, std::string& error);

// Where a number goes: refused with the reason (as a note) when the range
// leaves the device's memory or covers words or bytes of the image that are
// not blank (the calibration word counts as taken).
std::optional<std::string> CheckPlacement(const DeviceInfo& device, const PcBuffer& image,
                                          const SerialRunSettings& settings);
// Writes the value into the image: one RETLW word per byte (0x34nn on 14-bit
// cores, 0x08nn on 12-bit cores) or EEPROM bytes. Returns what was there;
// nullopt, and nothing written, when the range leaves the image's arrays,
// whatever the settings say.
struct PlacedBytes {
    std::vector<std::uint8_t> before;
    std::size_t offset = 0;
    bool eeprom = false;
};
std::optional<PlacedBytes> PlaceSerial(const DeviceInfo& device, PcBuffer& image, const SerialRunSettings& settings,
                                       std::int64_t value);
void RestorePlacement(PcBuffer& image, const PlacedBytes& placed);

}  // namespace vx
