// The baselinedoc command line: check, summary, diff, report and export over files
// named by UTF-8 paths. Returns the process exit value: 0 success (for check,
// a complete document; for diff, no difference), 1 a refused or failed
// command (for diff: the documents differ), 2 a usage error (for diff: any
// trouble, as diff(1) does).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace baseline::doc {

int runBaselinedoc(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

extern const char* const kUsage;

}  // namespace baseline::doc
