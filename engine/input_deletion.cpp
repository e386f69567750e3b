#include "engine/input_deletion.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

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
    return outcomes;
}

}  // namespace quarvent
