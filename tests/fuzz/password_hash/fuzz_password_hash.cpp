// The stored credentials come from Config.ini, which an operator edits by hand: the readers of
// the password hash, its base64 and the token hash must refuse anything not in their one form
// without crashing, and what they accept must be exactly what the writers produce.
#include "base/credentials.h"
#include "fuzz_require.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvanta;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto parts = ParsePasswordHash(text)) {
        Require(parts->iterations >= kMinPasswordHashIterations &&
                    parts->iterations <= kMaxPasswordHashIterations,
                "accepted iterations are within bounds");
        Require(parts->salt.size() >= 16 && parts->salt.size() <= 64, "salt of a sane size");
        Require(parts->hash.size() == kPasswordHashBytes, "a whole SHA-256");
        Require(FormatPasswordHash(*parts) == text, "one spelling per hash");
        // Cheap counts only: the fuzzer's time goes to the reader, not to PBKDF2.
        if (parts->iterations <= 2 * kMinPasswordHashIterations) {
            Require(!VerifyPasswordHash(text, "fuzz") ||
                        Pbkdf2HmacSha256("fuzz", parts->salt, parts->iterations,
                                         kPasswordHashBytes) == parts->hash,
                    "verified only by its own password");
        }
    }
    if (const auto bytes = Base64DecodeStrict(text)) {
        Require(Base64Encode(*bytes) == text, "base64 read back as written");
    }
    Require(!VerifyApiToken(text, "") &&
                (VerifyApiToken(text, "fuzz") == (text == ApiTokenHash("fuzz"))),
            "a token hash accepts its own token only");
    return 0;
}
