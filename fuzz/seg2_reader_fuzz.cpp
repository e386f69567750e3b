// The SEG-2 reader, the header string translation on a fixed keyword table, and sample
// decoding, on any bytes.
//
// First the reader is compared with a small reading of the format written here, apart from
// the engine: the outcome for the file and for every trace, the fields, the data offset and
// the exact strings handed over must agree. Then the file goes through the reader, the real
// translation and decoding as a conversion would take it, and the decoded samples of the
// formats that convert exactly are compared with the data block's bytes.

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "engine/sample_decoding.hpp"
#include "engine/seg2_reader.hpp"
#include "fuzz/fuzz_support.hpp"
#include "fuzz/seg2_reference.hpp"
#include "keywords/header_translation.hpp"

namespace {

using namespace quarvent;
using namespace quarvent::fuzzing;

// Keeps every string it is handed.
class RecordingReceiver final : public HeaderStringReceiver {
public:
    Result header_string(std::string_view s, OutputTraceHeader&, double&) override {
        strings.emplace_back(s);
        return Result::go_on;
    }
    std::vector<std::string> strings;
};

std::string name(FileDescriptorResult result) {
    switch (result) {
        case FileDescriptorResult::read:
            return "read";
        case FileDescriptorResult::not_seg2:
            return "not_seg2";
        case FileDescriptorResult::pointer_shortage:
            return "pointer_shortage";
        case FileDescriptorResult::stop_run:
            return "stop_run";
    }
    return "?";
}

std::string name(TraceDescriptorResult result) {
    switch (result) {
        case TraceDescriptorResult::read:
            return "read";
        case TraceDescriptorResult::bad_trace_id:
            return "bad_trace_id";
        case TraceDescriptorResult::truncated:
            return "truncated";
        case TraceDescriptorResult::stop_run:
            return "stop_run";
    }
    return "?";
}

void compare_with_reference(std::span<const std::uint8_t> data) {
    const ReferenceBytes bytes(data);
    const MemorySource input(data);
    const ReferenceFile expected = reference_file(bytes);

    RecordingReceiver receiver;
    OutputTraceHeader header;
    double scale = 1.0;
    const HeaderStringSink sink{receiver, header, scale};
    FileDescriptor file;
    const FileDescriptorResult result = read_file_descriptor(input, file, sink);
    FUZZ_CHECK(result == expected.result,
               "file: reader " + name(result) + ", reference " + name(expected.result));
    FUZZ_CHECK(receiver.strings == expected.strings, "the file strings differ");
    if (result != FileDescriptorResult::read) return;
    FUZZ_CHECK(file.trace_count == expected.trace_count, "trace_count");
    FUZZ_CHECK(file.trace_pointers == expected.pointers, "trace pointers");

    for (int t = 1; t <= file.trace_count; ++t) {
        const ReferenceTrace want =
            reference_trace(bytes, expected.pointers[static_cast<std::size_t>(t - 1)]);
        receiver.strings.clear();
        scale = 0.0;
        TraceDescriptor trace;
        const TraceDescriptorResult got = read_trace_descriptor(input, file, t, trace, sink);
        const std::string which = "trace " + std::to_string(t) + ": ";
        FUZZ_CHECK(scale == 1.0, which + "trace_scale_factor not reset");
        FUZZ_CHECK(got == want.result,
                   which + "reader " + name(got) + ", reference " + name(want.result));
        FUZZ_CHECK(receiver.strings == want.strings, which + "the strings differ");
        if (got != TraceDescriptorResult::read) continue;
        FUZZ_CHECK(trace.block_size == want.block_size, which + "block_size");
        FUZZ_CHECK(trace.sample_count == want.sample_count, which + "sample_count");
        FUZZ_CHECK(trace.format_code == want.format_code, which + "format_code");
        FUZZ_CHECK(trace.data_offset == want.data_offset, which + "data_offset");
    }
}

// --- The conversion's path through the file ----------------------------------------------

void convert_like_a_run(std::span<const std::uint8_t> data) {
    const MemorySource input(data);
    fuzzing::SilentUi ui;
    ui.answer_prompt(Dialog::sampling_rate, "0.25");  // in ms, for traces that give none
    StatusLog log(ui);
    HeaderTranslator translator(fuzzing::fixed_keyword_table(), log, ui);
    OutputTraceHeader header;
    double trace_scale_factor = 1.0;
    const HeaderStringSink sink{translator, header, trace_scale_factor};

    FileDescriptor file;
    if (read_file_descriptor(input, file, sink) != FileDescriptorResult::read) return;
    SampleArrays arrays;
    ManualInterval manual;
    for (int t = 1; t <= file.trace_count; ++t) {
        TraceDescriptor trace;
        const TraceDescriptorResult read = read_trace_descriptor(input, file, t, trace, sink);
        if (read == TraceDescriptorResult::stop_run) return;
        if (read != TraceDescriptorResult::read) continue;

        const TraceToDecode to_decode{input,
                                      trace.data_offset,
                                      trace.sample_count,
                                      trace.format_code,
                                      static_cast<std::int16_t>(t),
                                      "fuzz.sg2"};
        const DecodeResult decoded = decode_trace_samples(to_decode, 1, arrays, ui, log);
        if (decoded == DecodeResult::run_ended) return;
        if (decoded == DecodeResult::skipped) continue;

        const auto n = static_cast<std::size_t>(trace.sample_count);
        FUZZ_CHECK(arrays.output_samples.size() >= n, "fewer output samples than samples");
        for (std::size_t k = 0; checkable_format(trace.format_code) && k < n; ++k) {
            const auto want =
                expected_sample(ReferenceBytes(data), trace.data_offset, trace.format_code, k);
            if (!want) continue;
            FUZZ_CHECK(same_float(arrays.output_samples[k], *want),
                       "trace " + std::to_string(t) + " sample " + std::to_string(k + 1));
        }

        if (check_sample_interval(header, manual, std::nullopt, ui, log) ==
            IntervalResult::run_ended) {
            return;
        }
        FUZZ_CHECK(header.word(59) >= 1, "no usable sample interval after the check");
    }
    FUZZ_CHECK(log.text().find('\0') == std::string::npos, "a NUL in the status log");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    compare_with_reference(bytes);
    convert_like_a_run(bytes);
    return 0;
}
