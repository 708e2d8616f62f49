// An export's rows as a file an operator opens elsewhere: CSV (RFC 4180, with a header row) for
// spreadsheets, or JSON for scripts. Rows come one at a time from StatsReader::Export and are
// written into one text, never held as rows.
#pragma once

#include "stats/stats_reader.h"

#include <string>
#include <string_view>

namespace orvanta::engine {

// One CSV field: quoted when it holds a comma, a quote, CR or LF, quotes doubled. A text a
// spreadsheet would take for a formula (=, +, -, @, tab or CR first) gets an apostrophe before
// it when `text` is a text field: titles and addresses come from outside.
std::string CsvField(std::string_view value, bool text);

class StatsExportWriter {
public:
    enum class Format { Csv, Json };
    // `what`, `from` and `to` name the export in JSON's envelope.
    StatsExportWriter(Format format, std::string_view what, std::string_view from,
                      std::string_view to);

    // The column names first, then each row (a StatsRowSink).
    void Add(std::span<const StatsCell> cells);
    // The whole text; `cut`: the row limit left rows out (JSON says so).
    std::string Finish(bool cut);

private:
    Format m_format;
    std::string m_out;
    std::vector<std::string> m_names;  // JSON's keys, escaped
    bool m_first = true;
};

}  // namespace orvanta::engine
