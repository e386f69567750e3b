#pragma once
// The output trace record: the header words the engine owns, the number of samples each
// record receives, and the appending of one record (the 240-byte OutputTraceHeader, then
// that many 32-bit floats, little-endian) to the output file.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/conversion_options.hpp"
#include "common/enum_names.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"
#include "engine/output_file.hpp"

namespace quarvent {

// What the run knows of the trace being finished.
struct TraceInRun {
    std::int16_t t = 0;            // position in its file, 1 .. trace_count
    std::int16_t trace_count = 0;  // of its file
    std::int32_t sample_count = 0;
    std::string_view path;  // the List1 entry; word 6 may come from its file name
    std::int16_t ssn = 0;
    // The sample interval in microseconds as the trace's (or its file's) strings gave it,
    // before it was rounded into word 59; none when they gave none, or only a whole number.
    // While word 59 still holds it rounded, the resampled record's interval is this value
    // times the factor, rounded: 62.5 at factor 2 gives 125, not 2 x 62.
    std::optional<float> unrounded_interval_us;
};

// A decoded sample as its record holds it after the trace's DESCALING_FACTOR (a product
// beyond the float range held at the largest finite float of its sign).
float scaled_output_sample(float sample, double trace_scale_factor);

// Carried from finish_trace_header to write_trace_record for one trace.
struct TraceRecordState {
    std::int16_t output_count = 0;
    bool trace_number_defaulted = false;
    std::int16_t interval_before_factor = 0;  // word 59 as decoding left it
};

enum class FinishResult {
    ready,     // the engine words are set and output_count is known
    run_ended  // the operator has been told; the run stops and nothing of the trace is written
};
constexpr std::string_view name_of(FinishResult result) {
    constexpr auto names = enum_names<FinishResult::run_ended>("ready", "run_ended");
    return name_in(names, result);
}

// Sets the engine's words of the header for the trace and works out output_count. Ends the
// run after a message box when the record cannot hold the trace's samples
// (Dialog::cannot_accommodate) or its interval (Dialog::interval_too_large: word 59 of 0 or
// less, or word 59 times resample_factor beyond 32767). A negative record_end_ms counts as 0.
// Word 59 becomes the interval times resample_factor (see TraceInRun::unrounded_interval_us).
[[nodiscard]] FinishResult finish_trace_header(OutputTraceHeader& header, const TraceInRun& trace,
                                               const ConversionOptions& options,
                                               TraceRecordState& state, UiPort& ui);

// Word 6 from an input file's name (without its directory): the number that starts at its
// first digit, when it lies below 32767 and above -32768, rounded halves to even.
std::optional<std::int16_t> file_number_from_name(std::string_view name);

// Appends the record: the header, then output_count samples (which may already lie where the
// record is built: see OutputFile::next_room) multiplied by
// trace_scale_factor when it is not 1 (a product beyond the float range is held at the
// largest finite float of its sign). Then word 59 goes back to the interval the trace had
// before the factor, and a defaulted word 8 back to 0 with the " Bad trace #-corrected "
// entry. When a write to the output fails (of this record or of earlier ones gathered with
// it) the output keeps the records that reached it whole and the system's reason is
// returned; the header is then left as it was.
[[nodiscard]] std::error_code write_trace_record(OutputFile& output, OutputTraceHeader& header,
                                                 std::span<const float> output_samples,
                                                 double trace_scale_factor, TraceRecordState& state,
                                                 StatusLog& log);

// The box that stops the run after a failed write to the output, or after a failed close.
// cut_back_failure, when set, is why the part of a record left at the output's end by the
// failed write could not be cut off; the text then says that the end is incomplete.
MessageBoxRequest output_write_error_message(std::string_view output_path, std::error_code reason,
                                             std::error_code cut_back_failure = {});

}  // namespace quarvent
