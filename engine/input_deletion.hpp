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
    FileSource::Identity read;  // the file that was converted
    std::size_t index = 0;      // the caller's number for it (its place in the input list)
};

enum class DeletionResult {
    deleted,
    replaced,  // the path names another file than the one converted: kept
    failed,    // the path could not be examined or deleted: reason says why
};

struct DeletionOutcome {
    DeletionResult result = DeletionResult::failed;
    std::error_code reason;
};

// Deletes each input whose path still names the file that was read; a symbolic link to that
// file goes itself, never the file it names. Returns one outcome per input, in order.
std::vector<DeletionOutcome> delete_converted_inputs(std::span<const ConvertedInput> inputs);

}  // namespace quarvent
