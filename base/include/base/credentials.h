// The operator's credentials as the configuration stores them and the engine checks them: the
// web console's password as a salted, deliberately slow hash, and the API's bearer token as a
// plain SHA-256. Neither the password nor the token is ever stored.
//
// A stored password hash reads
//
//     pbkdf2-sha256$<iterations>$<salt, base64>$<hash, base64>
//
// (PBKDF2-HMAC-SHA256, base64 with padding, the standard alphabet). The iteration count
// travels in the text, so a later release can raise it while older hashes keep verifying.
// A stored token hash reads "sha256$<64 lower-case hex digits>".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta {

// What MakePasswordHash uses: about 50 ms for one check on the project's machine (see
// bench/README.md), so a guesser with the file gets some 20 tries a second per core, while the
// engine's login guard keeps the checks it has to make well below what the CPU can afford.
inline constexpr uint32_t kPasswordHashIterations = 200'000;
// What VerifyPasswordHash accepts. The upper bound keeps a hand-edited file from stalling
// the engine for minutes at every login; the lower one refuses a hash too cheap to mean
// anything.
inline constexpr uint32_t kMinPasswordHashIterations = 1'000;
inline constexpr uint32_t kMaxPasswordHashIterations = 10'000'000;
inline constexpr size_t kPasswordSaltBytes = 16;
inline constexpr size_t kPasswordHashBytes = 32;

// A new stored hash of `password` with a fresh random salt; "" when the system's random
// source fails (nothing may then be stored).
std::string MakePasswordHash(std::string_view password);

// Whether `password` is the one `stored` was made from. Anything but a well-formed stored hash
// (other scheme, iterations out of bounds, a salt or hash of the wrong size, base64 that is not
// in its one canonical spelling, anything extra) is false. The comparison takes the same time
// wherever the hashes differ.
bool VerifyPasswordHash(std::string_view stored, std::string_view password);

// A stored password hash taken apart, the salt and the hash as raw bytes.
struct PasswordHashParts {
    uint32_t iterations = 0;
    std::string salt;  // 16 to 64 bytes
    std::string hash;  // kPasswordHashBytes
};

// The strict reading VerifyPasswordHash does; nullopt for anything not well formed. What it
// accepts, FormatPasswordHash writes back byte for byte.
std::optional<PasswordHashParts> ParsePasswordHash(std::string_view stored);
std::string FormatPasswordHash(const PasswordHashParts& parts);

// PBKDF2-HMAC-SHA256 (RFC 8018) of `password` and `salt`, `length` bytes; "" when the
// library fails or `iterations` is 0. The building block of the two above.
std::string Pbkdf2HmacSha256(std::string_view password, std::string_view salt, uint32_t iterations,
                             size_t length);

// A new API token: 32 random bytes as base64url without padding (43 characters); "" when the
// system's random source fails.
std::string NewApiToken();

// The stored form of `token`: "sha256$" and the SHA-256 of the token's text in hex.
std::string ApiTokenHash(std::string_view token);

// Whether `token` is the one `storedHash` was made from, in constant time over the hashes;
// false for an empty token or a stored hash not of ApiTokenHash's form.
bool VerifyApiToken(std::string_view storedHash, std::string_view token);

// Overwrites the bytes of a secret in a way the compiler cannot leave out, then empties it.
void WipeSecret(std::string& secret);

// Standard base64 with padding, and its strict reading: only the canonical spelling of some
// bytes is accepted (length a multiple of 4, padding only at the end, unused bits zero).
std::string Base64Encode(std::string_view bytes);
std::optional<std::string> Base64DecodeStrict(std::string_view text);

}  // namespace orvanta
