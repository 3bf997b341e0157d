// The status table. 14012 is listed with the default text on purpose: it marks
// an internal failure that the operator can do nothing about.
#include "console/console_status.h"

#include "platform/platform.h"
#include "platform/failure_cause.h"
#include "platform/utf.h"
#include "platform/visible_text.h"

namespace baseline {
namespace {

struct StatusMessage {
    ConsoleStatus code;
    std::string_view message;
};

constexpr std::string_view kDefaultMessage =
    "Something went wrong. Please contact to our support team.";

// The texts are the program's own and are kept exactly as operators know them,
// spelling included.
constexpr StatusMessage kStatusMessages[] = {
    {14007, "ERROR: Instance is already running."},
    {14008, "ERROR: Current OS is not supported, please refer user guide/admin guide."},
    {14009, "ERROR: Adjusting previlege proess token is failed."},
    {14010, "ERROR: Inputs are not provided appropriately."},
    {14011, "ERROR: Failed to discover and create allowlist file."},
    {14012, kDefaultMessage},
    {14013, "ERROR: Failed to read baseline configuration."},
    {14014, "ERROR: Failed to disable FS Wow64 re-direction."},
    {14015, "ERROR: Provided Title length exceeds 50 characters."},
    {14016, "ERROR: Provided Description length exceeds 110 characters."},
    {14017, "ERROR: Title should start with character."},
    {14018, "ERROR:  Title should not contain special character."},
    {14019, "Press any key to Exit.."},
    {14020, "ERROR: Title or Description not provided."},
};

}  // namespace

std::string_view consoleStatusMessage(ConsoleStatus code) {
    for (const auto& entry : kStatusMessages) {
        if (entry.code == code) return entry.message;
    }
    return kDefaultMessage;
}

void printStatus(Platform& platform, ConsoleStatus code) {
    platform.writeOutput(widenAscii(std::string(consoleStatusMessage(code))) + u"\r\n");
}

void printCause(Platform& platform, const FailureCause& cause) {
    // A cause quotes configured paths and file names: nothing in them may
    // reach the console as a control or a hidden character.
    if (cause.known()) platform.writeOutput(u"Cause: " + visibleText(cause.text) + u"\r\n");
}

}  // namespace baseline
