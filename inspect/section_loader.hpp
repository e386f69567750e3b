#pragma once
// A record section for the display, read from a SEG-2 recording or a QEX output file: the
// traces (or records) of a range with their header words and samples.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/header_string_receiver.hpp"
#include "engine/qex_index.hpp"
#include "inspect/file_report.hpp"
#include "render/section.hpp"
#include "render/section_pages.hpp"

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
// translation, so that word 59 holds its interval), and the words a string filled are named
// by its keyword and marked as translated. A trace that cannot be read keeps its place,
// marked missing with the reader's reason.
LoadedSection load_section(const FileReport& report, TraceRange range,
                           HeaderStringReceiver& receiver, std::uint64_t max_traces);

// Names of the header words that the record writer fills ("59 sample interval (µs)" is word
// 59's); empty for the others.
std::string_view record_writer_word_name(int word);

// The display's pages of an examined file. A QEX output is indexed once (8 bytes a record)
// and each page reads only its own records, so that memory stays flat for any file size. A
// SEG-2 recording's traces (at most max_traces) are read once, through the receiver, when the
// pages are made, since the receiver need not outlive this call.
class FileSectionPages final : public render::SectionPages {
public:
    FileSectionPages(const FileReport& report, HeaderStringReceiver& receiver,
                     std::uint64_t max_traces);

    std::uint64_t count() const override;
    std::string unit() const override;
    std::string path() const override { return path_; }
    render::Section load(std::uint64_t first, std::uint64_t last) override;
    std::optional<std::uint64_t> first_of_ssn(std::int16_t ssn) const override;

    // Why nothing can be shown; empty when pages can be loaded.
    const std::string& problem() const { return problem_; }
    const QexIndex& index() const { return index_; }

private:
    std::string path_;
    bool qex_ = false;
    QexIndex index_;
    std::optional<render::MemoryPages> seg2_;
    std::string problem_;
};

}  // namespace quarvent
