#include "common/trace_header.hpp"

#include "common/bytes.hpp"

namespace quarvent {

void OutputTraceHeader::clear() {
    for (int n = first_word; n <= last_word; ++n) word(n) = 0;
}

std::array<std::uint8_t, OutputTraceHeader::byte_size> OutputTraceHeader::to_bytes() const {
    std::array<std::uint8_t, byte_size> bytes{};
    for (int n = first_word; n <= last_word; ++n) {
        store_le_u16(bytes, static_cast<std::size_t>(2 * (n - 1)),
                     static_cast<std::uint16_t>(word(n)));
    }
    return bytes;
}

}  // namespace quarvent
