// The byte-level text helpers every protocol reader of the modules needs: ASCII only, whatever
// the process locale, so a byte from the network always means the same thing.
#pragma once

#include <string>
#include <string_view>

namespace orvanta::engine {

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

inline bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

// C0 controls (NUL, line breaks, escape) and DEL.
inline bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = AsciiLower(c);
    }
    return lower;
}

// ASCII case-insensitive equality, the way header names and auth schemes compare.
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// 0..15 for a hex digit of either case, -1 for anything else.
inline int HexDigitValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline std::string_view TrimSpaceTab(std::string_view text) {
    while (!text.empty() && IsSpaceOrTab(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpaceOrTab(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Text from outside made safe for one line of a header, a page or the log: every control byte
// becomes a space.
inline std::string WithoutControlBytes(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (IsControlByte(c)) {
            c = ' ';
        }
    }
    return out;
}

}  // namespace orvanta::engine
