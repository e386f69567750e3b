#pragma once
// Quick looks into files before a run, without converting anything: whether a file is a
// SEG-2 recording and how many traces it declares, and the SSN of the last record an output
// file already holds. Each reads a few bytes; none reports to the operator.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_source.hpp"

namespace quarvent {

// The trace count N of a SEG-2 file descriptor: the file starts with the file block id and
// is long enough to hold the count. nullopt for anything else (not SEG-2, unreadable). A
// negative count comes back as 0, since such a file holds no trace.
std::optional<int> seg2_trace_count(const ByteSource& input);
std::optional<int> seg2_trace_count(const std::string& path);

// Word 92 (the SSN) of the last whole record in an output file of trace records, walked with
// the QEX reader: a record that runs past the end of the file, or declares a negative count,
// ends the walk. nullopt when the file holds no whole record or cannot be read.
std::optional<std::int16_t> last_record_ssn(const ByteSource& output);
std::optional<std::int16_t> last_record_ssn(const std::string& path);

// A file that an input list names more than once: the list is converted as it stands, each
// time, and the operator is told.
struct RepeatedInput {
    std::string path;  // the first entry that names it
    int times = 0;     // how many entries name it
};
// The files named more than once in inputs, in the order of their first entry. Entries name
// the same file when they are the same text or the same file on disk (a link, "..", another
// spelling).
std::vector<RepeatedInput> repeated_inputs(const std::vector<std::string>& inputs);

}  // namespace quarvent
