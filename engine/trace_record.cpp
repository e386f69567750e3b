#include "engine/trace_record.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/bytes.hpp"
#include "common/numbers.hpp"

namespace quarvent {

namespace {

constexpr std::int16_t word_3_value = 6;
constexpr std::int16_t word_4_value = 8;
constexpr std::int16_t word_60_value = 21930;  // 0x55AA
constexpr double largest_word = 32767.0;

constexpr std::string_view trace_number_corrected_entry = " Bad trace #-corrected ";

// "choosen", "atempting" and "accomdate" are the message's long-standing spellings; keep them.
MessageBoxRequest cannot_accommodate_message(std::int32_t sample_count, std::int16_t factor) {
    std::string text =
        "The number of samples and resampling option choosen are atempting to create a file "
        "with more than 32767 samples/trace.";
    text += line_break;
    text += "Number samples = ";
    text += number_text(static_cast<std::int64_t>(sample_count));
    text += " resample factor ";
    text += number_text(factor);
    return {Dialog::cannot_accommodate, text, "Can't accomdate Sample Length", Buttons::ok,
            Icon::none};
}

MessageBoxRequest interval_too_large_message(std::int16_t interval_us, std::int16_t factor) {
    std::string text =
        "The sample interval multiplied by the resample factor must lie between 1 and 32767 "
        "microseconds to fit the trace header.";
    text += line_break;
    text += "Sample interval = ";
    text += number_text(interval_us);
    text += " resample factor ";
    text += number_text(factor);
    return {Dialog::interval_too_large, text, "Sample Interval Too Large", Buttons::ok, Icon::none};
}

// A product beyond the float range is held at the largest finite float of its sign; NaN
// stays NaN. The product is narrowed first and an infinity then replaced: a product that
// narrows to an infinity lies beyond the largest float, and one beyond it that does not
// narrows to the largest float itself. One select on floats, so that the loop over a
// record vectorises to few instructions.
float scaled_sample(float sample, double factor) {
    constexpr float largest = std::numeric_limits<float>::max();
    const auto product = static_cast<float>(static_cast<double>(sample) * factor);
    return std::fabs(product) == std::numeric_limits<float>::infinity()
               ? std::copysign(largest, product)
               : product;
}

// Scales count samples into out (little-endian floats). Built for the widest vectors the
// processor has, picked when the program loads: in double, eight products a step instead of
// two.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void scale_samples(const float* samples, std::size_t count, double factor, std::uint8_t* out) {
    for (std::size_t k = 0; k < count; ++k) {
        const float sample = scaled_sample(samples[k], factor);
        std::memcpy(out + 4 * k, &sample, sizeof sample);
    }
}

// The file name of a path: what follows its last separator.
std::string_view file_name_of(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

FinishResult finish_trace_header(OutputTraceHeader& header, const TraceInRun& trace,
                                 const ConversionOptions& options, TraceRecordState& state,
                                 UiPort& ui) {
    const std::int16_t factor = options.resample_factor;
    const std::int16_t interval = header.word(59);
    const bool interval_fits =
        interval > 0 && factor >= 1 && static_cast<std::int32_t>(interval) * factor <= 32767;

    const double exact_count = static_cast<double>(trace.sample_count) / factor;
    const auto resampled_count = static_cast<float>(exact_count);
    // A negative record length keeps the original length, as 0 does.
    const double record_end_ms = options.record_end_ms > 0.0F ? options.record_end_ms : 0.0;

    // The length is checked first; only a shortened record divides by the interval here, and
    // an interval of 0 or less is then refused as unusable rather than divided by.
    const bool fits_whole = exact_count <= largest_word;
    const bool fits_shortened =
        record_end_ms > 0.0 && interval > 0 && record_end_ms * (1000.0 / interval) <= largest_word;
    if (!fits_whole && !fits_shortened) {
        if (record_end_ms > 0.0 && interval <= 0) {
            ui.message_box(interval_too_large_message(interval, factor));
        } else {
            ui.message_box(cannot_accommodate_message(trace.sample_count, factor));
        }
        return FinishResult::run_ended;
    }
    // The interval divides below, and its product with the factor goes into word 59.
    if (!interval_fits) {
        ui.message_box(interval_too_large_message(interval, factor));
        return FinishResult::run_ended;
    }

    header.word(88) = trace.t == trace.trace_count ? 1 : 0;
    header.word(2) = trace.trace_count;
    header.word(92) = trace.ssn;
    header.word(6) = trace.ssn;
    if (const auto number = file_number_from_name(file_name_of(trace.path)))
        header.word(6) = *number;
    if (header.word(15) == 0) header.word(15) = 1;
    header.word(60) = word_60_value;

    state.interval_before_factor = interval;
    header.word(59) = static_cast<std::int16_t>(interval * factor);
    // An interval that the strings gave with a fraction of a microsecond is multiplied before
    // it is rounded, so that the record's time axis is as exact as its word allows.
    if (factor != 1 && trace.unrounded_interval_us &&
        round_half_even(*trace.unrounded_interval_us) == interval) {
        const double exact = round_half_even(static_cast<double>(*trace.unrounded_interval_us) *
                                             static_cast<double>(factor));
        if (exact >= 1.0 && exact <= largest_word) {
            header.word(59) = static_cast<std::int16_t>(exact);
        }
    }

    const double whole_count = round_half_even(resampled_count);
    double count = whole_count;
    if (record_end_ms > 0.0) {
        const double shortened = round_half_even(record_end_ms * (1000.0 / header.word(59)));
        if (shortened <= resampled_count) count = shortened;
    }
    // Both checks above keep count within 0 .. 32767.
    state.output_count = static_cast<std::int16_t>(count);
    header.word(58) = state.output_count;

    header.word(3) = word_3_value;
    header.word(4) = word_4_value;
    header.word(14) = trace.t;
    state.trace_number_defaulted = false;
    if (header.word(8) == 0) {
        header.word(8) = trace.t;
        state.trace_number_defaulted = true;
    }
    return FinishResult::ready;
}

std::optional<std::int16_t> file_number_from_name(std::string_view name) {
    const std::size_t first_digit = name.find_first_of("1234567890");
    if (first_digit == std::string_view::npos) return std::nullopt;
    const double value = read_number(name.substr(first_digit));
    if (value >= 32767.0 || value <= -32768.0) return std::nullopt;
    return to_int16(value);
}

float scaled_output_sample(float sample, double trace_scale_factor) {
    return trace_scale_factor == 1.0 ? sample : scaled_sample(sample, trace_scale_factor);
}

std::error_code write_trace_record(OutputFile& output, OutputTraceHeader& header,
                                   std::span<const float> output_samples, double trace_scale_factor,
                                   TraceRecordState& state, StatusLog& log) {
    const std::size_t count =
        state.output_count > 0 ? static_cast<std::size_t>(state.output_count) : 0;
    if (count > output_samples.size()) return std::make_error_code(std::errc::invalid_argument);

    std::span<std::uint8_t> bytes;
    if (const std::error_code reason =
            output.begin_record(OutputTraceHeader::byte_size + 4 * count, bytes)) {
        return reason;
    }
    const auto header_bytes = header.to_bytes();
    std::memcpy(bytes.data(), header_bytes.data(), header_bytes.size());
    std::uint8_t* samples_out = bytes.data() + OutputTraceHeader::byte_size;
    if constexpr (std::endian::native == std::endian::little) {
        // Samples decoded straight into this record's place are there already.
        const bool in_place = static_cast<const void*>(samples_out) ==
                              static_cast<const void*>(output_samples.data());
        if (trace_scale_factor == 1.0) {
            if (count > 0 && !in_place) std::memcpy(samples_out, output_samples.data(), 4 * count);
        } else {
            // Scaled straight into the record.
            scale_samples(output_samples.data(), count, trace_scale_factor, samples_out);
        }
    } else {
        const std::span<std::uint8_t> out(samples_out, 4 * count);
        for (std::size_t k = 0; k < count; ++k) {
            const float sample = trace_scale_factor == 1.0
                                     ? output_samples[k]
                                     : scaled_sample(output_samples[k], trace_scale_factor);
            store_le_u32(out, 4 * k, bit_cast<std::uint32_t>(sample));
        }
    }
    if (const std::error_code reason = output.commit_record()) return reason;

    // The multiplied interval belongs to this record only: a next trace that sets no
    // interval inherits this trace's own, not one multiplied again.
    header.word(59) = state.interval_before_factor;
    if (state.trace_number_defaulted) {
        header.word(8) = 0;
        state.trace_number_defaulted = false;
        log.append(trace_number_corrected_entry);
    }
    return {};
}

MessageBoxRequest output_write_error_message(std::string_view output_path, std::error_code reason,
                                             std::error_code cut_back_failure) {
    std::string text = "The output file could not be written:";
    text += line_break;
    text += output_path;
    text += line_break;
    text += "Error message =";
    text += line_break;
    text += reason.message();
    text += line_break;
    if (cut_back_failure) {
        text += "Part of a trace record stays at its end: cutting it off failed (";
        text += cut_back_failure.message();
        text += ").";
        text += line_break;
        text += "The conversion stops.";
    } else {
        text += "It keeps every trace record that reached it whole; the conversion stops.";
    }
    return {Dialog::output_write_error, text, "Output Write Error", Buttons::ok, Icon::critical};
}

}  // namespace quarvent
