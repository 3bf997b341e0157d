// Why an operation failed, in words an administrator can act on: what failed,
// the path it concerned, and the system's own reason with its code. It is
// filled where the failure happens, travels up beside the status code, and
// only the console prints it.
#pragma once

#include <cstdint>
#include <string>

namespace baseline {

class Platform;

struct FailureCause {
    std::u16string text;  // empty: nothing is known beyond the status code

    bool known() const { return !text.empty(); }
};

// "<what> (Windows error 5: Access is denied.)"; `what` alone for error 0.
FailureCause causeWithSystemError(Platform& platform, std::u16string what, std::uint32_t error);

// "<doing> <path> failed: There is not enough space on the disk. (Windows
// error 112)", for a write that the system refused.
FailureCause failedOnPath(Platform& platform, const std::u16string& doing, const std::u16string& path,
                          std::uint32_t error);

// "<path> already exists (Windows error 80: The file exists.); it was not
// touched": a name that is taken, whichever test found it taken.
FailureCause nameTaken(Platform& platform, const std::u16string& path);

}  // namespace baseline
