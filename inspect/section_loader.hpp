#pragma once
// A record section for the display, read from a SEG-2 recording or a QEX output file: the
// traces (or records) of a range with their header words and samples.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/header_string_receiver.hpp"
#include "inspect/file_report.hpp"
#include "render/section.hpp"

namespace quarvent {

// Traces first to last (1-based, both included); last 0 means to the end of the file.
struct TraceRange {
    std::uint64_t first = 1;
    std::uint64_t last = 0;
};

// "A-B", "A-" or "A" (1-based trace or record numbers); nullopt for anything else.
std::optional<TraceRange> parse_trace_range(std::string_view text);

struct LoadedSection {
    render::Section section;
    std::uint64_t first = 0;      // the number of the section's first trace
    std::uint64_t available = 0;  // traces or whole records the file holds
    bool cut = false;             // the range asked for held more than max_traces
    std::string problem;          // empty, or why nothing could be read
};

// Reads the traces of range from the file examined, at most max_traces of them, one at a
// time. A SEG-2 trace's words are those its strings give through receiver (the keyword
// translation, so that word 59 holds its interval); a damaged trace is drawn as a zero trace
// so that the positions of the others stay true.
LoadedSection load_section(const FileReport& report, TraceRange range,
                           HeaderStringReceiver& receiver, std::uint64_t max_traces);

}  // namespace quarvent
