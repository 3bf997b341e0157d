// `baselinedoc export`: one table of a document as a CSV file that a
// spreadsheet opens as it is meant: UTF-8, every field text the document
// chose shown by the one rule for hidden characters and never taken for a
// formula.
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
