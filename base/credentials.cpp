#include "base/credentials.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <utility>

namespace orvanta {

namespace {

constexpr std::string_view kPasswordScheme = "pbkdf2-sha256$";
constexpr std::string_view kTokenScheme = "sha256$";
constexpr size_t kMinSaltBytes = 16;
constexpr size_t kMaxSaltBytes = 64;
constexpr size_t kTokenBytes = 32;
// 10,000,000 has eight digits; more can only be out of bounds (or a leading zero).
constexpr size_t kMaxIterationDigits = 8;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kBase64Url[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The six bits a base64 digit stands for; -1 for anything else.
int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// Three bytes to four digits; the last group short, padded with '=' when `pad`.
std::string EncodeWith(std::string_view bytes, const char* alphabet, bool pad) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t have = std::min<size_t>(3, bytes.size() - at);
        uint32_t group = 0;
        for (size_t i = 0; i < 3; ++i) {
            group = (group << 8) | (i < have ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        }
        for (size_t i = 0; i < 4; ++i) {
            if (i <= have) {
                text += alphabet[(group >> (18 - 6 * i)) & 0x3F];
            } else if (pad) {
                text += '=';
            }
        }
    }
    return text;
}

std::string Sha256(std::string_view bytes) {
    std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) !=
            1 ||
        length != digest.size()) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(digest.data()), digest.size());
}

std::string RandomBytes(size_t count) {
    std::string bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1) {
        return {};
    }
    return bytes;
}

bool SameBytes(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

void WipeSecret(std::string& secret) {
    // The whole buffer: a shorter secret may have left its bytes past the current end.
    secret.resize(secret.capacity());
    OPENSSL_cleanse(secret.data(), secret.size());
    secret.clear();
}

std::string Base64Encode(std::string_view bytes) {
    return EncodeWith(bytes, kBase64, true);
}

std::optional<std::string> Base64DecodeStrict(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        // Padding: none, or one or two '=' closing the last group.
        size_t digits = 4;
        while (last && digits > 2 && text[at + digits - 1] == '=') {
            --digits;
        }
        uint32_t group = 0;
        for (size_t i = 0; i < 4; ++i) {
            const int value = i < digits ? Base64Value(text[at + i]) : 0;
            if (value < 0) {
                return std::nullopt;
            }
            group = (group << 6) | static_cast<uint32_t>(value);
        }
        const size_t count = digits - 1;
        // The bits past the last whole byte must be zero: each byte string has one spelling.
        if ((group & ((1u << (8 * (3 - count))) - 1)) != 0) {
            return std::nullopt;
        }
        for (size_t i = 0; i < count; ++i) {
            bytes += static_cast<char>((group >> (16 - 8 * i)) & 0xFF);
        }
    }
    return bytes;
}

std::string Pbkdf2HmacSha256(std::string_view password, std::string_view salt, uint32_t iterations,
                             size_t length) {
    constexpr uint32_t kIntMax = 0x7FFFFFFF;
    if (iterations == 0 || iterations > kIntMax || password.size() > kIntMax ||
        salt.size() > kIntMax || length == 0 || length > kIntMax) {
        return {};
    }
    std::string out(length, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                          static_cast<int>(length),
                          reinterpret_cast<unsigned char*>(out.data())) != 1) {
        return {};
    }
    return out;
}

std::string MakePasswordHash(std::string_view password) {
    PasswordHashParts parts;
    parts.iterations = kPasswordHashIterations;
    parts.salt = RandomBytes(kPasswordSaltBytes);
    if (parts.salt.empty()) {
        return {};
    }
    parts.hash = Pbkdf2HmacSha256(password, parts.salt, parts.iterations, kPasswordHashBytes);
    if (parts.hash.empty()) {
        return {};
    }
    return FormatPasswordHash(parts);
}

std::optional<PasswordHashParts> ParsePasswordHash(std::string_view stored) {
    if (!stored.starts_with(kPasswordScheme)) {
        return std::nullopt;
    }
    stored.remove_prefix(kPasswordScheme.size());
    const size_t first = stored.find('$');
    const size_t second = first == std::string_view::npos ? first : stored.find('$', first + 1);
    if (second == std::string_view::npos ||
        stored.find('$', second + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view count = stored.substr(0, first);
    PasswordHashParts parts;
    // Decimal digits only, no sign, no leading zero, no spaces: one spelling per count.
    if (count.empty() || count.size() > kMaxIterationDigits || count.front() == '0' ||
        count.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::from_chars(count.data(), count.data() + count.size(), parts.iterations);
    if (parts.iterations < kMinPasswordHashIterations ||
        parts.iterations > kMaxPasswordHashIterations) {
        return std::nullopt;
    }
    auto salt = Base64DecodeStrict(stored.substr(first + 1, second - first - 1));
    auto hash = Base64DecodeStrict(stored.substr(second + 1));
    if (!salt || !hash || salt->size() < kMinSaltBytes || salt->size() > kMaxSaltBytes ||
        hash->size() != kPasswordHashBytes) {
        return std::nullopt;
    }
    parts.salt = std::move(*salt);
    parts.hash = std::move(*hash);
    return parts;
}

std::string FormatPasswordHash(const PasswordHashParts& parts) {
    return std::string(kPasswordScheme) + std::to_string(parts.iterations) + "$" +
           Base64Encode(parts.salt) + "$" + Base64Encode(parts.hash);
}

bool VerifyPasswordHash(std::string_view stored, std::string_view password) {
    const std::optional<PasswordHashParts> parts = ParsePasswordHash(stored);
    if (!parts) {
        return false;
    }
    const std::string computed =
        Pbkdf2HmacSha256(password, parts->salt, parts->iterations, parts->hash.size());
    return !computed.empty() && SameBytes(computed, parts->hash);
}

std::string NewApiToken() {
    std::string bytes = RandomBytes(kTokenBytes);
    std::string token = bytes.empty() ? std::string() : EncodeWith(bytes, kBase64Url, false);
    WipeSecret(bytes);
    return token;
}

// A plain, fast SHA-256 is enough here, unlike for a password: the token is 256 bits from the
// system's random source, so whoever reads the stored hash still faces 2^256 candidates, which
// no amount of speed brings within reach, and a salt would add nothing as no two tokens are
// alike. Slowing the hash down would only make every API request cost a key derivation.
std::string ApiTokenHash(std::string_view token) {
    const std::string digest = Sha256(token);
    if (digest.empty()) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(kTokenScheme);
    for (const char byte : digest) {
        text += kHex[static_cast<unsigned char>(byte) >> 4];
        text += kHex[static_cast<unsigned char>(byte) & 0x0F];
    }
    return text;
}

bool VerifyApiToken(std::string_view storedHash, std::string_view token) {
    if (token.empty() || !storedHash.starts_with(kTokenScheme) ||
        storedHash.size() != kTokenScheme.size() + 2 * SHA256_DIGEST_LENGTH ||
        storedHash.find_first_not_of("0123456789abcdef", kTokenScheme.size()) !=
            std::string_view::npos) {
        return false;
    }
    const std::string computed = ApiTokenHash(token);
    return !computed.empty() && SameBytes(computed, storedHash);
}

}  // namespace orvanta
