#pragma once
// The translation's pre-filter: which of the keyword table's entries can occur in a header
// string, found without a substring search for most of them.
//
// Each text gets a set of the byte pairs (each byte with the one that follows it) that occur
// in it, each pair hashed to one bit. A keyword can occur in a string only when every pair of
// the keyword is in the string's set, so a few AND operations pass over most entries before
// any substring search. A keyword of fewer than two bytes has no pairs and is always searched
// for.
//
// The full set has 256 bits; its words ORed together give the short set, one word. The short
// set of a string of usual length rejects nearly every keyword that the string does not hold.
// A long string sets most of the short set's bits, and its full set is tested too.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "keywords/keyword_table.hpp"

namespace quarvent {

class KeywordIndex {
public:
    // Indexes the entries as they are now.
    explicit KeywordIndex(std::span<const KeywordEntry> entries);

    // Whether this index was built from these very entries: a table that has grown since
    // (its entries moved or added to) needs a new index.
    bool indexes(std::span<const KeywordEntry> entries) const {
        return entries.data() == indexed_entries_ && entries.size() == pairs_.size();
    }

    // Calls visit(i) for every entry i, in table order, whose keyword may occur in s, until
    // visit returns false. Entries not visited cannot occur in s.
    template <typename Visit>
    void for_each_candidate(std::string_view s, Visit visit) const {
        const std::uint64_t absent = ~PairSet::short_set(s);
        const bool long_string = s.size() > PairSet::long_text;
        const PairSet pairs = long_string ? PairSet(s) : PairSet();
        const std::uint64_t* const short_pairs = short_pairs_.data();
        for (const std::uint64_t* candidate = short_pairs;; ++candidate) {
            // On to the next entry whose keyword the short set lets pass, two at a time.
            while ((candidate[0] & absent) != 0 && (candidate[1] & absent) != 0) candidate += 2;
            if ((candidate[0] & absent) != 0) ++candidate;
            const auto i = static_cast<std::size_t>(candidate - short_pairs);
            if (i == pairs_.size()) return;
            if (long_string && !pairs.may_hold(pairs_[i])) continue;
            if (!visit(i)) return;
        }
    }

private:
    class PairSet {
    public:
        static constexpr std::size_t bits = 256;  // a power of two, at least 64
        static_assert(std::has_single_bit(bits) && bits >= 64);
        // Strings longer than this have their full set tested.
        static constexpr std::size_t long_text = 64;

        PairSet() = default;  // the empty set
        explicit PairSet(std::string_view text);
        static std::uint64_t short_set(std::string_view text);

        std::uint64_t folded() const {
            std::uint64_t all = 0;
            for (const std::uint64_t word : words_) all |= word;
            return all;
        }
        // False only when a text of this set cannot hold a keyword of the set keyword.
        bool may_hold(const PairSet& keyword) const {
            std::uint64_t missing = 0;
            for (std::size_t i = 0; i < words_.size(); ++i) {
                missing |= keyword.words_[i] & ~words_[i];
            }
            return missing == 0;
        }

    private:
        // The bit of the pair that starts at pair: the top bits of a multiplicative hash of
        // its two bytes read as one 16-bit number.
        static std::uint32_t bit_of(const char* pair) {
            std::uint16_t both = 0;
            std::memcpy(&both, pair, sizeof both);
            return (both * 0x9E3779B1U) >> (32 - std::countr_zero(bits));
        }

        std::array<std::uint64_t, bits / 64> words_{};
    };

    // Per entry, in table order: its keyword's full and short pair sets; the short sets end
    // with an empty one, which every string passes.
    std::vector<PairSet> pairs_;
    std::vector<std::uint64_t> short_pairs_;
    const KeywordEntry* indexed_entries_ = nullptr;
};

}  // namespace quarvent
