// The build run: one call turns the loaded configuration into one allowlist
// document, in a fixed order, and closes the document as failed on any error
// once it is open.
#include <json/json.h>

#include <exception>
#include <new>

#include "discovery/build_status.h"
#include "discovery/built_in_publishers.h"
#include "discovery/discovery_engine.h"
#include "discovery/discovery_paths.h"
#include "platform/path_form.h"
#include "document/allowlist_writer.h"
#include "document/document_status.h"
#include "hostinfo/host_inventory.h"
#include "platform/failure_cause.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

// While the document is open, Ctrl+C, Ctrl+Break and a close of the console
// stop the walk rather than the process, so that the document is always
// finished; the walk asks between entries.
class ConsoleCtrlCatcher {
public:
    explicit ConsoleCtrlCatcher(Platform& platform) : platform_(platform) { platform_.setConsoleCtrlHandler(true); }
    ConsoleCtrlCatcher(const ConsoleCtrlCatcher&) = delete;
    ConsoleCtrlCatcher& operator=(const ConsoleCtrlCatcher&) = delete;
    ~ConsoleCtrlCatcher() { platform_.setConsoleCtrlHandler(false); }

private:
    Platform& platform_;
};

// What escaped a step, in its own words.
FailureCause unexpected(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
        return {u"the run stopped: there is not enough memory"};
    }
    return {u"the run stopped on an unexpected error: " + decodeUtf8Replacing(e.what())};
}

}  // namespace

bool DiscoveryEngine::runBuild() {
    const ConsoleCtrlCatcher catcher(platform_);
    recordStartTime();
    AllowlistWriter writer(platform_);
    try {
        if (!buildOutputPath()) return false;
        if (!writer.open(outputPath)) {
            statusCode = writer.status;
            cause = writer.cause;
            return false;
        }
        statusCode = writer.status;
    } catch (const std::exception& e) {
        statusCode = kStatusWriteFailed;
        cause = unexpected(e);
        return false;
    } catch (...) {
        statusCode = kStatusWriteFailed;
        cause.text = u"the document could not be created";
        return false;
    }

    writer_ = &writer;
    bool succeeded = false;
    try {
        succeeded = buildDocument(writer);
    } catch (const Json::Exception& e) {
        statusCode = kStatusJsonFailed;
        cause = unexpected(e);
    } catch (const std::exception& e) {
        statusCode = kStatusWriteFailed;
        cause = unexpected(e);
    } catch (...) {
        statusCode = kStatusWriteFailed;
        cause.text = u"the run stopped on an unexpected error";
    }
    writer_ = nullptr;
    // A step that failed inside the writer left its reason there.
    if (!succeeded && !cause.known()) cause = writer.cause;

    if (!succeeded) counters.status = false;
    // The finishing step runs on every path once the document is open. After
    // a successful walk it decides the result: a document cut off before its
    // summary or its last brace (a full disk shows exactly there) is no
    // allowlist, and must not be reported as one.
    bool finished = false;
    try {
        if (!succeeded) recordEndTime();
        const bool misc = writer.writeMisc(config.globalAllowAppIfPublisherAllowed);
        const bool summary = writer.writeDiscoverySummary(counters);
        const bool closed = writer.close();
        finished = misc && summary && closed;
    } catch (...) {
    }
    documentFinished = finished;
    if (!finished && !succeeded && statusCode == kStatusInterrupted) {
        // Both halves matter: why the run stopped, and why its end is missing.
        const FailureCause finishing = writer.cause.known() ? writer.cause : FailureCause{u"finishing the document failed"};
        cause.text += u", and then " + finishing.text;
    }
    if (succeeded && !finished) {
        // A failed close leaves the writer's status alone.
        statusCode = writer.status != 0 ? writer.status : kStatusWriteFailed;
        cause = writer.cause.known() ? writer.cause : FailureCause{u"finishing the document failed"};
        return false;
    }
    if (succeeded) {
        statusCode = 0;
        cause = {};
    }
    return succeeded;
}

bool DiscoveryEngine::buildDocument(AllowlistWriter& writer) {
    HostInventory inventory;
    if (!fillHostInventory(inventory)) return false;
    if (!writer.writeHeader(&inventory)) {
        statusCode = writer.status;
        return false;
    }

    if (!listConfiguredDirectories()) return false;

    for (const auto name : kBuiltInPublisherNames) knownPublishers.insert(lowerAscii(std::u16string(name)));

    // Everything the signer and version reads need is loaded now, from the
    // system directory as this process sees it: once the walk has begun, the
    // 32-bit program reads with redirection off, where a DLL looked up would
    // come from the native system directory and could not load. Without
    // them every executable would go unidentified: no allowlist to deploy.
    if (!platform_.loadFileIdentityLibraries()) {
        // Several loads and look-ups stand behind the one answer; no single
        // system code would say which of them failed.
        statusCode = kStatusIdentityUnavailable;
        cause.text = u"version.dll or crypt32.dll, or a function of theirs, could not be loaded from the system "
                     u"directory";
        return false;
    }

    if (!walkDirectories()) return false;

    settleAllowedPublishers();

    if (!writer.writePublishers(publisherTable)) {
        statusCode = writer.status;
        return false;
    }
    counters.alloweddircnt = static_cast<std::uint32_t>(allowedDirectories.size());
    if (!writer.writeDirectories(allowedDirectories)) {
        statusCode = writer.status;
        return false;
    }
    recordEndTime();
    counters.status = true;
    return true;
}

bool DiscoveryEngine::listConfiguredDirectories() {
    for (const auto& configured : config.allowedDirectories) {
        bool isMutable = config.defaultMutable;
        bool strictPublisher = true;
        std::u16string expanded;
        if (!expandPath(platform_, configured, expanded)) {
            cause = causeWithSystemError(platform_, u"the allowed directory " + configured + u" could not be expanded",
                                         platform_.getLastError());
            return false;
        }
        const std::u16string normal = normalizePath(expanded);
        // A directory that cannot be queried has every attribute bit set, and so
        // counts as a system directory: immutable.
        const std::uint32_t attributes = native_.getFileAttributes(expanded);
        if (native_.redirectionFailed()) {
            cause = native_.redirectionCause();
            return false;
        }
        if (attributes & kFileAttributeSystem) {
            isMutable = false;
        } else {
            if (!paths_.buildImmutableSet.ensureBuilt(platform_, config.immutableDirectories)) {
                cause = causeWithSystemError(platform_, u"an immutable directory could not be expanded",
                                             platform_.getLastError());
                return false;
            }
            if (paths_.buildImmutableSet.contains(normal)) isMutable = false;
        }
        for (const auto& nonStrict : config.nonStrictPublisherDirectories) {
            if (nonStrict == normal) {
                strictPublisher = false;
                break;
            }
        }
        allowedDirectories.push_back(allowedDirectory(configured, isMutable, strictPublisher));
    }
    return true;
}

void DiscoveryEngine::settleAllowedPublishers() {
    for (const auto& name : config.allowedPublishers) {
        if (!knownPublishers.count(lowerAscii(name))) continue;
        // Replaces an entry of exactly this spelling, certificates and all.
        PublisherEntry& entry = publisherTable[name];
        entry.certificates.clear();
        entry.allowState = 1;
        entry.type = 1;
        entry.seen = true;
        entry.isMutable = config.defaultMutable;
    }
    counters.allowedpubcnt = static_cast<std::uint32_t>(publisherTable.size());
    for (const auto name : kBuiltInPublisherNames) {
        const std::u16string builtIn(name);
        PublisherEntry* entry = publisherTable.find(builtIn);
        if (entry == nullptr) {
            entry = &publisherTable[builtIn];
            entry->allowState = 0;
            entry->type = 0;
            entry->seen = false;
        }
        entry->isMutable = false;
    }
}

}  // namespace baseline
