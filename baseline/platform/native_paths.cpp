// Path facts read with WOW64's redirection off around each call, and only
// around it.
#include "platform/native_paths.h"

#include "platform/file_time.h"
#include "platform/native_system.h"

namespace baseline {

NativePaths::NativePaths(Platform& platform) : platform_(platform), underWow64_(runsUnderWow64(platform)) {}

template <typename Result, typename Call>
Result NativePaths::natively(const std::u16string& path, Result unreadable, Call call) {
    if (!underWow64_) return call();
    std::uintptr_t oldValue = 0;
    if (!platform_.wow64DisableWow64FsRedirection(oldValue)) {
        if (!redirectionFailed_) {
            redirectionCause_ = causeWithSystemError(
                platform_, u"WOW64 file-system redirection could not be turned off to read " + path,
                platform_.getLastError());
        }
        redirectionFailed_ = true;
        return unreadable;
    }
    // Back on whichever way the call ends, an exception included.
    struct Revert {
        Platform& platform;
        std::uintptr_t oldValue;
        ~Revert() { platform.wow64RevertWow64FsRedirection(oldValue); }
    } revert{platform_, oldValue};
    return call();
}

std::uint32_t NativePaths::getFileAttributes(const std::u16string& path) {
    return natively(path, kInvalidFileAttributes, [&] { return platform_.getFileAttributes(path); });
}

SearchHandle NativePaths::findFirstFile(const std::u16string& pattern, FindData& data, std::uint32_t& error) {
    error = 0;
    return natively(pattern, SearchHandle{0}, [&] {
        const SearchHandle search = platform_.findFirstFile(pattern, data);
        if (search == 0) error = platform_.getLastError();
        return search;
    });
}

int NativePaths::waccess(const std::u16string& path, int mode) {
    return natively(path, -1, [&] { return platform_.waccess(path, mode); });
}

bool NativePaths::lastWriteTime(const std::u16string& path, std::int64_t& seconds) {
    // A root written as a bare drive (C:, as the system drive root is) is
    // the drive's root directory, the one its listing shows; asked as it
    // stands it would name the process's current directory on that drive.
    const bool bareDrive = path.size() == 2 && path[1] == u':';
    const std::u16string driveRoot = bareDrive ? path + u"\\" : std::u16string();
    const std::u16string& asked = bareDrive ? driveRoot : path;
    std::uint64_t fileTime = 0;
    if (!natively(asked, false, [&] { return platform_.getFileLastWriteTime(asked, fileTime); })) return false;
    seconds = fileTimeToUnixSeconds(fileTime);
    return true;
}

bool NativePaths::readVersionStrings(const std::u16string& path, FileVersionStrings& strings,
                                     std::int32_t& status) {
    status = kStatusIdentityUnavailable;
    return natively(path, false, [&] { return platform_.readVersionStrings(path, strings, status); });
}

bool NativePaths::readSignerInfo(const std::u16string& path, SignerInfo& signer, std::int32_t& status) {
    status = kStatusIdentityUnavailable;
    return natively(path, false, [&] { return platform_.readSignerInfo(path, signer, status); });
}

}  // namespace baseline
