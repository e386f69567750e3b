#include "engine/file_probe.hpp"

#include <array>

#include "common/bytes.hpp"
#include "engine/seg2_reader.hpp"

namespace quarvent {

namespace {

constexpr std::uint64_t record_header_bytes = 240;
constexpr std::uint64_t sample_count_offset = 2 * (58 - 1);
constexpr std::uint64_t ssn_offset = 2 * (92 - 1);

std::optional<std::int16_t> i16_at(const ByteSource& input, std::uint64_t offset) {
    std::array<std::uint8_t, 2> bytes{};
    if (!input.read_at(offset, bytes)) return std::nullopt;
    return read_le_i16(bytes);
}

}  // namespace

std::optional<int> seg2_trace_count(const ByteSource& input) {
    std::array<std::uint8_t, 8> bytes{};
    if (!input.read_at(0, bytes)) return std::nullopt;
    if (read_le_u16(bytes, 0) != file_block_id) return std::nullopt;
    const std::optional<std::int16_t> count = read_le_i16(bytes, 6);
    if (!count) return std::nullopt;
    return *count < 0 ? 0 : *count;
}

std::optional<int> seg2_trace_count(const std::string& path) {
    FileSource input;
    if (input.open(path)) return std::nullopt;
    return seg2_trace_count(input);
}

std::optional<std::int16_t> last_record_ssn(const ByteSource& output) {
    const std::uint64_t size = output.size();
    std::optional<std::int16_t> ssn;
    std::uint64_t at = 0;
    while (size - at >= record_header_bytes) {
        const std::optional<std::int16_t> samples = i16_at(output, at + sample_count_offset);
        if (!samples || *samples < 0) break;
        const std::uint64_t length = record_header_bytes + 4 * static_cast<std::uint64_t>(*samples);
        if (size - at < length) break;
        const std::optional<std::int16_t> word_92 = i16_at(output, at + ssn_offset);
        if (!word_92) break;
        ssn = word_92;
        at += length;
    }
    return ssn;
}

std::optional<std::int16_t> last_record_ssn(const std::string& path) {
    FileSource output;
    if (output.open(path)) return std::nullopt;
    return last_record_ssn(output);
}

}  // namespace quarvent
