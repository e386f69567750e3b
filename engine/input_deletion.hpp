#pragma once
// Deletes converted input files, several at a time: on some file systems (those that discard
// freed blocks at once, for one) each deletion waits for the disk, and deletions one after
// the other would cost a batch of small files far more than converting them.

#include <cstddef>
#include <span>
#include <string>
#include <system_error>
#include <vector>

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

}  // namespace quarvent
