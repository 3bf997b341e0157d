// Every status code's line, the default for everything else, and the line end.
#include <gtest/gtest.h>

#include "console/console_status.h"
#include "memory_platform.h"

namespace baseline {
namespace {

constexpr const char* kDefault = "Something went wrong. Please contact to our support team.";

TEST(ConsoleStatus, EachCodeSelectsItsMessage) {
    const std::pair<ConsoleStatus, const char*> cases[] = {
        {14007, "ERROR: Instance is already running."},
        {14008, "ERROR: Current OS is not supported, please refer user guide/admin guide."},
        {14009, "ERROR: Adjusting previlege proess token is failed."},
        {14010, "ERROR: Inputs are not provided appropriately."},
        {14011, "ERROR: Failed to discover and create allowlist file."},
        {14012, kDefault},
        {14013, "ERROR: Failed to read baseline configuration."},
        {14014, "ERROR: Failed to disable FS Wow64 re-direction."},
        {14015, "ERROR: Provided Title length exceeds 50 characters."},
        {14016, "ERROR: Provided Description length exceeds 110 characters."},
        {14017, "ERROR: Title should start with character."},
        {14018, "ERROR:  Title should not contain special character."},
        {14019, "Press any key to Exit.."},
        {14020, "ERROR: Title or Description not provided."},
        {0, kDefault},
        {14006, kDefault},
        {14021, kDefault},
        {13001, kDefault},
        {0xFFFFFFFF, kDefault},
    };
    for (const auto& [code, message] : cases) {
        SCOPED_TRACE(code);
        EXPECT_EQ(consoleStatusMessage(code), message);
    }
}

TEST(ConsoleStatus, PrintsExactlyOneLineEndingInCrLf) {
    testing::MemoryPlatform platform;
    printStatus(platform, 14019);
    printStatus(platform, 99);
    EXPECT_EQ(platform.output, u"Press any key to Exit..\r\n" + std::u16string(
                                   u"Something went wrong. Please contact to our support team.\r\n"));
}

}  // namespace
}  // namespace baseline
