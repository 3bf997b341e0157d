// Reading ahead of the walk on a pool of worker threads. The walk's order is
// known before it records: the directories already queued will be listed in
// queue order, and the subdirectories and executables of a listing will be
// recorded in listing order. So the listings of queued directories and the
// facts of their entries (last-write time, signer, version strings) are handed
// to the workers in that order, and the walk takes each result when it
// reaches it. What it records, and in which order, is what one thread records;
// only the waiting on one call at a time is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "discovery/directory_listing.h"
#include "fileidentity/executable_file_record.h"
#include "platform/native_paths.h"

namespace baseline {

class Platform;

// Workers for a walk: BASELINE_THREADS when it is a whole number from 1 up,
// otherwise the machine's processors; at most kMaxWalkWorkers either way. One
// means the walk's own thread only, with no pool.
constexpr unsigned kMaxWalkWorkers = 16;
unsigned walkWorkerCount(Platform& platform);

class ReadAhead {
public:
    // `prototype` is the walk's own view of native paths, not failed yet:
    // each task reads through a copy of it, so that a failure stays with the
    // task that met it until the walk reaches that task's result.
    ReadAhead(Platform& platform, const NativePaths& prototype, unsigned workers);
    // Stops handing out work, drops what was not taken, and waits a moment for
    // the calls under way; a worker stuck in one slow call is left behind.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // False when not one worker thread could be started.
    bool hasWorkers() const;
    // The walk queued `directory` for listing. Only its address is kept, and
    // only until the walk takes its listing: a queue of many thousand
    // directories costs a pointer each here, and a listing and a copy of the
    // path only once its read is asked for.
    void queued(const std::u16string& directory);
    // The listing of `directory`, the one at the front of the queue, which
    // leaves it; valid until the next call. While waiting, `keepWaiting` is
    // asked now and then; when it says no, the answer is null.
    const DirectoryListing* takeListing(const std::u16string& directory, const std::function<bool()>& keepWaiting);
    // The facts of entry `index` of the listing last taken, whose path is
    // `path`; entries are asked for in listing order, each at most once.
    // Nothing when `keepWaiting` said no.
    std::optional<FileFacts> takeFacts(std::size_t index, const std::u16string& path, bool executable,
                                       const std::function<bool()>& keepWaiting);

    struct Shared;
    struct Listing;
    struct Facts;

private:
    void topUp();
    void scheduleFacts(Listing& listing, std::size_t& budget);
    std::shared_ptr<Listing> requestListing(const std::u16string& directory, bool first);
    void release(Listing& listing);
    bool waitOnce(std::unique_lock<std::mutex>& lock, const std::function<bool()>& keepWaiting);

    Platform& platform_;
    NativePaths prototype_;
    std::shared_ptr<Shared> shared_;
    // Queued directories in walk order: those whose listing was asked for
    // (the first `scheduled_` of them with every entry looked at too), then
    // those not asked for yet. The window bounds the first; the second
    // holds no more than where the walk keeps each path.
    std::deque<std::shared_ptr<Listing>> requested_;
    std::deque<const std::u16string*> waiting_;
    std::size_t scheduled_ = 0;
    std::shared_ptr<Listing> current_;  // the listing the walk is recording
    // Tasks asked for and results not yet taken, and the entries of listings
    // read but not yet done with: both bounded, so that the workers never run
    // far ahead of the walk.
    std::size_t inFlight_ = 0;
    std::size_t bufferedEntries_ = 0;
    std::size_t maxInFlight_ = 0;
    std::size_t maxBufferedEntries_ = 0;
};

}  // namespace baseline
