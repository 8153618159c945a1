// Digests: the SHA-256 that names what went into a chip, and the salted
// hash a PIN is kept as (never the PIN itself).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx {

// Lower-case hex, 64 digits.
std::string Sha256Hex(std::string_view data);

// "pbkdf2-sha256$ROUNDS$SALT$HASH" with a fresh salt from the operating
// system's random source; nullopt when that source fails.
std::optional<std::string> PinHash(std::string_view pin);
// The PIN gives the stored hash; false for a malformed one.
bool PinMatches(std::string_view pin, const std::string& stored);

}  // namespace vx
