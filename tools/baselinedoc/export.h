// `baselinedoc export`: the tables of a document, and one of them as a CSV
// file that a spreadsheet opens as it is meant: UTF-8, every field text the
// document chose shown by the one rule for hidden characters and never taken
// for a formula.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "document.h"

namespace baseline::doc {

enum class CsvTable { executables, directories, publishers, allowedDirectories };

// "executables", "directories", "publishers", "allowed-directories".
bool csvTableNamed(std::string_view name, CsvTable& table);

struct Tally;

// A column of a table. A time (seconds since 1970) has `rawTitle` too: a
// workbook shows it as a date and, in a column of that title beside it, as
// the document's number.
struct Column {
    const char* title;
    const char* rawTitle = nullptr;
};

// Where a table's rows go, cell by cell: the CSV writer here, the workbook
// writer in workbook.cpp. Both formats thus have the same columns in the same
// order, one row per item. Text is the document's, as it stands.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void header(const Column* columns, std::size_t count) = 0;
    virtual void text(std::string_view value) = 0;
    virtual void number(std::int64_t value) = 0;
    virtual void flag(bool value) = 0;
    virtual void time(std::int64_t seconds) = 0;
    virtual void blank() = 0;
    virtual void endRow() = 0;
};

// The header and one row per item of `table`. `counts` is tally(document).
void writeTable(const Document& document, const Tally& counts, CsvTable table, RowSink& sink);

// A byte order mark, a header row, then one record per item of `table`,
// every field quoted, records ended by CR LF.
void writeCsv(const Document& document, CsvTable table, std::ostream& out);

// The field for text from the document: hidden characters as visible
// escapes, a leading apostrophe where a spreadsheet would see a formula,
// quotes doubled, in quotes. Sets `hidden` when an escape was needed.
std::string csvTextField(std::string_view text, bool& hidden);

// "2025-12-08T09:33:45Z" for seconds since 1970.
std::string isoUtc(std::int64_t seconds);

}  // namespace baseline::doc
