// `baselinedoc export -o FILE.xlsx`: every table of a document in one
// workbook, written by libxlsxwriter. A cell that holds the document's text
// is a string cell whatever it looks like, and the bytes depend on the
// document alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document.h"

namespace baseline::doc {

// Writes the workbook of `document` to the file `path`, a scratch file that
// the caller publishes. False with `error` set when it cannot be written or
// would exceed what a spreadsheet holds (rows of a sheet, characters of a
// cell): a workbook is never written in part.
// `maxRows` (a sheet's rows, its header included) is a spreadsheet's limit;
// tests give a smaller one.
constexpr std::uint32_t kSheetRows = 1048576;
bool writeWorkbook(const Document& document, const std::string& path, std::string& error,
                   std::uint32_t maxRows = kSheetRows);

// Text of the document as a cell holds it: the hidden-character escapes of
// the other outputs, U+FFFE and U+FFFF (which the workbook's XML cannot hold)
// escaped too, and every "_xHHHH_" kept literal (a spreadsheet reads that
// form as an escaped character). Sets `hidden` when an escape was needed.
std::string cellText(std::string_view text, bool& hidden);

// The date serial number of a time (days since 1899-12-30), the fraction
// of the day to 2^-30 (80 microseconds, well inside a second), so that the
// value is exact and the same on every build.
double dateSerial(std::int64_t seconds);

}  // namespace baseline::doc
