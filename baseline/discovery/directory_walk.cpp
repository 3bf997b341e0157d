// The breadth-first walk over the discovery roots: listing, counting, the
// mutable and allowed rules, first-level directory entries, and the recording
// of every root, directory and executable into the document.
#include <deque>
#include <memory>
#include <optional>

#include "discovery/directory_listing.h"
#include "discovery/read_ahead.h"

#include "discovery/build_status.h"
#include "discovery/discovery_engine.h"
#include "platform/path_form.h"
#include "discovery/walk_entry.h"
#include "document/allowlist_writer.h"
#include "fileidentity/executable_file_record.h"
#include "platform/native_paths.h"
#include "platform/failure_cause.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

bool isDotName(const std::u16string& name) { return name.empty() || name == u"." || name == u".."; }

bool sameDriveIgnoringAsciiCase(const std::u16string& path, const std::u16string& systemDrive) {
    return path.size() >= 2 && systemDrive.size() >= 2 &&
           lowerAscii(path.substr(0, 2)) == lowerAscii(systemDrive.substr(0, 2));
}

}  // namespace

bool isSupportedFile(std::u16string_view name) {
    // The last dot starts the suffix; only ".exe", in any ASCII letter case.
    const auto dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || name.size() - dot != 4) return false;
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c; };
    return lower(name[dot + 1]) == u'e' && lower(name[dot + 2]) == u'x' && lower(name[dot + 3]) == u'e';
}

struct DiscoveryEngine::Walk {
    std::u16string systemDrive;
    std::deque<WalkEntry> queue;
    std::int32_t nextId = 0;
    // Lists and reads ahead of the walk when it has more than one worker.
    std::unique_ptr<ReadAhead> readAhead;

    void enqueue(WalkEntry entry) {
        // The queue of a wide tree holds tens of thousands of directories:
        // each keeps only its path, and its normal form is made again when
        // it is listed.
        std::u16string().swap(entry.normalPath);
        queue.push_back(std::move(entry));
        // A deque's elements stay where they are while others come and go.
        if (readAhead) readAhead->queued(queue.back().path);
    }
};

bool DiscoveryEngine::walkDirectories() {
    Walk walk;
    if (!paths_.readSystemDrive(walk.systemDrive)) {
        cause = causeWithSystemError(platform_, u"%SYSTEMDRIVE% could not be expanded", platform_.getLastError());
        return false;
    }
    std::vector<std::u16string> roots;
    if (const unsigned workers = walkWorkerCount(platform_); workers > 1) {
        walk.readAhead = std::make_unique<ReadAhead>(platform_, native_, workers);
        if (!walk.readAhead->hasWorkers()) walk.readAhead.reset();
    }
    if (!paths_.buildRoots(walk.systemDrive, roots)) {
        statusCode = kStatusUnknownDiscoveryMode;
        cause.text = u"\"paths_to_discover\" is \"" + decodeUtf8Replacing(config.discoveryMode) +
                     u"\", none of \"osdrive\", \"all\" and \"custom\"";
        return false;
    }
    for (const auto& root : roots) {
        WalkEntry entry;
        if (!expandPath(platform_, root, entry.path)) {
            cause = causeWithSystemError(platform_, u"the root " + root + u" could not be expanded",
                                         platform_.getLastError());
            return false;
        }
        if (!keepWalking(entry.path)) return false;
        ++counters.dircnt;
        entry.normalPath = normalizePath(entry.path);
        entry.id = walk.nextId++;
        entry.parentId = -1;
        entry.onSystemDrive = sameDriveIgnoringAsciiCase(entry.path, walk.systemDrive);
        entry.isDirectory = true;
        entry.allowed = 0;
        entry.isMutable = false;
        if (!recordDiscoveredItem(entry)) return false;
        walk.enqueue(std::move(entry));
        while (!walk.queue.empty()) {
            WalkEntry directory = std::move(walk.queue.front());
            walk.queue.pop_front();
            directory.normalPath = normalizePath(directory.path);
            if (!listDirectory(walk, directory)) return false;
        }
    }
    return true;
}

bool DiscoveryEngine::listDirectory(Walk& walk, const WalkEntry& directory) {
    if (walk.readAhead) return listReadAhead(walk, directory);
    Search search(platform_);
    FindData found;
    std::uint32_t error = 0;
    // Only opening the search looks the path up; the entries that follow
    // come from the handle, whatever redirection says by then.
    search.reset(native_.findFirstFile(listingPattern(directory.path), found, error));
    if (!search) return listingNotOpened(directory, native_.redirectionFailed() ? &native_.redirectionCause() : nullptr,
                                         error);
    std::size_t index = 0;
    do {
        if (!takeEntry(walk, directory, found, index++)) return false;
    } while (platform_.findNextFile(search.get(), found));
    listingEnded(directory, platform_.getLastError());
    return true;
}

// The same walk over a listing read ahead, with the facts of its entries.
bool DiscoveryEngine::listReadAhead(Walk& walk, const WalkEntry& directory) {
    const DirectoryListing* listing =
        walk.readAhead->takeListing(directory.path, [&] { return !interrupted(directory.path); });
    if (listing == nullptr) return false;
    // A failure the walk adopted from a read ahead ends it where one thread's
    // next call would have.
    if (native_.redirectionFailed()) return listingNotOpened(directory, &native_.redirectionCause(), 0);
    if (!listing->opened) {
        return listingNotOpened(directory, listing->redirectionFailed ? &listing->redirectionCause : nullptr,
                                listing->openError);
    }
    for (std::size_t index = 0; index < listing->entries.size(); ++index) {
        if (!takeEntry(walk, directory, listing->entries[index], index)) return false;
    }
    listingEnded(directory, listing->endError);
    return true;
}

bool DiscoveryEngine::listingNotOpened(const WalkEntry& directory, const FailureCause* redirection,
                                       std::uint32_t error) {
    if (redirection != nullptr) {
        native_.adoptRedirectionFailure(*redirection);
        cause = native_.redirectionCause();
        return false;
    }
    // Nothing in it, or it could not be listed: skipped either way, the
    // second told to the operator.
    if (error != kErrorFileNotFound && error != kErrorNoMoreFiles) noteUnlisted(directory.path, error);
    return true;
}

void DiscoveryEngine::listingEnded(const WalkEntry& directory, std::uint32_t ended) {
    // A listing cut short (a share gone offline, say) saw only part of the directory.
    if (ended != kErrorNoMoreFiles) noteUnlisted(directory.path, ended);
}

// One entry of a listing: counted, ruled on, and recorded when it is a
// subdirectory or an executable that no rule leaves out. False ends the walk.
bool DiscoveryEngine::takeEntry(Walk& walk, const WalkEntry& directory, const FindData& found, std::size_t index) {
    if (!keepWalking(directory.path)) return false;
    const std::uint32_t attributes = found.attributes;
    if (attributes & kFileAttributeReparsePoint) {
        ++counters.dircnt;  // counted, never followed
        return true;
    }
    const bool isDirectory = (attributes & kFileAttributeDirectory) != 0;
    // Most entries are only counted: nothing is made of them, not even
    // their path.
    if (isDirectory) {
        ++counters.dircnt;
        if (isDotName(found.fileName)) return true;
    } else {
        ++counters.filecnt;
        if (!isSupportedFile(found.fileName)) return true;
        ++counters.supportedfilecnt;
        ++counters.allowedfilecnt;
    }
    WalkEntry child;
    child.path.reserve(directory.path.size() + 1 + found.fileName.size());
    child.path.append(directory.path).append(1, u'\\').append(found.fileName);
    child.normalPath = normalizePath(child.path);
    child.id = walk.nextId++;
    child.parentId = directory.id;
    child.onSystemDrive = directory.onSystemDrive;
    child.isDefault = directory.isDefault;
    child.attributes = attributes;
    child.isDirectory = isDirectory;
    child.allowed = 1;
    child.isMutable = !isImmutable(directory, child);
    if (isDirectory) {
        // The allowed rule and the exclusion are for directories only.
        if (classifyAllowed(directory, child) == 0) child.allowed = 0;
        // An excluded subtree is left out whole; its id stays used.
        if (paths_.isExcluded(LookupPath{child.path, child.normalPath})) return true;
    }
    std::optional<FileFacts> facts;
    if (walk.readAhead && !native_.redirectionFailed()) {
        facts = walk.readAhead->takeFacts(index, child.path, !isDirectory, [&] { return !interrupted(directory.path); });
        if (!facts) {
            // Stopped while waiting for this entry: one thread would have
            // stopped before it, so it is not counted either.
            if (isDirectory) {
                --counters.dircnt;
            } else {
                --counters.filecnt;
                --counters.supportedfilecnt;
                --counters.allowedfilecnt;
            }
            return false;
        }
    }
    if (!recordDiscoveredItem(child, facts ? &*facts : nullptr)) return false;
    // Recorded, then queued: nothing of the queue is seen before it is
    // listed, so the order changes nothing but a copy of the entry.
    if (isDirectory) walk.enqueue(std::move(child));
    return true;
}

void DiscoveryEngine::noteUnlisted(const std::u16string& path, std::uint32_t error) {
    if (unlistedDirectories.size() < kUnlistedKept) unlistedDirectories.push_back({path, error});
    ++unlistedCount;
}

// Between two entries: stop when the operator interrupted the run, else let
// the progress be shown.
bool DiscoveryEngine::keepWalking(const std::u16string& directory) {
    if (interrupted(directory)) return false;
    if (progress != nullptr) progress->walking(counters, directory);
    return true;
}

bool DiscoveryEngine::interrupted(const std::u16string& directory) {
    if (!platform_.consoleCtrlEventReceived()) return false;
    statusCode = kStatusInterrupted;
    cause.text = u"the run was interrupted (Ctrl+C, Ctrl+Break or a close of the console) while listing " + directory;
    return true;
}

bool DiscoveryEngine::isImmutable(const WalkEntry& parent, const WalkEntry& child) {
    // Inherited downwards, but a root's children start afresh.
    if (!parent.isMutable && parent.parentId != -1) return true;
    if (config.immutableForSystemDirectory && (child.attributes & kFileAttributeSystem)) {
        config.immutableDirectories.push_back(child.path);
        return true;
    }
    bool under = false;
    // A set that cannot be built does not make anything immutable.
    return paths_.isUnderImmutableDirectory(paths_.walkImmutableSet, config.immutableDirectories,
                                            LookupPath{child.path, child.normalPath}, under) &&
           under;
}

std::int32_t DiscoveryEngine::classifyAllowed(const WalkEntry& parent, const WalkEntry& child) {
    if (paths_.isProgramFilesDirectory(LookupPath{child.path, child.normalPath})) return 0;
    if (paths_.isFirstLevelParent(LookupPath{parent.path, parent.normalPath})) {
        allowedDirectories.push_back(allowedDirectory(
            child.onSystemDrive ? u"%SYSTEMDRIVE%" + child.path.substr(2) : child.path, child.isMutable, true));
        return 1;
    }
    return paths_.isUnderAllowedDirectory(LookupPath{child.path, child.normalPath}) ? 1 : 0;
}

bool DiscoveryEngine::recordDiscoveredItem(const WalkEntry& entry) { return recordDiscoveredItem(entry, nullptr); }

bool DiscoveryEngine::recordDiscoveredItem(const WalkEntry& entry, const FileFacts* facts) {
    ExecutableFileRecord record(native_);
    if (!record.setPath(entry.path)) {
        statusCode = record.lastStatus;
        cause.text = u"the path " + entry.path + u" cannot be split into a folder and a name";
        return false;
    }
    const auto attributes = static_cast<std::int32_t>(entry.attributes);
    const std::int32_t kind = entry.isDirectory ? kKindDirectory : kKindApplication;
    record.setProperties(attributes, entry.id, entry.parentId, entry.onSystemDrive ? 1 : 0, entry.allowed,
                         entry.isMutable, entry.isDefault, kind, facts);
    if (facts != nullptr && facts->redirection == FileFacts::Redirection::failedBeforeWrite) {
        native_.adoptRedirectionFailure(facts->redirectionCause);
    }
    if (!entry.isDirectory) collectPublisher(record, entry.isMutable);
    // Without the native view this item's facts were never read, and read
    // through redirection they would be another file's: it is not written.
    if (native_.redirectionFailed()) {
        cause = native_.redirectionCause();
        return false;
    }
    if (!writer_->writeFileEntry(record)) return false;
    // One thread would have met it asking for the version strings, while
    // writing this entry; its next call would then fail.
    if (facts != nullptr && facts->redirection == FileFacts::Redirection::failedAfterWrite) {
        native_.adoptRedirectionFailure(facts->redirectionCause);
    }
    return true;
}

void DiscoveryEngine::collectPublisher(ExecutableFileRecord& record, bool itemMutable) {
    SignerInfo signer;
    if (!record.getSigner(signer)) return;
    // One certificate is collected once, for whichever publisher showed it first.
    if (!processedSerials_.insert(signer.serialNumber).second) return;
    if (PublisherEntry* existing = publisherTable.find(signer.publisherName)) {
        existing->certificates.emplace_back(signer.serialNumber, signer.issuerName);
        return;
    }
    // A name known in another letter case, or a built-in publisher, gets no entry.
    if (!knownPublishers.insert(lowerAscii(signer.publisherName)).second) return;
    PublisherEntry& created = publisherTable[signer.publisherName];
    created.certificates = {{signer.serialNumber, signer.issuerName}};
    created.allowState = 1;
    created.type = 1;
    created.seen = true;
    created.isMutable = itemMutable;
}

}  // namespace baseline
