// A customer's SQTP list on any contents, for a 14-bit part with EEPROM and
// a 12-bit part without (the first byte picks). Oracles: no memory fault or
// undefined behaviour (sanitizers); a list that is taken has distinct values
// of its width and reads back the same from the text written for it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "serialization/numberlist.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    DeviceInfo device;
    device.name = "PICFUZZ";
    device.family = data[0] & 1 ? Family::F12C5 : Family::Flash;
    device.programWords = data[0] & 1 ? 512 : 2048;
    device.eepromBytes = data[0] & 1 ? 0 : 128;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string error;
    const auto list = ParseSqtp(text, device, error);
    if (!list) {
        if (error.empty())
            std::abort();
        return 0;
    }
    const std::set<std::int64_t> distinct(list->values.begin(), list->values.end());
    if (distinct.size() != list->values.size() || *distinct.begin() < 0 ||
        *distinct.rbegin() >= (std::int64_t{1} << (8 * list->bytes)))
        std::abort();
    const auto back = ParseSqtp(SqtpText(*list, device), device, error);
    if (!back || back->values != list->values || back->address != list->address || back->mode != list->mode)
        std::abort();
    return 0;
}
