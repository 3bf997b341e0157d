// The document's full path, refused when the name is already taken. The document is later created exclusively as well, so
// a file that appears after this test is still never overwritten.
#include "document/document_status.h"
#include "document/output_path.h"

#include "platform/failure_cause.h"
#include "platform/platform.h"

namespace baseline {

bool buildOutputPath(Platform& system, const std::u16string& title, std::u16string& outputPath,
                     std::int32_t& statusCode, FailureCause& cause) {
    LocalTime local;
    const std::int64_t now = system.time64();
    std::u16string suffix;
    // Without the date and time the name would be the bare title, with no
    // extension; such a path cannot be made at all.
    if (!system.localTime64(now, local) ||
        system.wcsftime(suffix, kOutputNameSuffixBufferLength, kOutputNameSuffixFormat, local) == 0) {
        outputPath.clear();
        statusCode = kStatusOutputNameTaken;
        cause.text = u"the document's name could not be made from the local date and time";
        return false;
    }

    std::u16string modulePath;
    const std::uint32_t length = system.getModuleFileName(modulePath, kModulePathBufferLength);
    const std::uint32_t error = system.getLastError();
    const bool cut = length == kModulePathBufferLength && error == kErrorInsufficientBuffer;
    std::u16string directory;
    if (length != 0 && !cut) {
        const auto backslash = modulePath.rfind(u'\\');
        directory = backslash == std::u16string::npos ? modulePath : modulePath.substr(0, backslash + 1);
    }
    outputPath = directory + title + suffix;

    if (system.waccess(outputPath, 0) == 0) {
        statusCode = kStatusOutputNameTaken;
        cause = nameTaken(system, outputPath);
        return false;
    }
    statusCode = 0;
    return true;
}

}  // namespace baseline
