#pragma once
// Trace sample decoding: a trace's data block, in any of the five SEG-2 data formats, becomes
// 32-bit float samples reduced by the resample factor; then header word 59 is made to hold a
// usable sample interval, asking the operator once per run when the data do not give one.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/enum_names.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"

namespace quarvent {

// The sample arrays of a run. They keep their contents from trace to trace; element k of
// each holds sample k + 1.
struct SampleArrays {
    std::vector<float> output_samples;
    // When it holds the trace's sample_count floats, decoding at factor 1 puts the samples
    // here instead of into output_samples: the record being built in the output's buffer,
    // so that the samples are not copied again on their way out.
    std::span<float> destination;
    // The samples of the last trace decoded, wherever they went.
    std::span<const float> decoded;
    // Why the last trace was skipped, in a few words ("truncated"); empty when it was not.
    std::string_view skip_cause;
    std::vector<std::int16_t> raw_int16_samples;
    std::vector<std::int32_t> raw_int32_samples;
    std::vector<double> raw_float64_samples;
    std::vector<std::uint8_t> read_buffer;
};

// The operator's sample interval, once entered in force for the rest of the run.
struct ManualInterval {
    float manual_interval_us = 1.0F;
    bool manual_interval_in_force = false;
};

// One accepted trace, positioned at its data block.
struct TraceToDecode {
    const ByteSource& input;
    std::uint64_t data_offset = 0;
    std::int32_t sample_count = 0;
    std::uint16_t format_code = 0;
    std::int16_t trace_number = 0;  // t, 1-based, for log entries
    std::string_view path;          // the List1 entry, for log entries
};

enum class DecodeResult {
    decoded,    // arrays.decoded holds resampled_count(sample_count, resample_factor) samples
    skipped,    // logged; the run goes on with the next trace
    run_ended,  // the operator has been told; the run stops
};
constexpr std::string_view name_of(DecodeResult result) {
    constexpr auto names = enum_names<DecodeResult::run_ended>("decoded", "skipped", "run_ended");
    return name_in(names, result);
}

// Reads the trace's data block and converts it into arrays.output_samples (or
// arrays.destination, see there), reduced by
// resample_factor (1, 2 or 4) with resampled_count of the sample library. Skipped, with a
// status log entry: an unknown format code, a negative sample_count, a data block that runs
// past the end of the input. Run ended, after the Dialog::too_many_samples box: a sample_count
// beyond its format's limit. A sample_count of 0 decodes to no samples.
[[nodiscard]] DecodeResult decode_trace_samples(const TraceToDecode& trace,
                                                std::int16_t resample_factor, SampleArrays& arrays,
                                                UiPort& ui, StatusLog& log);

enum class IntervalResult { ready, run_ended };
constexpr std::string_view name_of(IntervalResult result) {
    constexpr auto names = enum_names<IntervalResult::run_ended>("ready", "run_ended");
    return name_in(names, result);
}

// Makes header word 59 hold a usable sample interval. When it holds none (0 or less) and no
// manual interval is in force, asks the operator once, through the Dialog::sampling_rate
// prompt; a valid answer stays in force for the rest of the run. While it is in force, a
// trace keeps the interval it states itself (own_interval: what its own strings, or else its
// file's strings, wrote into word 59; none when neither wrote it) when that is above 0, and
// every other trace gets the manual interval. A cancelled prompt ends the run; an invalid
// answer (one that does not give 1 .. 32767 microseconds) ends it after the
// Dialog::invalid_sampling_rate box. detail goes into the prompt as its line of our own.
[[nodiscard]] IntervalResult check_sample_interval(OutputTraceHeader& header,
                                                   ManualInterval& manual,
                                                   std::optional<std::int16_t> own_interval,
                                                   UiPort& ui, StatusLog& log,
                                                   std::string_view detail = {});

}  // namespace quarvent
