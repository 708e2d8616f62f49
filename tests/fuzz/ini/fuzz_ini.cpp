// Whatever Load makes of a file must come back unchanged from Save and a second Load, since every
// change of a setting rewrites the whole configuration from what was read. The one thing the
// line format cannot carry is a carriage return at the end of a line: a comment or value that
// ends in one (read from a line ending in three or more) loses up to two of them on the way
// back, exactly as the reader strips them. Names never end a line in the saved text, and the
// reader cannot produce a model where the rest would not survive: a key name holds none of
// ";#[=" and starts with a printable byte, a section name is followed by its own "]", no text
// holds a line feed, and keys and comments only ever go to the first section of a name.
#include "cache_fuzz_support.h"
#include "config/ini_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using orvanta::LIniFile;

namespace {

bool SameLines(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    if (first.size() != second.size()) {
        return false;
    }
    for (size_t i = 0; i < first.size(); ++i) {
        std::string text = first[i];
        for (int cut = 0; cut < 2 && !text.empty() && text.back() == '\r'; ++cut) {
            text.pop_back();
        }
        if (text != second[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const cache_fuzz::Scratch scratch("fuzz-ini");
    // Damaged files make the reader report on standard output: not news here.
    static FILE* const quiet = std::freopen("/dev/null", "w", stdout);
    Require(quiet != nullptr, "cannot silence standard output");
    LIniFile first(scratch.folder + "input.ini");
    cache_fuzz::WriteAll(first.path, data, size);
    first.Load();

    first.path = scratch.folder + "saved.ini";
    Require(first.Save(), "Save");
    LIniFile second(first.path);
    Require(second.Load() == !first.sectionNames.empty(), "Load of a saved file");
    Require(SameLines(first.headerComments, second.headerComments), "header comments");
    Require(first.sectionNames == second.sectionNames, "section names");
    Require(first.sections.size() == first.sectionNames.size(), "section lists out of step");
    for (size_t i = 0; i < first.sections.size(); ++i) {
        Require(first.sections[i].keyNames == second.sections[i].keyNames, "key names");
        Require(SameLines(first.sections[i].values, second.sections[i].values), "values");
        Require(SameLines(first.sections[i].comments, second.sections[i].comments), "comments");
    }
    return 0;
}
