// The worker pool that reads ahead of the walk, and the bounded window of
// tasks it is handed, in walk order.
#include "discovery/read_ahead.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace baseline {
namespace {

// How far the workers may run ahead: tasks asked for and not yet taken, and
// entries of listings read and not yet recorded, per worker. A task's result
// is at most a few kilobytes; an entry kept for counting, a few dozen bytes.
constexpr std::size_t kTasksPerWorker = 32;
constexpr std::size_t kBufferedEntriesPerWorker = 8192;
// How often a walk that waits for a result asks whether to go on waiting.
constexpr std::chrono::milliseconds kWaitSlice{100};
// How long the end of a walk waits for calls under way; one that takes longer
// (a share gone offline, a huge file) is left to finish on its own.
constexpr std::chrono::milliseconds kEndWait{1000};

bool parseWorkers(const std::u16string& text, unsigned& workers) {
    if (text.empty() || text.size() > 6) return false;
    unsigned value = 0;
    for (const char16_t unit : text) {
        if (unit < u'0' || unit > u'9') return false;
        value = value * 10 + static_cast<unsigned>(unit - u'0');
    }
    if (value == 0) return false;
    workers = std::min(value, kMaxWalkWorkers);
    return true;
}

}  // namespace

unsigned walkWorkerCount(Platform& platform) {
    const std::u16string variable = u"%BASELINE_THREADS%";
    constexpr std::uint32_t kBuffer = 32;
    std::u16string value;
    const std::uint32_t needed = platform.expandEnvironmentStrings(variable, value, kBuffer);
    unsigned workers = 0;
    // An unset variable expands to itself; a value that is no whole number
    // from 1 up is not ours to guess at, and the machine decides.
    if (needed != 0 && needed <= kBuffer && value != variable && parseWorkers(value, workers)) return workers;
    return std::clamp<unsigned>(platform.processorCount(), 1, kMaxWalkWorkers);
}

struct ReadAhead::Shared {
    std::mutex mutex;
    std::condition_variable work;      // a task came, or the end
    std::condition_variable finished;  // a worker is back from a task
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    unsigned busy = 0;
    std::size_t bufferedEntries = 0;  // of listings read and not yet released
    std::vector<std::thread> threads;
};

struct ReadAhead::Listing {
    std::u16string path;
    bool done = false;
    DirectoryListing listing;
    std::exception_ptr failure;
    std::size_t looked = 0;  // entries looked at for facts to read ahead
    // Facts asked for, by entry index, in listing order.
    std::deque<std::pair<std::size_t, std::shared_ptr<Facts>>> facts;
};

struct ReadAhead::Facts {
    bool done = false;
    FileFacts facts;
    std::exception_ptr failure;
};

namespace {

// A worker's life: take a task, run it without the lock (the task stores its
// result under it), until the end. It holds the shared state itself, so that
// one left behind in a slow call finds it still there when it comes back.
void work(std::shared_ptr<ReadAhead::Shared> shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->work.wait(lock, [&] { return shared->stopping || !shared->tasks.empty(); });
        if (shared->stopping) return;
        std::function<void()> task = std::move(shared->tasks.front());
        shared->tasks.pop_front();
        ++shared->busy;
        lock.unlock();
        task();
        lock.lock();
        task = nullptr;
        --shared->busy;
        shared->finished.notify_all();
    }
}

}  // namespace

ReadAhead::ReadAhead(Platform& platform, const NativePaths& prototype, unsigned workers)
    : platform_(platform),
      prototype_(prototype),
      shared_(std::make_shared<Shared>()),
      maxInFlight_(workers * kTasksPerWorker),
      maxBufferedEntries_(workers * kBufferedEntriesPerWorker) {
    for (unsigned i = 0; i < workers; ++i) {
        try {
            shared_->threads.emplace_back(work, shared_);
        } catch (const std::exception&) {
            break;  // fewer workers; with none, the walk's own thread reads
        }
    }
}

ReadAhead::~ReadAhead() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
    shared_->tasks.clear();
    shared_->work.notify_all();
    shared_->finished.wait_for(lock, kEndWait, [&] { return shared_->busy == 0; });
    const bool idle = shared_->busy == 0;
    std::vector<std::thread> threads = std::move(shared_->threads);
    lock.unlock();
    for (auto& thread : threads) idle ? thread.join() : thread.detach();
}

bool ReadAhead::hasWorkers() const { return !shared_->threads.empty(); }

void ReadAhead::queued(const std::u16string& directory) {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    waiting_.push_back(&directory);
    topUp();
}

const DirectoryListing* ReadAhead::takeListing(const std::u16string& directory,
                                               const std::function<bool()>& keepWaiting) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (current_) release(*current_);
    if (requested_.empty()) {
        // The walk has moved its entry out of its queue: the path is the one passed.
        waiting_.pop_front();
        current_ = requestListing(directory, true);
    } else {
        current_ = std::move(requested_.front());
        requested_.pop_front();
        if (scheduled_ > 0) --scheduled_;
    }
    while (!current_->done) {
        topUp();
        if (!waitOnce(lock, keepWaiting)) return nullptr;
    }
    --inFlight_;
    if (current_->failure) std::rethrow_exception(current_->failure);
    topUp();
    return &current_->listing;
}

std::optional<FileFacts> ReadAhead::takeFacts(std::size_t index, const std::u16string& path, bool executable,
                                              const std::function<bool()>& keepWaiting) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    auto& asked = current_->facts;
    // Entries a rule left out were read for nothing.
    while (!asked.empty() && asked.front().first < index) {
        asked.pop_front();
        --inFlight_;
    }
    if (asked.empty() || asked.front().first != index) {
        // Not handed out yet (the window was full): read here, as one thread would.
        current_->looked = std::max(current_->looked, index + 1);
        lock.unlock();
        NativePaths native(prototype_);
        return readFileFacts(native, path, executable);
    }
    const std::shared_ptr<Facts> facts = asked.front().second;
    while (!facts->done) {
        topUp();
        if (!waitOnce(lock, keepWaiting)) return std::nullopt;
    }
    asked.pop_front();
    --inFlight_;
    if (facts->failure) std::rethrow_exception(facts->failure);
    topUp();
    return std::move(facts->facts);
}

// Hands out work in walk order while the window has room: first the facts of
// the listing being recorded, then, queue order, each directory's listing and,
// once it is read, its entries' facts. Called with the lock held.
void ReadAhead::topUp() {
    if (shared_->stopping || inFlight_ >= maxInFlight_) return;
    std::size_t budget = maxInFlight_ - inFlight_;
    if (current_ && current_->done) scheduleFacts(*current_, budget);
    for (std::size_t i = scheduled_; i < requested_.size() && budget > 0; ++i) {
        Listing& listing = *requested_[i];
        if (!listing.done) continue;
        scheduleFacts(listing, budget);
        if (i == scheduled_ && listing.looked == listing.listing.entries.size()) ++scheduled_;
    }
    while (!waiting_.empty() && budget > 0 && shared_->bufferedEntries < maxBufferedEntries_) {
        requested_.push_back(requestListing(*waiting_.front(), false));
        waiting_.pop_front();
        --budget;
    }
}

void ReadAhead::scheduleFacts(Listing& listing, std::size_t& budget) {
    const auto& entries = listing.listing.entries;
    while (listing.looked < entries.size() && budget > 0) {
        const std::size_t index = listing.looked++;
        const FindData& entry = entries[index];
        if (!mayBeRecorded(entry)) continue;
        auto facts = std::make_shared<Facts>();
        listing.facts.emplace_back(index, facts);
        ++inFlight_;
        --budget;
        std::u16string path;
        path.reserve(listing.path.size() + 1 + entry.fileName.size());
        path.append(listing.path).append(1, u'\\').append(entry.fileName);
        const bool executable = (entry.attributes & kFileAttributeDirectory) == 0;
        shared_->tasks.push_back([shared = shared_.get(), facts, native = prototype_, path = std::move(path),
                                  executable]() mutable {
            FileFacts read;
            std::exception_ptr failure;
            try {
                read = readFileFacts(native, path, executable);
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(shared->mutex);
            facts->facts = std::move(read);
            facts->failure = failure;
            facts->done = true;
        });
        shared_->work.notify_one();
    }
}

std::shared_ptr<ReadAhead::Listing> ReadAhead::requestListing(const std::u16string& directory, bool first) {
    auto listing = std::make_shared<Listing>();
    listing->path = directory;
    ++inFlight_;
    auto task = [shared = shared_.get(), listing, native = prototype_, &platform = platform_]() mutable {
        DirectoryListing read;
        std::exception_ptr failure;
        try {
            read = readDirectoryListing(native, platform, listing->path);
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->bufferedEntries += read.entries.size();
        listing->listing = std::move(read);
        listing->failure = failure;
        listing->done = true;
    };
    // The walk waits for the one it asks for out of turn.
    if (first) {
        shared_->tasks.push_front(std::move(task));
    } else {
        shared_->tasks.push_back(std::move(task));
    }
    shared_->work.notify_one();
    return listing;
}

void ReadAhead::release(Listing& listing) {
    inFlight_ -= listing.facts.size();
    listing.facts.clear();
    if (listing.done) shared_->bufferedEntries -= listing.listing.entries.size();
    listing.listing.entries.clear();
    listing.listing.entries.shrink_to_fit();
}

bool ReadAhead::waitOnce(std::unique_lock<std::mutex>& lock, const std::function<bool()>& keepWaiting) {
    // Asked after every wake, not only when a slice passed: workers that
    // finish other tasks all the time must not keep an interruption waiting.
    shared_->finished.wait_for(lock, kWaitSlice);
    lock.unlock();
    const bool keep = keepWaiting();
    lock.lock();
    return keep;
}

}  // namespace baseline
