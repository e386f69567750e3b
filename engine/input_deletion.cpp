#include "engine/input_deletion.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>
#ifndef QUARVENT_NO_THREADS
#include <thread>
#endif

namespace quarvent {

namespace {

// Deletions in flight at once. They mostly wait for the disk, so more of them than there
// are processors still pays.
constexpr std::size_t deleting_threads = 8;
// Fewer inputs than this go one after the other: a thread is not worth starting for them.
constexpr std::size_t inputs_per_thread = 4;

DeletionOutcome delete_one(const ConvertedInput& input) {
    const auto failure = [] {
        return DeletionOutcome{DeletionResult::failed, {errno, std::generic_category()}};
    };
    struct stat named {};
    if (::lstat(input.path.c_str(), &named) != 0) return failure();
    if (S_ISLNK(named.st_mode) && ::stat(input.path.c_str(), &named) != 0) named = {};
    if (FileSource::Identity{named.st_dev, named.st_ino} != input.read ||
        FileSource::version_of(named) != input.version) {
        return {DeletionResult::replaced, {}};
    }
    if (::unlink(input.path.c_str()) != 0) return failure();
    return {DeletionResult::deleted, {}};
}

}  // namespace

std::vector<DeletionOutcome> delete_converted_inputs(std::span<const ConvertedInput> inputs) {
    std::vector<DeletionOutcome> outcomes(inputs.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < inputs.size(); i = next++) {
            outcomes[i] = delete_one(inputs[i]);
        }
    };
#ifndef QUARVENT_NO_THREADS
    const std::size_t helpers = std::min(deleting_threads, inputs.size() / inputs_per_thread);
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    try {
        for (std::size_t t = 1; t < helpers; ++t) threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and this one share the work.
    }
    work();
    for (std::thread& thread : threads) thread.join();
#else
    (void)deleting_threads;
    (void)inputs_per_thread;
    work();
#endif
    return outcomes;
}

DeletionQueue::DeletionQueue(std::function<std::error_code()> sync) : sync_(std::move(sync)) {}

DeletionQueue::~DeletionQueue() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
#ifndef QUARVENT_NO_THREADS
    if (thread_.joinable()) thread_.join();
#endif
}

void DeletionQueue::add(std::vector<ConvertedInput> group) {
    if (group.empty()) return;
    {
        const std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(group));
    }
    const auto finish_now = [this] {
        std::vector<std::vector<ConvertedInput>> groups;
        {
            const std::lock_guard lock(mutex_);
            for (auto& waiting : waiting_) groups.push_back(std::move(waiting));
            waiting_.clear();
        }
        finish(std::move(groups));
    };
#ifndef QUARVENT_NO_THREADS
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            // No thread to be had: the group goes now, on this one.
            finish_now();
            return;
        }
    }
    changed_.notify_all();
#else
    finish_now();
#endif
}

std::vector<DeletionQueue::Done> DeletionQueue::take_done(bool wait) {
    std::unique_lock lock(mutex_);
    if (wait) changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
    return std::exchange(done_, {});
}

void DeletionQueue::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        std::vector<std::vector<ConvertedInput>> groups;
        for (auto& waiting : waiting_) groups.push_back(std::move(waiting));
        waiting_.clear();
        busy_ = true;
        lock.unlock();
        finish(std::move(groups));
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

// Syncs once for the groups and deletes them, or keeps them when this or an earlier sync
// failed. Called with the mutex free.
void DeletionQueue::finish(std::vector<std::vector<ConvertedInput>> groups) {
    std::error_code failure;
    {
        const std::lock_guard lock(mutex_);
        failure = failure_;
    }
    if (!failure) failure = sync_();
    std::vector<Done> finished;
    for (auto& group : groups) {
        Done done;
        done.sync_failure = failure;
        if (!failure) done.outcomes = delete_converted_inputs(group);
        done.group = std::move(group);
        finished.push_back(std::move(done));
    }
    const std::lock_guard lock(mutex_);
    if (failure && !failure_) failure_ = failure;
    for (Done& done : finished) done_.push_back(std::move(done));
}

}  // namespace quarvent
