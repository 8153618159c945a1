// Serial numbers that do not come from arithmetic: a customer's list in
// the SQTP form (.num), and random keys. Either becomes the planned values
// of a run when it is created, so every station and every restart hands
// out the same list in the same order.
//
// An SQTP file is an Intel HEX file whose data records each hold one
// device's serial bytes, every record at the same address and of the same
// length, in the order the devices are made (type 04 records may set the
// upper address). In program memory each byte is a RETLW word (0x34nn on
// 14-bit cores, 0x08nn on 12-bit ones); in EEPROM (byte n at 0x4200 + 2n,
// as in the program's HEX files) each byte is a word with a high byte of 0.
// The first word holds the most significant byte, as a run places it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serialization/production.h"
#include "session/deviceinfo.h"

namespace vx {

// More values than this are not a production list (and a run's plan is
// kept whole in its store).
constexpr std::int64_t kMaxPlannedValues = 1000000;

struct SerialList {
    SerialMode mode = SerialMode::Retlw;
    std::int64_t address = 0;  // program word address or EEPROM byte address, as a run's settings
    int bytes = 1;             // 1..4
    std::vector<std::int64_t> values;
};

// The list of an SQTP file for `device`, every record checked (checksums
// included: a list of keys is not a hand-edited program); nullopt with the
// reason, naming the line, for anything else.
std::optional<SerialList> ParseSqtp(std::string_view text, const DeviceInfo& device, std::string& error);

// The same form, for the customer: one record per value, CR LF line ends.
std::string SqtpText(const SerialList& list, const DeviceInfo& device);

// `quantity` distinct keys of `bytes` bytes from the operating system's
// random source (getrandom), none all-zero or all-0xFF; nullopt with the
// reason when the width has too few keys for the quantity or the source fails.
std::optional<std::vector<std::int64_t>> RandomKeys(std::int64_t quantity, int bytes, std::string& error);

}  // namespace vx
