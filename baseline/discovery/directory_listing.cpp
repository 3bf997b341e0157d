// Reading one directory's listing whole, for a walk that reads ahead.
#include "discovery/directory_listing.h"

#include "discovery/walk_entry.h"
#include "platform/native_paths.h"

namespace baseline {

std::u16string listingPattern(const std::u16string& directory) {
    const bool endsWithSeparator = !directory.empty() && directory.back() == u'\\';
    return directory + (endsWithSeparator ? u"*" : u"\\*");
}

bool mayBeRecorded(const FindData& entry) {
    if (entry.attributes & kFileAttributeReparsePoint) return false;
    if (entry.attributes & kFileAttributeDirectory) {
        return !entry.fileName.empty() && entry.fileName != u"." && entry.fileName != u"..";
    }
    return isSupportedFile(entry.fileName);
}

DirectoryListing readDirectoryListing(NativePaths& native, Platform& platform, const std::u16string& directory) {
    DirectoryListing listing;
    Search search(platform);
    FindData found;
    search.reset(native.findFirstFile(listingPattern(directory), found, listing.openError));
    if (!search) {
        listing.redirectionFailed = native.redirectionFailed();
        listing.redirectionCause = native.redirectionCause();
        return listing;
    }
    listing.opened = true;
    do {
        if (mayBeRecorded(found)) {
            listing.entries.push_back(found);
        } else {
            listing.entries.push_back(FindData{found.attributes, {}});
        }
    } while (platform.findNextFile(search.get(), found));
    // Asked on this thread, straight after the call: the last error is the thread's.
    listing.endError = platform.getLastError();
    return listing;
}

}  // namespace baseline
