#pragma once
// A SEG-2 file described without converting it: its traces' formats, sample counts and
// intervals, its file and trace strings, and every damaged part, in the words a conversion
// run would put in its status log or its message boxes. Nothing is written anywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/header_string_receiver.hpp"
#include "engine/qex_reader.hpp"
#include "engine/seg2_reader.hpp"

namespace quarvent {

struct Seg2TraceSummary {
    int number = 0;                     // t, 1-based, in pointer-table order
    bool descriptor_read = false;       // false: the trace's descriptor is damaged
    bool samples_read = false;          // the data block decoded whole
    TraceDescriptor descriptor;         // when descriptor_read
    std::vector<std::string> strings;   // the trace's strings, terminating zeros removed
    std::optional<double> interval_us;  // from its SAMPLE_INTERVAL string (seconds)
    QexWords words{};                   // the header words after its strings were translated
    std::vector<std::string> damage;    // log entries and message texts, line ends removed
};

struct Seg2Summary {
    FileDescriptorResult descriptor_result = FileDescriptorResult::not_seg2;
    FileDescriptor file;
    std::vector<std::string> file_strings;  // terminating zeros removed
    std::vector<Seg2TraceSummary> traces;   // one per trace of trace_count
    std::vector<std::string> damage;        // the file's own damage, line ends removed
    // True when the file and every trace were read whole.
    bool whole() const;
};

// Reads the whole file. path appears in the damage texts as the run would write it. Header
// strings go to receiver as in a run (one header for the file, file strings first, each trace's
// strings before its words are taken); a receiver that ignores them leaves every word 0.
// When samples_of_trace names a trace, its decoded samples land in samples.
Seg2Summary summarize_seg2(const ByteSource& source, std::string_view path,
                           HeaderStringReceiver& receiver, int samples_of_trace = 0,
                           std::vector<float>* samples = nullptr);

// The text with its CR LF line ends (and NUL characters) taken out, lines joined by "; ".
std::string one_line(std::string_view text);

}  // namespace quarvent
