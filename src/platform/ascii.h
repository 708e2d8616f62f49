// Letter case of the ASCII range only. Section and key names, command-line options, hive paths
// and cache magics are ASCII; the user's locale must not fold them (a Turkish "I" is no "i").
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace orvanta {

inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
    return lower;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

}  // namespace orvanta
