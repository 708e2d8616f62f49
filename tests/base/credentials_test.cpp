// The operator's credentials: PBKDF2-HMAC-SHA256 against published vectors, the stored form
// against hashes made by another implementation, the strict reading of hand-edited text, and
// the API token's hash.
#include "base/credentials.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace orvanta {
namespace {

using namespace std::string_literals;

std::string Hex(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const char byte : bytes) {
        text += kHex[static_cast<unsigned char>(byte) >> 4];
        text += kHex[static_cast<unsigned char>(byte) & 0x0F];
    }
    return text;
}

// RFC 7914 section 11 (PBKDF2-HMAC-SHA256), and the RFC 6070 inputs run through SHA-256 as
// the usual cross-implementation set lists them.
TEST(Pbkdf2Test, MatchesThePublishedVectors) {
    const struct {
        std::string password, salt;
        uint32_t iterations;
        size_t length;
        std::string expected;
    } vectors[] = {
        {"passwd", "salt", 1, 64,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
         "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000, 64,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
         "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
        {"password", "salt", 1, 32,
         "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
        {"password", "salt", 2, 32,
         "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
        {"password", "salt", 4096, 32,
         "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 40,
         "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1c635518c7dac47e9"},
        {"pass\0word"s, "sa\0lt"s, 4096, 16, "89b69d0516f829893c696226650a8687"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.password + " " + std::to_string(v.iterations));
        EXPECT_EQ(Hex(Pbkdf2HmacSha256(v.password, v.salt, v.iterations, v.length)), v.expected);
    }
    EXPECT_EQ(Pbkdf2HmacSha256("password", "salt", 0, 32), "") << "no rounds, no key";
}

// Stored hashes made by another PBKDF2 implementation (Python's hashlib, base64 module): the
// format is the one documented, not merely whatever this code writes.
TEST(PasswordHashTest, VerifiesHashesMadeElsewhereAndOnlyForTheirPassword) {
    const std::string sixteen =
        "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$beM5rf90KpCcAQg9rqzVJDXHDURZod+A0rjTFF0Nlfo=";
    EXPECT_TRUE(VerifyPasswordHash(sixteen, "p\xc3\xa4ssword 1"));
    EXPECT_FALSE(VerifyPasswordHash(sixteen, "p\xc3\xa4ssword 2"));
    EXPECT_FALSE(VerifyPasswordHash(sixteen, "p\xc3\xa4ssword 1 "));
    EXPECT_FALSE(VerifyPasswordHash(sixteen, ""));
    // A longer salt and another count, as a later release might write.
    const std::string longer =
        "pbkdf2-sha256$1001$MDEyMzQ1Njc4OWFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6"
        "IQ==$03mP5x8o+Z54Nk0/Cp4bxxph/7HjuGObemAqzIquqZs=";
    EXPECT_TRUE(VerifyPasswordHash(longer, "owl"));
    EXPECT_FALSE(VerifyPasswordHash(longer, "Owl"));
}

TEST(PasswordHashTest, NewHashesVerifyAndEachHasItsOwnSalt) {
    const std::string first = MakePasswordHash("correct horse");
    const std::string second = MakePasswordHash("correct horse");
    ASSERT_TRUE(first.starts_with("pbkdf2-sha256$" + std::to_string(kPasswordHashIterations) + "$"))
        << first;
    EXPECT_TRUE(VerifyPasswordHash(first, "correct horse"));
    EXPECT_TRUE(VerifyPasswordHash(second, "correct horse"));
    EXPECT_FALSE(VerifyPasswordHash(first, "correct horsf"));
    EXPECT_FALSE(VerifyPasswordHash(first, "correct hors"));
    const auto a = ParsePasswordHash(first);
    const auto b = ParsePasswordHash(second);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->salt.size(), kPasswordSaltBytes);
    EXPECT_NE(a->salt, b->salt) << "the same password, two salts";
    EXPECT_NE(a->hash, b->hash);
    EXPECT_EQ(first.find("correct"), std::string::npos);

    // Any byte may be in a password, a zero byte included, and it counts.
    const std::string odd = MakePasswordHash("a\0b\n\xff"s);
    EXPECT_TRUE(VerifyPasswordHash(odd, "a\0b\n\xff"s));
    EXPECT_FALSE(VerifyPasswordHash(odd, "a"));
}

// A hand-edited file: everything not in the one canonical form is refused before any work is
// done, so nothing in the file can make a login take minutes.
TEST(PasswordHashTest, AnythingMalformedIsFalse) {
    const std::string salt = "AAECAwQFBgcICQoLDA0ODw==";  // 16 bytes
    const std::string hash = "beM5rf90KpCcAQg9rqzVJDXHDURZod+A0rjTFF0Nlfo=";
    const auto stored = [&](const std::string& count, const std::string& s, const std::string& h) {
        return "pbkdf2-sha256$" + count + "$" + s + "$" + h;
    };
    ASSERT_TRUE(ParsePasswordHash(stored("1000", salt, hash)));
    EXPECT_TRUE(ParsePasswordHash(stored("10000000", salt, hash))) << "the upper bound itself";
    const std::string refused[] = {
        "",
        "pbkdf2-sha256$",
        stored("999", salt, hash),       // too few rounds to mean anything
        stored("10000001", salt, hash),  // would stall a login
        stored("4294968296", salt, hash),
        stored("01000", salt, hash),
        stored("+1000", salt, hash),
        stored(" 1000", salt, hash),
        stored("1000 ", salt, hash),
        stored("", salt, hash),
        stored("1e6", salt, hash),
        stored("1000", "", hash),
        stored("1000", "AAECAwQFBgcICQoLDA0O", hash),  // 15 bytes of salt
        stored("1000", salt, hash.substr(0, 40)),      // not a whole SHA-256
        stored("1000", salt, hash + "AAAA"),
        stored("1000", salt, "beM5rf90KpCcAQg9rqzVJDXHDURZod+A0rjTFF0Nlfp="),  // unused bits set
        stored("1000", salt, "beM5rf90KpCcAQg9rqzVJDXHDURZod+A0rjTFF0Nlfo"),   // no padding
        stored("1000", salt, "beM5rf90KpCcAQg9rqzVJDXHDURZod-A0rjTFF0Nlfo="),  // base64url
        stored("1000", "AAECAwQFBgcICQoLDA0ODw=A", hash),
        stored("1000", "AAECAwQFBgcI=QoLDA0ODw==", hash),
        stored("1000", salt, hash) + "$",
        stored("1000", salt, hash) + "\n",
        " " + stored("1000", salt, hash),
        "PBKDF2-SHA256$1000$" + salt + "$" + hash,
        "pbkdf2-sha1$1000$" + salt + "$" + hash,
        "pbkdf2-sha256$1000$" + salt + "$$" + hash,
        "pbkdf2-sha256$1000$" + salt + hash,
        "p\xc3\xa4ssword 1",
    };
    for (const std::string& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParsePasswordHash(text));
        EXPECT_FALSE(VerifyPasswordHash(text, "p\xc3\xa4ssword 1"));
    }
    // Parsing and writing are each other's inverse on everything accepted.
    const std::string good = stored("1000", salt, hash);
    EXPECT_EQ(FormatPasswordHash(*ParsePasswordHash(good)), good);
}

TEST(Base64Test, WritesAndReadsTheCanonicalFormOnly) {
    // RFC 4648 section 10.
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64Encode(bytes), text);
        EXPECT_EQ(Base64DecodeStrict(text), bytes);
    }
    EXPECT_EQ(Base64Encode("\xfb\xff"), "+/8=");
    for (const char* bad :
         {"Zg", "Zg=", "Zh==", "Zm9=", "Z===", "====", "Zg==Zg==", "Zm 9v", "Zm9\n"}) {
        EXPECT_FALSE(Base64DecodeStrict(bad)) << bad;
    }
}

TEST(ApiTokenTest, TokensAreFreshAndOnlyTheirOwnHashAcceptsThem) {
    // The FIPS 180-2 example: SHA-256("abc").
    EXPECT_EQ(ApiTokenHash("abc"),
              "sha256$ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(VerifyApiToken(ApiTokenHash("abc"), "abc"));

    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string token = NewApiToken();
        ASSERT_EQ(token.size(), 43u) << "32 bytes in base64url without padding";
        EXPECT_EQ(token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789-_"),
                  std::string::npos)
            << token;
        EXPECT_TRUE(seen.insert(token).second) << "never the same token twice";
        const std::string stored = ApiTokenHash(token);
        EXPECT_TRUE(VerifyApiToken(stored, token));
        EXPECT_EQ(stored.find(token), std::string::npos);
        std::string other = token;
        other.back() = other.back() == 'A' ? 'B' : 'A';
        EXPECT_FALSE(VerifyApiToken(stored, other));
        EXPECT_FALSE(VerifyApiToken(stored, token.substr(0, 42)));
        EXPECT_FALSE(VerifyApiToken(stored, token + "\n"));
    }
    const std::string stored = ApiTokenHash("abc");
    for (const std::string& bad :
         {std::string(), std::string("abc"), stored.substr(0, stored.size() - 1), stored + "0",
          "SHA256$" + stored.substr(7),
          std::string("sha256$BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"),
          " " + stored}) {
        EXPECT_FALSE(VerifyApiToken(bad, "abc")) << bad;
    }
    EXPECT_FALSE(VerifyApiToken(ApiTokenHash(""), "")) << "no token, no access";
}

}  // namespace
}  // namespace orvanta
