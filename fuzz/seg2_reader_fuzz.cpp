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
#include "keywords/header_translation.hpp"

namespace {

using namespace quarvent;

// --- The reference reading -------------------------------------------------------------

class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::uint32_t u16(std::uint64_t at) const { return bytes_[at] | (bytes_[at + 1] << 8U); }
    std::int16_t i16(std::uint64_t at) const { return static_cast<std::int16_t>(u16(at)); }
    std::int32_t i32(std::uint64_t at) const {
        return static_cast<std::int32_t>(u16(at) | (u16(at + 2) << 16U));
    }
    std::uint8_t u8(std::uint64_t at) const { return bytes_[at]; }
    std::string text(std::uint64_t at, std::uint64_t count) const {
        return std::string(reinterpret_cast<const char*>(bytes_.data() + at), count);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// The strings of the list at offset, or nothing when the list runs past the end.
std::optional<std::vector<std::string>> reference_strings(const Bytes& bytes,
                                                          std::uint64_t offset) {
    std::vector<std::string> strings;
    for (;;) {
        if (!bytes.has(offset, 2)) return std::nullopt;
        const std::int16_t length = bytes.i16(offset);
        offset += 2;
        if (length <= 1) return strings;
        if (!bytes.has(offset, length - 2)) return std::nullopt;
        strings.push_back(bytes.text(offset, length - 2));
        offset += length - 2;
    }
}

struct ReferenceFile {
    FileDescriptorResult result = FileDescriptorResult::not_seg2;
    std::int16_t trace_count = 0;
    std::vector<std::int32_t> pointers;
    std::vector<std::string> strings;
};

ReferenceFile reference_file(const Bytes& bytes) {
    ReferenceFile file;
    if (!bytes.has(0, 32) || bytes.u16(0) != 0x3A55) return file;
    const std::uint32_t m = bytes.u16(4);
    file.trace_count = bytes.i16(6);
    if (4.0 * file.trace_count > m) {
        file.result = FileDescriptorResult::pointer_shortage;
        return file;
    }
    // M / 4 rounded halves to even: only M = 4k + 2 is a half, and it goes to the even k or
    // k + 1.
    std::uint32_t slots = m / 4;
    if (m % 4 == 3 || (m % 4 == 2 && slots % 2 == 1)) ++slots;
    if (!bytes.has(32, 4ULL * slots)) return file;
    for (std::uint32_t i = 0; i < slots; ++i) file.pointers.push_back(bytes.i32(32 + 4 * i));
    auto strings = reference_strings(bytes, 32 + 4ULL * slots);
    if (!strings) {
        file.pointers.clear();
        return file;
    }
    file.strings = std::move(*strings);
    file.result = FileDescriptorResult::read;
    return file;
}

struct ReferenceTrace {
    TraceDescriptorResult result = TraceDescriptorResult::truncated;
    std::uint32_t block_size = 0;
    std::int32_t sample_count = 0;
    std::uint16_t format_code = 0;
    std::uint64_t data_offset = 0;
    std::vector<std::string> strings;
};

ReferenceTrace reference_trace(const Bytes& bytes, std::int32_t pointer) {
    ReferenceTrace trace;
    if (pointer < 0) return trace;
    const auto at = static_cast<std::uint64_t>(pointer);
    if (!bytes.has(at, 2)) return trace;
    if (bytes.u16(at) != 0x4422) {
        trace.result = TraceDescriptorResult::bad_trace_id;
        return trace;
    }
    if (!bytes.has(at, 32)) return trace;
    auto strings = reference_strings(bytes, at + 32);
    if (!strings) return trace;
    trace.result = TraceDescriptorResult::read;
    trace.block_size = bytes.u16(at + 2);
    trace.sample_count = bytes.i32(at + 8);
    trace.format_code = bytes.u8(at + 12);
    trace.data_offset = at + trace.block_size;
    trace.strings = std::move(*strings);
    return trace;
}

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
    const Bytes bytes(data);
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

// Whether sample values can be told from the data block's bytes alone: at factor 1 the
// integer and float formats convert exactly or to the nearest float.
bool checkable_format(std::uint16_t format_code) {
    return format_code == 1 || format_code == 2 || format_code == 4 || format_code == 5;
}

// Sample k of a data block in a checkable format; nothing for a 64-bit value beyond the
// float range, whose conversion is left to the library.
std::optional<float> expected_sample(std::span<const std::uint8_t> data, std::uint64_t offset,
                                     std::uint16_t format_code, std::size_t k) {
    const Bytes bytes(data);
    switch (format_code) {
        case 1:
            return static_cast<float>(bytes.i16(offset + 2 * k));
        case 2:
            return static_cast<float>(bytes.i32(offset + 4 * k));
        case 4: {
            std::uint32_t bits = 0;
            std::memcpy(&bits, data.data() + offset + 4 * k, 4);
            return std::bit_cast<float>(bits);
        }
        case 5: {
            double value = 0.0;
            std::memcpy(&value, data.data() + offset + 8 * k, 8);
            if (std::fabs(value) > std::numeric_limits<float>::max()) return std::nullopt;
            return static_cast<float>(value);
        }
        default:
            return std::nullopt;
    }
}

bool same_float(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) ||
           std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void convert_like_a_run(std::span<const std::uint8_t> data) {
    const MemorySource input(data);
    fuzzing::SilentUi ui;
    ui.answer_prompt("Missing Sampling Rate", "0.25");  // in ms, for traces that give none
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
            const auto want = expected_sample(data, trace.data_offset, trace.format_code, k);
            if (!want) continue;
            FUZZ_CHECK(same_float(arrays.output_samples[k], *want),
                       "trace " + std::to_string(t) + " sample " + std::to_string(k + 1));
        }

        if (check_sample_interval(header, manual, ui, log) == IntervalResult::run_ended) return;
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
