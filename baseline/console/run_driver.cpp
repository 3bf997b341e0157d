// Run driver. The configuration is not read yet, so every run that passes the
// dialogue ends as a run with no readable baselineconf.dat does.
#include "console/run_driver.h"

#include <string>

#include "console/console_status.h"
#include "console/dialogue.h"
#include "platform/platform.h"

namespace baseline {

bool runDriver(Platform& platform) {
    std::u16string title;
    std::u16string description;
    if (const ConsoleStatus failed = acceptTitleAndDescription(platform, title, description)) {
        printStatus(platform, failed);
        return false;
    }
    platform.writeOutput(u"Please wait while the allowlist is being created...\r\n\r\n");
    printStatus(platform, status::kConfigNotRead);
    return false;
}

}  // namespace baseline
