#pragma once
// Writes well-formed little-endian SEG-2 files: a file descriptor block with one pointer per
// trace, the file strings, then each trace's descriptor block (strings padded to a multiple of
// 4 bytes) followed by its data block. Used by the demo-data generator.

#include <cstdint>
#include <string>
#include <vector>

namespace quarvent {

struct Seg2TraceOut {
    std::uint8_t format_code = 4;  // 1: int16, 2: int32, 3: 20-bit packed, 4: float32
    std::int32_t sample_count = 0;
    std::vector<std::string> strings;  // without terminators; each gets one zero byte
    std::vector<std::uint8_t> data;    // the data block, little-endian
};

struct Seg2FileOut {
    std::vector<std::string> strings;
    std::vector<Seg2TraceOut> traces;
};

std::vector<std::uint8_t> seg2_file_bytes(const Seg2FileOut& file);

}  // namespace quarvent
