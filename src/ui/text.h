// Texts for widgets: the string table's entries and the program's own UTF-8 strings as QString.
#pragma once

#include "res/string_table.h"

#include <QString>

#include <cstdint>
#include <string>

namespace orvanta {

inline QString Text(uint32_t id) {
    return QString::fromStdString(res::LoadString(id));
}

inline QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace orvanta
