#pragma once
// Trace sample decoding: a trace's data block, in any of the five SEG-2 data formats, becomes
// 32-bit float samples reduced by the resample factor; then header word 59 is made to hold a
// usable sample interval, asking the operator once per run when the data do not give one.

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"

namespace quarvent {

// The sample arrays of a run. They keep their contents from trace to trace; element k of
// each holds sample k + 1.
struct SampleArrays {
    std::vector<float> output_samples;
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
    decoded,    // output_samples 1 .. sample_count / resample_factor filled
    skipped,    // logged; the run goes on with the next trace
    run_ended,  // the operator has been told; the run stops
};

[[nodiscard]] DecodeResult decode_trace_samples(const TraceToDecode& trace,
                                                std::int16_t resample_factor,
                                                SampleArrays& arrays, UiPort& ui, StatusLog& log);

enum class IntervalResult { ready, run_ended };

[[nodiscard]] IntervalResult check_sample_interval(OutputTraceHeader& header,
                                                   ManualInterval& manual, UiPort& ui,
                                                   StatusLog& log);

}  // namespace quarvent
