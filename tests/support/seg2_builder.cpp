#include "tests/support/seg2_builder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/bytes.hpp"

namespace quarvent::testing {

namespace {

std::vector<std::uint8_t> string_list(const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> out;
    for (const auto& s : strings) {
        const std::size_t body = s.size() + 1;  // terminating zero
        append_le_u16(out, static_cast<std::uint16_t>(body + 2));
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    append_le_u16(out, 0);
    return out;
}

std::vector<std::uint8_t> trace_block(const Seg2Trace& trace) {
    const std::vector<std::uint8_t> strings = string_list(trace.strings);
    std::size_t natural = 32 + strings.size();
    natural = (natural + 3) / 4 * 4;
    const std::uint16_t block_size = trace.block_size.value_or(static_cast<std::uint16_t>(natural));
    std::vector<std::uint8_t> out;
    append_le_u16(out, trace.block_id);
    append_le_u16(out, block_size);
    append_le_i32(out,
                  trace.data_block_size.value_or(static_cast<std::int32_t>(trace.data.size())));
    append_le_i32(out, trace.sample_count);
    out.push_back(trace.format_code);
    out.resize(32, 0);
    out.insert(out.end(), strings.begin(), strings.end());
    // The data block starts at the descriptor's offset plus its block size, whatever the
    // strings took; pad (or cut) to that point.
    // A block size smaller than its contents cuts them: the data then overlays the tail.
    if (trace.data_over_strings) {
        out.resize(std::max(out.size(), block_size + trace.data.size()), 0);
        std::copy(trace.data.begin(), trace.data.end(), out.begin() + block_size);
        return out;
    }
    out.resize(block_size, 0);
    out.insert(out.end(), trace.data.begin(), trace.data.end());
    return out;
}

}  // namespace

Seg2Trace Seg2Trace::int16(const std::vector<std::int16_t>& samples) {
    Seg2Trace trace;
    trace.format_code = 1;
    trace.sample_count = static_cast<std::int32_t>(samples.size());
    for (auto v : samples) append_le_i16(trace.data, v);
    return trace;
}

Seg2Trace Seg2Trace::int32(const std::vector<std::int32_t>& samples) {
    Seg2Trace trace;
    trace.format_code = 2;
    trace.sample_count = static_cast<std::int32_t>(samples.size());
    for (auto v : samples) append_le_i32(trace.data, v);
    return trace;
}

Seg2Trace Seg2Trace::float32(const std::vector<float>& samples) {
    Seg2Trace trace;
    trace.format_code = 4;
    trace.sample_count = static_cast<std::int32_t>(samples.size());
    for (auto v : samples) append_le_f32(trace.data, v);
    return trace;
}

Seg2Trace Seg2Trace::float64(const std::vector<double>& samples) {
    Seg2Trace trace;
    trace.format_code = 5;
    trace.sample_count = static_cast<std::int32_t>(samples.size());
    for (auto v : samples) append_le_f64(trace.data, v);
    return trace;
}

Seg2Trace Seg2Trace::raw(std::uint8_t format_code, std::int32_t sample_count,
                         std::vector<std::uint8_t> data) {
    Seg2Trace trace;
    trace.format_code = format_code;
    trace.sample_count = sample_count;
    trace.data = std::move(data);
    return trace;
}

std::vector<std::int32_t> Seg2Builder::trace_offsets() const {
    const std::size_t pointer_bytes =
        pointer_block_size.value_or(static_cast<std::uint16_t>(4 * traces.size()));
    const std::size_t slots = pointer_bytes / 4;
    const std::size_t strings =
        raw_file_string_list ? raw_file_string_list->size() : string_list(file_strings).size();
    std::size_t offset = 32 + 4 * slots + strings;
    std::vector<std::int32_t> offsets;
    for (const auto& trace : traces) {
        offsets.push_back(static_cast<std::int32_t>(offset));
        offset += trace_block(trace).size();
    }
    return offsets;
}

std::vector<std::uint8_t> Seg2Builder::build() const {
    const std::uint16_t pointer_bytes =
        pointer_block_size.value_or(static_cast<std::uint16_t>(4 * traces.size()));
    const std::size_t slots = pointer_bytes / 4;
    std::vector<std::uint8_t> out;
    append_le_u16(out, block_id);
    append_le_i16(out, revision);
    append_le_u16(out, pointer_bytes);
    append_le_i16(out, trace_count.value_or(static_cast<std::int16_t>(traces.size())));
    out.push_back(1);  // string terminator size
    out.push_back(0);
    out.push_back(0);
    out.push_back(1);  // line terminator size
    out.push_back(0x0A);
    out.push_back(0);
    out.resize(32, 0);

    std::vector<std::int32_t> table = pointers.value_or(trace_offsets());
    table.resize(slots, 0);
    for (auto p : table) append_le_i32(out, p);

    const std::vector<std::uint8_t> strings =
        raw_file_string_list ? *raw_file_string_list : string_list(file_strings);
    out.insert(out.end(), strings.begin(), strings.end());
    for (const auto& trace : traces) {
        const auto block = trace_block(trace);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

Seg2Builder shared_descriptor_file(int pointers, int strings, std::size_t string_bytes) {
    Seg2Builder file;
    Seg2Trace trace = Seg2Trace::int16({1, -2, 3, -4});
    for (int s = 0; s < strings; ++s) {
        std::string text = "NOTE ";
        text.resize(string_bytes - 1, 'x');  // with its terminating zero: string_bytes
        trace.with_string(std::move(text));
    }
    // The samples lie inside the first string's text.
    trace.block_size = 40;
    trace.data_over_strings = true;
    file.add_trace(std::move(trace));
    file.trace_count = static_cast<std::int16_t>(pointers);
    file.pointer_block_size = static_cast<std::uint16_t>(4 * pointers);
    file.pointers =
        std::vector<std::int32_t>(static_cast<std::size_t>(pointers), file.trace_offsets().front());
    return file;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void write_qex_output(const std::string& path, const QexOutput& output) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::uint64_t record_bytes = 240 + 4 * static_cast<std::uint64_t>(output.samples);
    std::vector<std::uint8_t> record(output.sparse ? 240 : record_bytes);
    const auto word = [&](int n, std::int16_t value) {
        const auto bits = static_cast<std::uint16_t>(value);
        record[static_cast<std::size_t>(2 * (n - 1))] = static_cast<std::uint8_t>(bits & 0xFF);
        record[static_cast<std::size_t>(2 * (n - 1) + 1)] = static_cast<std::uint8_t>(bits >> 8);
    };
    for (std::uint64_t n = 1; n <= output.records; ++n) {
        std::fill(record.begin(), record.end(), std::uint8_t{0});
        const std::uint64_t shot = (n - 1) / output.per_shot;
        word(8, static_cast<std::int16_t>((n - 1) % output.per_shot + 1));
        word(55, output.delay_ms);
        word(58, output.samples);
        word(59, output.interval_us);
        word(92, static_cast<std::int16_t>(output.first_ssn + static_cast<std::int64_t>(shot)));
        if (!output.sparse) {
            const float value = static_cast<float>(n);
            std::uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            const std::size_t at = 240 + 4 * static_cast<std::size_t>(n % output.samples);
            for (int b = 0; b < 4; ++b) {
                record[at + static_cast<std::size_t>(b)] =
                    static_cast<std::uint8_t>(bits >> (8 * b));
            }
        }
        out.seekp(static_cast<std::streamoff>((n - 1) * record_bytes));
        out.write(reinterpret_cast<const char*>(record.data()),
                  static_cast<std::streamsize>(record.size()));
    }
    if (output.sparse && output.records > 0) {
        // The last record's samples end the file.
        out.seekp(static_cast<std::streamoff>(output.records * record_bytes - 1));
        out.put('\0');
    }
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> qex_records(const std::vector<std::int16_t>& ssns, int samples) {
    const std::size_t record = 240 + 4 * static_cast<std::size_t>(samples);
    std::vector<std::uint8_t> bytes(ssns.size() * record, 0);
    for (std::size_t r = 0; r < ssns.size(); ++r) {
        const auto put = [&](int word, int value) {
            const std::size_t at = r * record + 2 * static_cast<std::size_t>(word - 1);
            bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
            bytes[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        };
        put(58, samples);
        put(92, ssns[r]);
    }
    return bytes;
}

}  // namespace quarvent::testing
