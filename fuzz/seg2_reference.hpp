#pragma once
// A reading of SEG-2 written apart from the engine, for the fuzz targets to hold the engine
// to: the outcome for the file and for each trace, the fields, the strings, and the sample
// values that the data block's bytes alone determine.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/seg2_reader.hpp"

namespace quarvent::fuzzing {

// Little-endian fields of a byte span; has() before every read.
class ReferenceBytes {
public:
    explicit ReferenceBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
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
    std::span<const std::uint8_t> span() const { return bytes_; }

private:
    std::span<const std::uint8_t> bytes_;
};

struct ReferenceFile {
    FileDescriptorResult result = FileDescriptorResult::not_seg2;
    std::int16_t trace_count = 0;
    std::vector<std::int32_t> pointers;
    std::vector<std::string> strings;
};

struct ReferenceTrace {
    TraceDescriptorResult result = TraceDescriptorResult::truncated;
    std::uint32_t block_size = 0;
    std::int32_t sample_count = 0;
    std::uint16_t format_code = 0;
    std::uint64_t data_offset = 0;
    std::vector<std::string> strings;
};

// The file: not_seg2 when too short for its descriptor, pointer table or strings.
ReferenceFile reference_file(const ReferenceBytes& bytes);
// The trace at pointer: truncated when its descriptor or strings run past the end.
ReferenceTrace reference_trace(const ReferenceBytes& bytes, std::int32_t pointer);

// Whether sample values can be told from the data block's bytes alone: at factor 1 the
// integer and float formats convert exactly or to the nearest float.
bool checkable_format(std::uint16_t format_code);
// Sample k (from 0) of a data block in a checkable format; nothing for a 64-bit value beyond
// the float range, whose conversion is left to the library.
std::optional<float> expected_sample(const ReferenceBytes& bytes, std::uint64_t offset,
                                     std::uint16_t format_code, std::size_t k);
// Equal bit for bit, or both NaN.
bool same_float(float a, float b);

}  // namespace quarvent::fuzzing
