// The configuration word by name, from the same setting rows of device.ini
// that the configuration grid shows: a row "FOSC XT 0x0003 0x0001" makes
// the setting FOSC=XT, which holds when (word AND 0x0003) = 0x0001. Names
// are the rows' own keys and options; there is no second table.
#pragma once

#include <optional>
#include <string>

#include "session/session.h"

namespace vx {

// The settings the word holds, in the grid's order, separated by spaces:
// "FOSC=XT WDTE=OFF PWRTE=ON CP=OFF". A setting whose bits match none of its
// options shows them in hexadecimal (CP=0x1010); the bits no row explains
// follow as MASK=VALUE (0x3000=0x2000) when they differ from the device's
// default word (unimplemented bits read as the default has them).
std::string ConfigWordSettings(const Session& s, int word);

// A word as typed ("0x3F72", decimal, "0b…"); nullopt and the reason when
// it is not a number or is wider than the device's core.
std::optional<int> ParseConfigWord(const Session& s, const std::string& text, std::string& error);

// The device's default word with the named settings ("FOSC=HS,WDTE=OFF",
// names and options in any case) put in, then the database's fixed bits as
// the grid puts them; nullopt and the reason, naming the choices, for a name
// or option the device does not have.
std::optional<int> BuildConfigWord(const Session& s, const std::string& settings, std::string& error);

}  // namespace vx
