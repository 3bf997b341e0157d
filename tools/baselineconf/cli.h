// The baselineconf command line: encode, decode, check and help, over files
// named by UTF-8 paths. Returns the process exit value: 0 success, 1 a refused
// or failed command, 2 a usage error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "config/config_schema.h"

namespace baseline::tool {

int runBaselineconf(const std::vector<std::string>& arguments, ConfigEnvironment& environment,
                    std::ostream& out, std::ostream& err);

extern const char* const kUsage;

}  // namespace baseline::tool
