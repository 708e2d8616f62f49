// Texts for widgets: the string table's entries and the program's own UTF-8 strings as QString.
#pragma once

#include "res/string_table.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace orvanta {

// Turns the "\r\n" line ends of the string table into the newlines the toolkit expects.
inline std::string DisplayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

// A text of the string table, as widgets show it.
inline QString Text(uint32_t id) {
    return QString::fromStdString(DisplayText(res::LoadString(id)));
}

inline QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace orvanta
