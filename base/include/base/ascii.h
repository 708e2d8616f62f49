// Byte-level text helpers for the ASCII range only, whatever the process locale: section and key
// names, command-line options, hive paths, cache magics and every byte from the network must
// mean the same thing for every user (a Turkish "I" is no "i").
#pragma once

#include <string>
#include <string_view>

namespace orvanta {

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

inline bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

// The C locale's isspace, spelled out so that the process locale cannot change what a number or
// a command line means.
inline bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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

// ASCII case-insensitive equality, the way header names, auth schemes and INI keys compare.
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

// `text` without the bytes of `blanks` at either end.
inline std::string_view TrimAny(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

inline std::string_view TrimSpaceTab(std::string_view text) {
    return TrimAny(text, " \t");
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

// Appends `byte` as a percent escape ("%2F"), upper-case hex as URLs and forms write it.
inline void AppendPercentEscape(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// `text` with every byte that `keep` refuses written as a percent escape.
template <typename Keep>
std::string PercentEncode(std::string_view text, Keep keep) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep(byte)) {
            out += c;
        } else {
            AppendPercentEscape(out, byte);
        }
    }
    return out;
}

}  // namespace orvanta
