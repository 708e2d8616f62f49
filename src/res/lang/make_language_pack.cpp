// make_language_pack: compiles the editable source of a language pack into the pack file the
// console loads, stamped with the version the console is built with.
//
//   make_language_pack <source.txt> <pack> <major> <minor> <build> <revision>
#include "base/file_io.h"
#include "support/language_pack_file.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

bool ParseVersionPart(std::string_view text, uint16_t& part) {
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), part);
    return status == std::errc() && end == text.data() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvanta;
    if (argc != 7) {
        std::cerr << "usage: " << (argc > 0 ? argv[0] : "make_language_pack")
                  << " <source.txt> <pack> <major> <minor> <build> <revision>\n";
        return 2;
    }
    uint16_t version[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (!ParseVersionPart(argv[3 + i], version[i])) {
            std::cerr << argv[0] << ": not a version part: " << argv[3 + i] << "\n";
            return 2;
        }
    }

    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot be read\n";
        return 1;
    }
    const std::string source((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    LanguagePackFile pack;
    std::string error;
    if (!ParseLanguagePackSource(source, pack.texts, error)) {
        std::cerr << argv[1] << ": " << error << "\n";
        return 1;
    }
    pack.version = LanguagePackVersionStamp(version[0], version[1], version[2], version[3]);
    const std::string bytes = SerializeLanguagePack(pack);
    if (!ParseLanguagePack(bytes)) {
        std::cerr << argv[1] << ": the compiled pack would not load\n";
        return 1;
    }

    // Written beside the target and renamed over it, so that a failed build never leaves a
    // half-written pack for the console to find.
    const std::string target = argv[2];
    std::string reason;
    if (!ReplaceFile(target, bytes, 07777, 0644, reason)) {
        std::cerr << target << ": " << reason << "\n";
        return 1;
    }
    return 0;
}
