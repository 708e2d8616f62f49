// Setting one key in the text of a file edited by hand (a new password hash) must leave a file
// that Load reads with the new value and every other setting exactly as before, whatever the
// file held; a file Load stops in is refused rather than edited.
#include "cache_fuzz_support.h"
#include "config/ini_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

using orvanta::LIniFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const cache_fuzz::Scratch scratch("fuzz-ini-edit");
    // Damaged files make the reader report on standard output: not news here.
    static FILE* const quiet = std::freopen("/dev/null", "w", stdout);
    Require(quiet != nullptr, "cannot silence standard output");
    constexpr char kValue[] = "pbkdf2-sha256$1000$AA==$BB==";
    constexpr char kMissing[] = "\x01missing";

    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> edited =
        orvanta::WithIniValue(text, "Admin", "PasswordHash", kValue);
    LIniFile before(scratch.folder + "before.ini");
    cache_fuzz::WriteAll(before.path, data, size);
    const bool read = before.Load();
    if (!edited) {
        Require(!read, "a file Load reads whole is edited");
        return 0;
    }
    LIniFile after(scratch.folder + "after.ini");
    cache_fuzz::WriteAll(after.path, reinterpret_cast<const uint8_t*>(edited->data()),
                         edited->size());
    Require(after.Load(), "the edited file loads");
    Require(after.GetString("Admin", "PasswordHash", kMissing) == kValue, "the new value is read");
    for (size_t i = 0; i < before.sections.size(); ++i) {
        const std::string& section = before.sectionNames[i];
        for (const std::string& key : before.sections[i].keyNames) {
            if (before.FoldCase(section) == "admin" && before.FoldCase(key) == "passwordhash") {
                continue;
            }
            Require(
                after.GetString(section, key, kMissing) == before.GetString(section, key, kMissing),
                "every other setting reads as before");
        }
    }
    return 0;
}
