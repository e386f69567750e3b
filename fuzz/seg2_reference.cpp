#include "fuzz/seg2_reference.hpp"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace quarvent::fuzzing {

namespace {

// The strings of the list at offset, or nothing when the list runs past the end. A length
// word of 1 or less ends the list.
std::optional<std::vector<std::string>> reference_strings(const ReferenceBytes& bytes,
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

}  // namespace

ReferenceFile reference_file(const ReferenceBytes& bytes) {
    ReferenceFile file;
    if (!bytes.has(0, 32) || bytes.u16(0) != 0x3A55) return file;
    const std::uint32_t m = bytes.u16(4);
    file.trace_count = bytes.i16(6);
    if (4.0 * file.trace_count > m) {
        file.result = FileDescriptorResult::pointer_shortage;
        return file;
    }
    // M / 4 rounded halves to even: M = 4k + 2 is the only half, and goes to the even one of
    // k and k + 1.
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

ReferenceTrace reference_trace(const ReferenceBytes& bytes, std::int32_t pointer) {
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

bool checkable_format(std::uint16_t format_code) {
    return format_code == 1 || format_code == 2 || format_code == 4 || format_code == 5;
}

std::optional<float> expected_sample(const ReferenceBytes& bytes, std::uint64_t offset,
                                     std::uint16_t format_code, std::size_t k) {
    const std::uint8_t* data = bytes.span().data();
    switch (format_code) {
        case 1:
            return static_cast<float>(bytes.i16(offset + 2 * k));
        case 2:
            return static_cast<float>(bytes.i32(offset + 4 * k));
        case 4: {
            std::uint32_t bits = 0;
            std::memcpy(&bits, data + offset + 4 * k, 4);
            return std::bit_cast<float>(bits);
        }
        case 5: {
            double value = 0.0;
            std::memcpy(&value, data + offset + 8 * k, 8);
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

}  // namespace quarvent::fuzzing
