// Facts about a path as a native process reads them. A 32-bit program on
// 64-bit Windows sees SysWOW64 where System32 is named; it turns WOW64's
// redirection off around each call below and back on straight after, so the
// facts are the system's, while everything else it does (writing its document,
// any DLL the system loads for it) stays redirected as a 32-bit process needs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/failure_cause.h"
#include "platform/file_identity_records.h"
#include "platform/platform.h"

namespace baseline {

class NativePaths {
public:
    // Asks once whether WOW64 stands between the program and the system.
    explicit NativePaths(Platform& platform);

    // True once redirection could not be turned off for a call; that call
    // was not made and answered as a path that cannot be read.
    bool redirectionFailed() const { return redirectionFailed_; }
    // Which path it was, and the system's reason.
    const FailureCause& redirectionCause() const { return redirectionCause_; }
    // Takes over a failure that a copy of this object met on another thread,
    // as if the call had been made here; the first failure stays the one told.
    void adoptRedirectionFailure(const FailureCause& cause) {
        if (!redirectionFailed_) redirectionCause_ = cause;
        redirectionFailed_ = true;
    }

    std::uint32_t getFileAttributes(const std::u16string& path);
    // 0 when the search cannot be opened, with the system's reason in
    // `error` (read before redirection is turned back on).
    SearchHandle findFirstFile(const std::u16string& pattern, FindData& data, std::uint32_t& error);
    int waccess(const std::u16string& path, int mode);
    // Seconds since 1970 of the last write (negative before 1970); false when
    // the time cannot be read.
    bool lastWriteTime(const std::u16string& path, std::int64_t& seconds);
    bool readVersionStrings(const std::u16string& path, FileVersionStrings& strings, std::int32_t& status);
    bool readSignerInfo(const std::u16string& path, SignerInfo& signer, std::int32_t& status);

private:
    // Runs `call` with redirection off where it is on; `unreadable` is the
    // answer when it cannot be turned off.
    template <typename Result, typename Call>
    Result natively(const std::u16string& path, Result unreadable, Call call);

    Platform& platform_;
    bool underWow64_ = false;
    bool redirectionFailed_ = false;
    FailureCause redirectionCause_;
};

}  // namespace baseline
