#pragma once
// The OutputTraceHeader: the 120 signed 16-bit words that open every output record, plus
// the scratch word 0 that the keyword translation may write and that is never written out.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarvent {

class OutputTraceHeader {
public:
    static constexpr int first_word = 1;
    static constexpr int last_word = 120;
    static constexpr std::size_t byte_size = 240;

    // True for 0 (the scratch word) to 120.
    static constexpr bool valid_word_number(long long number) {
        return number >= 0 && number <= last_word;
    }

    // Word n, 0 to 120; other numbers are a programming fault (checked, throws).
    std::int16_t& word(int n) { return words_.at(static_cast<std::size_t>(n)); }
    std::int16_t word(int n) const { return words_.at(static_cast<std::size_t>(n)); }

    // Sets words 1 to 120 to 0; the scratch word keeps its value.
    void clear();

    // Words 1 to 120, each little-endian, word N at byte 2 * (N - 1).
    std::array<std::uint8_t, byte_size> to_bytes() const;

private:
    std::array<std::int16_t, last_word + 1> words_{};
};

}  // namespace quarvent
