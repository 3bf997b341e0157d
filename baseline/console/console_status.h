// The one-line messages the program prints, selected by a ConsoleStatus code.
#pragma once

#include <cstdint>
#include <string_view>

namespace baseline {

class Platform;
struct FailureCause;

using ConsoleStatus = std::uint32_t;

namespace status {
constexpr ConsoleStatus kInstanceRunning = 14007;
constexpr ConsoleStatus kOsNotSupported = 14008;
constexpr ConsoleStatus kPrivilegeFailed = 14009;
constexpr ConsoleStatus kInputsMissing = 14010;
constexpr ConsoleStatus kBuildFailed = 14011;
constexpr ConsoleStatus kInternalFailure = 14012;  // printed with the default text
constexpr ConsoleStatus kConfigNotRead = 14013;
constexpr ConsoleStatus kTitleTooLong = 14015;
constexpr ConsoleStatus kDescriptionTooLong = 14016;
constexpr ConsoleStatus kTitleStartsWithDigit = 14017;
constexpr ConsoleStatus kTitleHasSpecialCharacter = 14018;
constexpr ConsoleStatus kPressAnyKey = 14019;
}  // namespace status

// The message for a code; codes without a message of their own get the default.
std::string_view consoleStatusMessage(ConsoleStatus code);

// Writes the code's message and a line end to standard output.
void printStatus(Platform& platform, ConsoleStatus code);

// Writes "Cause: " and the cause, hidden characters as visible escapes, and a
// line end; nothing when the cause is not known. It follows a status line.
void printCause(Platform& platform, const FailureCause& cause);

}  // namespace baseline
