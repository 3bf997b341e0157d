// The banner, the title and description prompts, and the checks the operator's
// answers must pass before any work starts.
#pragma once

#include <cstddef>
#include <string>

#include "console/console_status.h"

namespace baseline {

class Platform;

constexpr std::size_t kMaxTitleLength = 50;
constexpr std::size_t kMaxDescriptionLength = 110;
constexpr std::size_t kNoSpecialCharacter = static_cast<std::size_t>(-1);

// The banner as written before the first prompt, CR LF line ends included.
const std::u16string& bannerText();

// Reads one line of operator input as UTF-16: a console line as typed,
// redirected input as UTF-8, or in the fallback code page when it is not UTF-8.
// End of input gives an empty line.
std::u16string readOperatorLine(Platform& platform);

// Shows the banner and both prompts and reads the answers. False when the
// title or the description is empty; the description prompt is skipped after
// an empty title.
bool readTitleAndDescription(Platform& platform, std::u16string& title, std::u16string& description);

// Removes blanks and tabs from both ends; a string of nothing else is left as it is.
void trim(std::u16string& text);

// Position of the first ASCII punctuation character other than the underscore,
// or kNoSpecialCharacter.
std::size_t findSpecialCharacter(const std::u16string& text);

// Reads and checks title and description in the fixed order. Returns 0 when both
// are accepted (then both are trimmed), otherwise the status of the first check
// that failed; nothing is printed.
ConsoleStatus acceptTitleAndDescription(Platform& platform, std::u16string& title,
                                        std::u16string& description);

}  // namespace baseline
