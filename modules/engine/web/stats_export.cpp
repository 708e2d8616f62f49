#include "web/stats_export.h"

#include "web/pages.h"

namespace orvanta::engine {

std::string CsvField(std::string_view value, bool text) {
    const bool formula = text && !value.empty() &&
                         std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos;
    const bool quoted = value.find_first_of(",\"\r\n") != std::string_view::npos;
    std::string field;
    field.reserve(value.size() + 3);
    if (quoted) {
        field += '"';
    }
    if (formula) {
        field += '\'';
    }
    for (const char c : value) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    if (quoted) {
        field += '"';
    }
    return field;
}

StatsExportWriter::StatsExportWriter(Format format, std::string_view what, std::string_view from,
                                     std::string_view to)
    : m_format(format) {
    if (m_format == Format::Json) {
        m_out = "{\"what\":\"" + JsonEscape(what) + "\",\"from\":\"" + JsonEscape(from) +
                "\",\"to\":\"" + JsonEscape(to) + "\",\"rows\":[";
    }
}

void StatsExportWriter::Add(std::span<const StatsCell> cells) {
    const bool names = m_first;
    m_first = false;
    if (m_format == Format::Csv) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) {
                m_out += ',';
            }
            if (cells[i].type != StatsCell::Type::Null) {
                m_out += CsvField(cells[i].text, !names && cells[i].type == StatsCell::Type::Text);
            }
        }
        m_out += "\r\n";
        return;
    }
    if (names) {
        for (const StatsCell& cell : cells) {
            m_names.push_back("\"" + JsonEscape(cell.text) + "\":");
        }
        return;
    }
    m_out += m_out.back() == '[' ? "{" : ",{";
    for (size_t i = 0; i < cells.size() && i < m_names.size(); ++i) {
        m_out += (i > 0 ? "," : "") + m_names[i];
        switch (cells[i].type) {
            case StatsCell::Type::Null:
                m_out += "null";
                break;
            case StatsCell::Type::Number:
                m_out += cells[i].text;
                break;
            case StatsCell::Type::Text:
                m_out += "\"" + JsonEscape(cells[i].text) + "\"";
                break;
        }
    }
    m_out += '}';
}

std::string StatsExportWriter::Finish(bool cut) {
    if (m_format == Format::Json) {
        m_out += "],\"cut\":" + std::string(cut ? "true" : "false") + "}\n";
    }
    return std::move(m_out);
}

}  // namespace orvanta::engine
