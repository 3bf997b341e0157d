// The two shapes of a cause that carries the system's reason.
#include "platform/failure_cause.h"

#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

std::u16string code(std::uint32_t error) { return u"Windows error " + widenAscii(std::to_string(error)); }

}  // namespace

FailureCause causeWithSystemError(Platform& platform, std::u16string what, std::uint32_t error) {
    if (error == 0) return {std::move(what)};
    const std::u16string message = platform.formatMessage(error);
    return {std::move(what) + u" (" + code(error) + (message.empty() ? u"" : u": " + message) + u")"};
}

FailureCause failedOnPath(Platform& platform, const std::u16string& doing, const std::u16string& path,
                          std::uint32_t error) {
    const std::u16string message = platform.formatMessage(error);
    std::u16string text = doing + u" " + path + u" failed";
    if (error == 0) return {text + u", and the system gave no reason (a full disk is the usual one)"};
    return {text + u": " + (message.empty() ? u"" : message + u" ") + u"(" + code(error) + u")"};
}

FailureCause nameTaken(Platform& platform, const std::u16string& path) {
    FailureCause cause = causeWithSystemError(platform, path + u" already exists", kErrorFileExists);
    cause.text += u"; it was not touched";
    return cause;
}

}  // namespace baseline
