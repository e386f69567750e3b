#pragma once
// A SEG-2 file described without converting it: its traces' formats, sample counts and
// intervals, its file and trace strings, and every damaged part, in the words a conversion
// run would put in its status log or its message boxes. Nothing is written anywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/byte_source.hpp"
#include "common/header_string_receiver.hpp"
#include "engine/qex_reader.hpp"
#include "engine/seg2_reader.hpp"

namespace quarvent {

struct Seg2TraceSummary {
    int number = 0;                    // t, 1-based, in pointer-table order
    bool descriptor_read = false;      // false: the trace's descriptor is damaged
    bool samples_read = false;         // the data block decoded whole
    TraceDescriptor descriptor;        // when descriptor_read
    std::vector<std::string> strings;  // the trace's strings, terminating zeros removed
    // Not 0: the trace's descriptor lies at the same offset as that of this earlier trace,
    // whose strings it shares; strings then stays empty.
    int strings_of_trace = 0;
    bool strings_kept = true;           // false past kept_string_bytes: strings stays empty
    std::optional<double> interval_us;  // from its SAMPLE_INTERVAL string (seconds)
    QexWords words{};                   // the header words after its strings were translated
    std::vector<std::string> damage;    // log entries and message texts, line ends removed
};

struct Seg2Summary {
    FileDescriptorResult descriptor_result = FileDescriptorResult::not_seg2;
    FileDescriptor file;
    std::vector<std::string> file_strings;  // terminating zeros removed
    bool file_strings_cut = false;          // those past kept_string_bytes are not kept
    std::vector<Seg2TraceSummary> traces;   // one per trace of trace_count
    std::vector<std::string> damage;        // the file's own damage, line ends removed
    // Not 0: the first trace whose strings were not kept, as the strings kept reached
    // kept_string_bytes.
    int strings_dropped_from = 0;
    // True when the file and every trace were read whole.
    bool whole() const;
};

// Reads the trace descriptors of one file, where many pointers may name one descriptor. The
// first read of a descriptor hands its strings over as read_trace_descriptor does and notes
// what they wrote: each header word and the scale factor. A later read of the same descriptor
// writes that again instead of handing its strings over once more, which would write the
// same: a file whose every pointer names one descriptor of long strings costs one walk.
//
// The object stands between the sink's receiver and inner: build the sink on a receiver that
// leads here (or on this object itself).
class DescriptorReads final : public HeaderStringReceiver {
public:
    explicit DescriptorReads(HeaderStringReceiver& inner) : inner_(inner) {}

    // As read_trace_descriptor; repeated tells whether trace t's descriptor was read before.
    TraceDescriptorResult read(const ByteSource& input, const FileDescriptor& file, int t,
                               TraceDescriptor& trace, const HeaderStringSink& sink,
                               bool& repeated);

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override;

private:
    struct Effect {
        TraceDescriptorResult result = TraceDescriptorResult::read;
        TraceDescriptor descriptor;
        std::vector<std::pair<int, std::int16_t>> writes;  // in order
        double scale = 1.0;
    };

    HeaderStringReceiver& inner_;
    std::unordered_map<std::int32_t, Effect> by_offset_;
    Effect* recording_ = nullptr;
};

// The most bytes of header strings a summary keeps. The strings of a trace whose descriptor
// another trace shares are kept once, so that a file of any size and any pointer table is
// summarised in bounded memory.
inline constexpr std::size_t kept_string_bytes = std::size_t{8} << 20;

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
