#include "base/digest.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/random.h>

#include <array>
#include <vector>

namespace vx {

namespace {

// Slow enough that a stolen settings file does not give up a short PIN at
// once, quick enough for a person waiting at the screen.
constexpr int kPinRounds = 200000;
constexpr std::size_t kSaltBytes = 16, kHashBytes = 32;

std::string HexOf(const unsigned char* data, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::optional<std::vector<unsigned char>> BytesOf(std::string_view hex) {
    std::vector<unsigned char> out;
    if (hex.size() % 2 != 0)
        return std::nullopt;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        for (char c : hex.substr(i, 2)) {
            const auto at = std::string_view("0123456789abcdef").find(c);
            if (at == std::string_view::npos)
                return std::nullopt;
            value = value * 16 + static_cast<unsigned>(at);
        }
        out.push_back(static_cast<unsigned char>(value));
    }
    return out;
}

std::array<unsigned char, kHashBytes> Derive(std::string_view pin, const std::vector<unsigned char>& salt, int rounds) {
    std::array<unsigned char, kHashBytes> hash{};
    PKCS5_PBKDF2_HMAC(pin.data(), static_cast<int>(pin.size()), salt.data(), static_cast<int>(salt.size()), rounds,
                      EVP_sha256(), static_cast<int>(hash.size()), hash.data());
    return hash;
}

}  // namespace

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    return HexOf(digest, length);
}

std::optional<std::string> PinHash(std::string_view pin) {
    std::vector<unsigned char> salt(kSaltBytes);
    if (getrandom(salt.data(), salt.size(), 0) != static_cast<ssize_t>(salt.size()))
        return std::nullopt;
    const auto hash = Derive(pin, salt, kPinRounds);
    return "pbkdf2-sha256$" + std::to_string(kPinRounds) + "$" + HexOf(salt.data(), salt.size()) + "$" +
           HexOf(hash.data(), hash.size());
}

bool PinMatches(std::string_view pin, const std::string& stored) {
    const std::string_view prefix = "pbkdf2-sha256$";
    if (stored.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string_view rest = std::string_view(stored).substr(prefix.size());
    const auto first = rest.find('$'), second = rest.find('$', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return false;
    int rounds = 0;
    for (char c : rest.substr(0, first)) {
        if (c < '0' || c > '9' || rounds > 10000000)
            return false;
        rounds = rounds * 10 + (c - '0');
    }
    const auto salt = BytesOf(rest.substr(first + 1, second - first - 1));
    const auto hash = BytesOf(rest.substr(second + 1));
    if (rounds < 1 || !salt || !hash || hash->size() != kHashBytes)
        return false;
    const auto derived = Derive(pin, *salt, rounds);
    return CRYPTO_memcmp(derived.data(), hash->data(), kHashBytes) == 0;
}

}  // namespace vx
