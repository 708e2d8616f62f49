// Language packs are files anyone can drop beside the program, and their sources are edited by
// hand: neither reader may crash, hang or read out of bounds, whatever the bytes. The binary
// layout has one spelling per pack, so a file that reads must come back byte for byte; a source
// that reads must give texts that make a pack.
#include "support/language_pack_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvanta;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto pack = ParseLanguagePack(bytes)) {
        if (SerializeLanguagePack(*pack) != bytes) {
            std::abort();
        }
    }

    LanguagePackFile source;
    std::string error;
    if (ParseLanguagePackSource(bytes, source.texts, error)) {
        source.version = LanguagePackVersionStamp(0, 1, 0, 0);
        const auto compiled = ParseLanguagePack(SerializeLanguagePack(source));
        if (!compiled || compiled->texts != source.texts) {
            std::abort();
        }
    } else if (error.empty() || !source.texts.empty()) {
        std::abort();
    }
    return 0;
}
