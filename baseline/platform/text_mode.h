// What the C runtime's text mode makes of a file's bytes on reading: CR LF
// becomes LF and a Ctrl-Z ends the data. The win32 layer gets this from the
// runtime itself; models and tools that read in binary apply it here.
#pragma once

#include <string>

namespace baseline {

std::string textModeContent(const std::string& bytes);

}  // namespace baseline
