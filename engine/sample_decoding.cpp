#include "engine/sample_decoding.hpp"

#include <bit>
#include <cmath>
#include <optional>
#include <span>
#include <string>

#include "common/bytes.hpp"
#include "common/numbers.hpp"
#include "engine/sample_library.hpp"

namespace quarvent {

// Data block bytes are moved into the sample arrays as they lie in the file; they are the
// samples' values only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

namespace {

// The SEG-2 data formats this program reads: the largest sample count each accepts and the
// text shown when a trace has more.
struct FormatRule {
    std::uint16_t format_code;
    std::int32_t max_samples;
    std::string_view too_many_text;
};

constexpr FormatRule format_rules[] = {
    {1, 32768, "Number of Samples Exceeds 32768. Can not Convert."},
    {2, 16384, "Number of Samples Exceeds 16384. Can not Convert."},
    {3, 26213, "Number of Samples Exceeds 26214. Can not Convert."},
    {4, 65535, "Number of Samples Exceeds 65536. Can not Convert."},
    {5, 8191, "Number of Samples Exceeds 8192. Can not Convert."},
};

constexpr std::string_view too_many_title = "Too Many Samples";
// "Uknown" is the log entry's long-standing spelling, kept for whoever searches old logs.
constexpr std::string_view unknown_format_entry = " Uknown data type ";
constexpr std::string_view bad_count_entry = " Bad sample count on trace ";
constexpr std::string_view truncated_entry = " truncated trace";
constexpr std::string_view conversion_failed_entry = " Sample conversion failed on trace ";
constexpr std::string_view skipping_entry = " Skipping";

constexpr std::string_view interval_title = "Missing Sampling Rate";
constexpr std::string_view interval_prompt =
    "The sampling rate for this data is not defined properly in the header. Some value other "
    "than 0 is required. Enter the value for sample rate in MILLISECONDS. Cancel to abort "
    "conversion.";
constexpr std::string_view manual_interval_entry = " -*Manual entered sample rate value used.*- ";
constexpr std::string_view invalid_interval_title = "Invalid Sampling Rate";
constexpr std::string_view invalid_interval_text =
    "The sampling rate value is invalid. Can not proceed. (";

const FormatRule* find_rule(std::uint16_t format_code) {
    for (const FormatRule& rule : format_rules) {
        if (rule.format_code == format_code) return &rule;
    }
    return nullptr;
}

// Bytes of n samples in a known data format, n >= 0.
std::uint64_t data_block_bytes(std::uint16_t format_code, std::int32_t n) {
    const auto count = static_cast<std::uint64_t>(n);
    switch (format_code) {
        case 1:
            return 2 * count;
        case 2:
            return 4 * count;
        case 3:
            return seg20bit_byte_count(n);
        case 4:
            return 4 * count;
        case 5:
            return 8 * count;
        default:
            return 0;
    }
}

// The trace's log entry: path, the entry's text, number(t), " Skipping", CR LF.
void log_skipped_trace(StatusLog& log, const TraceToDecode& trace, std::string_view entry,
                       std::string_view detail = {}) {
    std::string text(trace.path);
    text += entry;
    text += number_text(trace.trace_number);
    text += detail;
    text += skipping_entry;
    text += line_break;
    log.append(text);
}

// Where the data block of n samples is read: straight into the array its samples are
// converted from (the output array itself for 32-bit floats), so that no copy of the bytes
// is made between the read and the conversion. n >= 0.
template <typename T>
std::span<std::uint8_t> block_in(std::vector<T>& samples, std::size_t n, std::uint64_t bytes) {
    samples.resize(n);
    return {reinterpret_cast<std::uint8_t*>(samples.data()), static_cast<std::size_t>(bytes)};
}

std::span<std::uint8_t> read_target(std::uint16_t format_code, std::int32_t n, std::uint64_t bytes,
                                    SampleArrays& arrays, std::span<float> out) {
    const auto size = static_cast<std::size_t>(n);
    switch (format_code) {
        case 1:
            return block_in(arrays.raw_int16_samples, size, bytes);
        case 2:
            return block_in(arrays.raw_int32_samples, size, bytes);
        case 4:
            return {reinterpret_cast<std::uint8_t*>(out.data()), static_cast<std::size_t>(bytes)};
        case 5:
            return block_in(arrays.raw_float64_samples, size, bytes);
        default:
            return block_in(arrays.read_buffer, static_cast<std::size_t>(bytes), bytes);
    }
}

// Converts the data block that read_target received into out.
SampleLibraryResult convert_samples(std::uint16_t format_code, std::int32_t n, std::int32_t f,
                                    SampleArrays& arrays, std::span<float> out) {
    switch (format_code) {
        case 1:
            return int2fpt(arrays.raw_int16_samples, out, n, f);
        case 2:
            return long2fpt(arrays.raw_int32_samples, out, n, f);
        case 3:
            return seg20bit2fpt(arrays.read_buffer, out, n, f);
        case 4:
            // The file's floats are the output samples bit for bit; only resampling computes
            // new values.
            return f == 1 ? SampleLibraryResult::ok : fpt2fpt(out, n, f);
        case 5:
            return double2fpt(arrays.raw_float64_samples, out, n, f);
        default:
            return SampleLibraryResult::ok;
    }
}

// Word 59 for an interval in microseconds: the interval rounded, halves to even, when it
// lies in 1 .. 32767; nothing otherwise. An interval that rounds to 0 would leave the trace
// without a usable sample interval.
std::optional<std::int16_t> interval_word(float interval_us) {
    if (!std::isfinite(interval_us) || interval_us > 32767.0F) return std::nullopt;
    const double rounded = round_half_even(interval_us);
    if (rounded < 1.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

// The operator's answer in milliseconds as microseconds in a 32-bit float; nothing when the
// value cannot be held by a float.
std::optional<float> answer_to_interval_us(const std::string& answer) {
    const double interval_us = read_number(answer) * 1000.0;
    if (!(std::fabs(interval_us) <= 1e30)) return std::nullopt;
    return static_cast<float>(interval_us);
}

}  // namespace

DecodeResult decode_trace_samples(const TraceToDecode& trace, std::int16_t resample_factor,
                                  SampleArrays& arrays, UiPort& ui, StatusLog& log) {
    const std::int32_t n = trace.sample_count;
    arrays.decoded = {};
    arrays.skip_cause = {};
    std::span<float> out;
    if (n >= 0 && n < 65536) {
        const auto size = static_cast<std::size_t>(n);
        if (resample_factor == 1 && arrays.destination.size() >= size) {
            out = arrays.destination.first(size);
        } else {
            arrays.output_samples.resize(size);
            out = arrays.output_samples;
        }
    }

    const FormatRule* rule = find_rule(trace.format_code);
    if (rule == nullptr) {
        std::string text(trace.path);
        text += unknown_format_entry;
        text += number_text(static_cast<int>(trace.format_code));
        text += line_break;
        log.append(text);
        arrays.skip_cause = "of an unknown data type";
        return DecodeResult::skipped;
    }
    if (n > rule->max_samples) {
        ui.message_box({Dialog::too_many_samples, std::string(rule->too_many_text),
                        std::string(too_many_title), Buttons::ok, Icon::information});
        return DecodeResult::run_ended;
    }
    if (n < 0) {
        log_skipped_trace(log, trace, bad_count_entry);
        arrays.skip_cause = "with a bad sample count";
        return DecodeResult::skipped;
    }

    // A data block that runs past the end of the file is skipped: nothing outside the file
    // is read, and no sample of an earlier trace is passed off as this one's. An empty data
    // block needs nothing from the file, wherever it would begin.
    const std::uint64_t byte_count = data_block_bytes(trace.format_code, n);
    if (byte_count > 0 &&
        (!fits(trace.input.size(), trace.data_offset, byte_count) ||
         !trace.input.read_at(trace.data_offset,
                              read_target(trace.format_code, n, byte_count, arrays, out)))) {
        log_skipped_trace(log, trace, truncated_entry);
        arrays.skip_cause = "truncated";
        return DecodeResult::skipped;
    }

    const SampleLibraryResult result =
        convert_samples(trace.format_code, n, resample_factor, arrays, out);
    if (result != SampleLibraryResult::ok) {
        log_skipped_trace(log, trace, conversion_failed_entry,
                          std::string(": ") + std::string(describe(result)));
        arrays.skip_cause = "not converted";
        return DecodeResult::skipped;
    }
    arrays.decoded = out.first(static_cast<std::size_t>(resampled_count(n, resample_factor)));
    return DecodeResult::decoded;
}

IntervalResult check_sample_interval(OutputTraceHeader& header, ManualInterval& manual,
                                     std::optional<std::int16_t> own_interval, UiPort& ui,
                                     StatusLog& log, std::string_view detail) {
    if (header.word(59) <= 0 && !manual.manual_interval_in_force) {
        const std::string answer = ui.input_prompt(
            {Dialog::sampling_rate, std::string(interval_prompt), std::string(interval_title),
             number_text(manual.manual_interval_us), std::string(detail)});
        if (answer.empty()) return IntervalResult::run_ended;
        const std::optional<float> interval_us = answer_to_interval_us(answer);
        if (!interval_us || !interval_word(*interval_us)) {
            ui.message_box({Dialog::invalid_sampling_rate,
                            std::string(invalid_interval_text) + answer + ")",
                            std::string(invalid_interval_title), Buttons::ok, Icon::none});
            return IntervalResult::run_ended;
        }
        manual.manual_interval_us = *interval_us;
        manual.manual_interval_in_force = true;
        log.append(manual_interval_entry);
    }
    if (manual.manual_interval_in_force) {
        // Word 59 may hold an interval inherited from an earlier trace: only one the trace
        // states itself is kept.
        if (own_interval && *own_interval > 0) {
            header.word(59) = *own_interval;
        } else if (const auto word = interval_word(manual.manual_interval_us)) {
            header.word(59) = *word;
        }
    }
    return IntervalResult::ready;
}

}  // namespace quarvent
