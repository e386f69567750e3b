#pragma once
// The SEG-2 reader: walks an input file's descriptor block, trace pointer table and file
// header strings, then each trace's descriptor block and header strings, and leaves the
// trace's data offset for sample decoding. Only the little-endian form of SEG-2 is read.
//
// Nothing outside the input is ever read. A structure that would run past its end is
// reported as damaged (not_seg2 for the file's own blocks, truncated for a trace), and a
// string list is handed to the receiver only once it is known to lie wholly inside the
// file, so a damaged trace leaves none of its strings in the header.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/enum_names.hpp"
#include "common/header_string_receiver.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"

namespace quarvent {

inline constexpr std::uint16_t file_block_id = 0x3A55;
inline constexpr std::uint16_t trace_block_id = 0x4422;

struct FileDescriptor {
    std::int16_t block_id = 0;
    std::int16_t revision = 0;
    std::uint32_t pointer_block_size = 0;  // M, bytes of the trace pointer sub-block
    std::int16_t trace_count = 0;          // N; negative counts hold no trace
    std::uint8_t string_terminator_size = 0;
    std::array<std::uint8_t, 2> string_terminator{};
    std::uint8_t line_terminator_size = 0;
    std::array<std::uint8_t, 2> line_terminator{};
    // Pointer slots 1 .. P at [0] .. [P - 1], P = M / 4 rounded halves to even.
    std::vector<std::int32_t> trace_pointers;
};

struct TraceDescriptor {
    std::int16_t block_id = 0;
    std::uint32_t block_size = 0;  // X, bytes of the whole descriptor block
    std::int32_t data_block_size = 0;
    std::int32_t sample_count = 0;
    std::uint16_t format_code = 0;
    std::uint64_t data_offset = 0;  // trace pointer + X
};

// Where header strings go: the receiver, with the run's header and scale factor.
struct HeaderStringSink {
    HeaderStringReceiver& receiver;
    OutputTraceHeader& header;
    double& trace_scale_factor;
};

enum class StringListResult {
    ended,      // the terminating length word was read; every string was handed over
    truncated,  // the list runs past the end of the input; no string was handed over
    stop_run,   // the receiver asked for the run to stop
};
constexpr std::string_view name_of(StringListResult result) {
    constexpr auto names = enum_names<StringListResult::stop_run>("ended", "truncated", "stop_run");
    return name_in(names, result);
}

struct StringListEnd {
    StringListResult result = StringListResult::ended;
    std::uint64_t next_offset = 0;  // just after the terminating length word (ended only)
};

// Walks one string list from offset: length words L, each followed by L - 2 bytes handed
// over whole as one string. A length word of 0, 1 or with its top bit set ends the list (1
// describes no string at all).
[[nodiscard]] StringListEnd read_string_list(const ByteSource& input, std::uint64_t offset,
                                             const HeaderStringSink& sink);

enum class FileDescriptorResult {
    read,              // descriptor, pointers and file strings read
    not_seg2,          // wrong block id, or the file ends inside its descriptor, pointer
                       // table or file string list
    pointer_shortage,  // M / 4 < N; nothing after the descriptor block was read
    stop_run,          // the receiver asked for the run to stop
};
constexpr std::string_view name_of(FileDescriptorResult result) {
    constexpr auto names = enum_names<FileDescriptorResult::stop_run>(
        "read", "not_seg2", "pointer_shortage", "stop_run");
    return name_in(names, result);
}

[[nodiscard]] FileDescriptorResult read_file_descriptor(const ByteSource& input,
                                                        FileDescriptor& file,
                                                        const HeaderStringSink& sink);

enum class TraceDescriptorResult {
    read,          // trace filled, data_offset set
    bad_trace_id,  // the block does not start with the trace block id
    truncated,     // the pointer is negative or past the end, or the descriptor block or
                   // its strings run past the end of the input
    stop_run,      // the receiver asked for the run to stop
};
constexpr std::string_view name_of(TraceDescriptorResult result) {
    constexpr auto names = enum_names<TraceDescriptorResult::stop_run>("read", "bad_trace_id",
                                                                       "truncated", "stop_run");
    return name_in(names, result);
}

// Reads trace t (1 .. trace_count) at pointer slot t. Sets trace_scale_factor to 1.0 first,
// so that only this trace's strings can change it.
[[nodiscard]] TraceDescriptorResult read_trace_descriptor(const ByteSource& input,
                                                          const FileDescriptor& file, int t,
                                                          TraceDescriptor& trace,
                                                          const HeaderStringSink& sink);

// The reader's entries in the status log and its message box.
inline constexpr std::string_view scale_entry = " *SCALE FACTOR APPLIED!* ";
std::string not_seg2_entry(std::string_view path);
// The entry for a trace skipped as bad_trace_id or truncated.
std::string skipped_trace_entry(TraceDescriptorResult result, std::string_view path, int t);
MessageBoxRequest pointer_shortage_message(const FileDescriptor& file);

}  // namespace quarvent
