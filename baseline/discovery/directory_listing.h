// The listing stage of the walk: one directory's entries as the platform gives
// them, read to the end of the listing by whichever thread, and which of them
// the walk makes a path of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/failure_cause.h"
#include "platform/platform.h"

namespace baseline {

class NativePaths;

// Closes a directory search on every path.
class Search {
public:
    explicit Search(Platform& platform) : platform_(platform) {}
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    ~Search() { close(); }

    explicit operator bool() const { return handle_ != 0; }
    SearchHandle get() const { return handle_; }
    void reset(SearchHandle handle) {
        close();
        handle_ = handle;
    }
    void close() {
        if (handle_ != 0) platform_.findClose(handle_);
        handle_ = 0;
    }

private:
    Platform& platform_;
    SearchHandle handle_ = 0;
};

// The pattern that lists `directory`: its path, a backslash unless it ends in
// one, and a star.
std::u16string listingPattern(const std::u16string& directory);

// An entry the walk records, if no rule leaves it out: a subdirectory other
// than "." and "..", or an executable file; never a reparse point.
bool mayBeRecorded(const FindData& entry);

// A whole listing. Only entries that may be recorded keep their names; the
// walk only counts the others, and a listing of many thousand files then
// costs little more than their attributes.
struct DirectoryListing {
    bool opened = false;
    std::uint32_t openError = 0;  // why it did not open
    bool redirectionFailed = false;
    FailureCause redirectionCause;
    std::vector<FindData> entries;                 // in the platform's order
    std::uint32_t endError = kErrorNoMoreFiles;    // why the listing ended
};

// Lists `directory` through `native`, as the walk's own loop would.
DirectoryListing readDirectoryListing(NativePaths& native, Platform& platform, const std::u16string& directory);

}  // namespace baseline
