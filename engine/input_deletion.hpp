#pragma once
// Deletes converted input files, several at a time: on some file systems (those that discard
// freed blocks at once, for one) each deletion waits for the disk, and deletions one after
// the other would cost a batch of small files far more than converting them.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <system_error>
#include <vector>
#ifndef QUARVENT_NO_THREADS
#include <thread>
#endif

#include "common/byte_source.hpp"

namespace quarvent {

struct ConvertedInput {
    std::string path;
    FileSource::Identity read;        // the file that was converted
    FileSource::FileVersion version;  // its contents when it was opened for converting
    std::size_t index = 0;            // the caller's number for it (its place in the input list)
};

enum class DeletionResult {
    deleted,
    // The path names another file than the one converted, or the file was written, cut or
    // rewritten since it was opened for converting (its new contents were never converted):
    // kept.
    replaced,
    failed,  // the path could not be examined or deleted: reason says why
};

struct DeletionOutcome {
    DeletionResult result = DeletionResult::failed;
    std::error_code reason;
};

// Deletes each input whose path still names the file that was read, unchanged since it was
// opened; a symbolic link to that file goes itself, never the file it names. Returns one outcome
// per input, in order.
std::vector<DeletionOutcome> delete_converted_inputs(std::span<const ConvertedInput> inputs);

// A build without threads (QUARVENT_NO_THREADS: the WebAssembly build, which a page opened
// from a file cannot give threads) deletes everything on the calling thread, at once.

// Groups of converted inputs deleted on a thread of their own, so that the run goes on
// converting while the disk takes its output: each group goes after a sync of the output
// that began after the group was added, and so covers every record written before. Groups
// waiting together share one sync. A failed sync keeps its groups and every later one.
class DeletionQueue {
public:
    struct Done {
        std::vector<ConvertedInput> group;
        std::vector<DeletionOutcome> outcomes;  // one per input; empty when none was deleted
        std::error_code sync_failure;  // why the group was kept: its sync, or an earlier one
    };

    // sync makes what has been written to the output durable; it runs on the queue's thread.
    explicit DeletionQueue(std::function<std::error_code()> sync);
    DeletionQueue(const DeletionQueue&) = delete;
    DeletionQueue& operator=(const DeletionQueue&) = delete;
    // Finishes the groups added.
    ~DeletionQueue();

    // group: inputs whose records have all been written to the output.
    void add(std::vector<ConvertedInput> group);
    // The groups finished since the last call, in the order they were added; with wait, once
    // every group added is finished.
    std::vector<Done> take_done(bool wait);

private:
    void work();
    void finish(std::vector<std::vector<ConvertedInput>> groups);

    std::function<std::error_code()> sync_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<ConvertedInput>> waiting_;
    std::vector<Done> done_;
    std::error_code failure_;  // of the first sync that failed
    bool busy_ = false;
    bool stopping_ = false;
#ifndef QUARVENT_NO_THREADS
    std::thread thread_;  // started with the first group; without it groups go at once
#endif
};

}  // namespace quarvent
