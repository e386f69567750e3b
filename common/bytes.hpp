#pragma once
// Little-endian values composed from bytes and written as bytes. Every read checks that the
// value lies wholly inside the bytes it is given, without overflow in the check.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/bit_cast.hpp"

namespace quarvent {

// True when count bytes from offset lie inside a buffer of size bytes.
constexpr bool fits(std::uint64_t size, std::uint64_t offset, std::uint64_t count) {
    return offset <= size && count <= size - offset;
}

inline std::optional<std::uint16_t> read_le_u16(std::span<const std::uint8_t> bytes,
                                                std::size_t offset = 0) {
    if (!fits(bytes.size(), offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::optional<std::uint32_t> read_le_u32(std::span<const std::uint8_t> bytes,
                                                std::size_t offset = 0) {
    if (!fits(bytes.size(), offset, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[offset]) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::optional<std::uint64_t> read_le_u64(std::span<const std::uint8_t> bytes,
                                                std::size_t offset = 0) {
    const auto low = read_le_u32(bytes, offset);
    const auto high = offset <= bytes.size() ? read_le_u32(bytes, offset + 4) : std::nullopt;
    if (!low || !high) return std::nullopt;
    return static_cast<std::uint64_t>(*low) | (static_cast<std::uint64_t>(*high) << 32);
}

inline std::optional<std::int16_t> read_le_i16(std::span<const std::uint8_t> bytes,
                                               std::size_t offset = 0) {
    const auto value = read_le_u16(bytes, offset);
    if (!value) return std::nullopt;
    return static_cast<std::int16_t>(*value);
}

inline std::optional<std::int32_t> read_le_i32(std::span<const std::uint8_t> bytes,
                                               std::size_t offset = 0) {
    const auto value = read_le_u32(bytes, offset);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

inline std::optional<float> read_le_f32(std::span<const std::uint8_t> bytes,
                                        std::size_t offset = 0) {
    const auto value = read_le_u32(bytes, offset);
    if (!value) return std::nullopt;
    return bit_cast<float>(*value);
}

inline std::optional<double> read_le_f64(std::span<const std::uint8_t> bytes,
                                         std::size_t offset = 0) {
    const auto value = read_le_u64(bytes, offset);
    if (!value) return std::nullopt;
    return bit_cast<double>(*value);
}

inline void append_le_u16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void append_le_u32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
    }
}

inline void append_le_u64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    append_le_u32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
    append_le_u32(out, static_cast<std::uint32_t>(value >> 32));
}

inline void append_le_i16(std::vector<std::uint8_t>& out, std::int16_t value) {
    append_le_u16(out, static_cast<std::uint16_t>(value));
}
inline void append_le_i32(std::vector<std::uint8_t>& out, std::int32_t value) {
    append_le_u32(out, static_cast<std::uint32_t>(value));
}
inline void append_le_f32(std::vector<std::uint8_t>& out, float value) {
    append_le_u32(out, bit_cast<std::uint32_t>(value));
}
inline void append_le_f64(std::vector<std::uint8_t>& out, double value) {
    append_le_u64(out, bit_cast<std::uint64_t>(value));
}

// Writes value at offset; the caller guarantees that the bytes exist.
inline void store_le_u16(std::span<std::uint8_t> out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<std::uint8_t>(value & 0xFF);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void store_le_u32(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        out[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

}  // namespace quarvent
