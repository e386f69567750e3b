#include "keywords/keyword_index.hpp"

namespace quarvent {

KeywordIndex::KeywordIndex(std::span<const KeywordEntry> entries)
    : indexed_entries_(entries.data()) {
    pairs_.reserve(entries.size());
    short_pairs_.reserve(entries.size() + 1);
    for (const KeywordEntry& entry : entries) {
        short_pairs_.push_back(pairs_.emplace_back(entry.keyword).folded());
    }
    short_pairs_.push_back(0);  // past the last entry: stops the scan for candidates
}

KeywordIndex::PairSet::PairSet(std::string_view text) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        const std::uint32_t bit = bit_of(text.data() + i - 1);
        words_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
}

std::uint64_t KeywordIndex::PairSet::short_set(std::string_view text) {
    std::uint64_t set = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        set |= std::uint64_t{1} << (bit_of(text.data() + i - 1) % 64);
    }
    return set;
}

}  // namespace quarvent
