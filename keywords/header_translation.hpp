#pragma once
// Translation of SEG-2 header strings into output header words through the keyword table.
//
// Every entry whose keyword occurs anywhere in the string is applied, in table order, to the
// value: the string less as many leading characters as the keyword has, then less its leading
// blanks. Function codes:
//   0  end the translation of this string (later entries are not tried)
//   1  one number x: word P1 = P2 * x
//   2  trace sorting word: word P1 = 0 (ACQUIRED), 1 (GATHER), 2 (STACK), 3 (RECEIVER,
//      SOURCE, OFFSET), logged when not ACQUIRED
//   3  list of numbers: words P1 + 1, P1 + 2, ... = P2 * each number
//   4  trace type word: word P1 = 1 (SEISMIC), 2 (DEAD); TEST, RADAR, UPHOLE give 1 and a
//      log line; anything else leaves the word and is logged
//   5  trace_scale_factor = the value * P1
// Scaled values outside -32535 .. 32535 become 0 with a warning (the first 50 of the program's
// life). A string that no entry matches, and an entry with any other code, get a log line;
// these and the vocabulary lines of codes 2 and 4 are the file's header string messages,
// which the status log shows up to its limit and then counts.
// An entry whose word number lies outside 0 .. 120 stops the run after a message box.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/header_string_receiver.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"
#include "keywords/keyword_table.hpp"

namespace quarvent {

class HeaderTranslator final : public HeaderStringReceiver {
public:
    // Scaled values must lie within this range, both ends included.
    static constexpr double value_limit = 32535.0;
    // Range warnings issued in the program's life before they fall silent.
    static constexpr std::int16_t range_warning_limit = 50;

    // table, log and ui must outlive the translator. The table may gain entries meanwhile
    // (they are tried as well), but must not be given another table's entries.
    HeaderTranslator(const KeywordTable& table, StatusLog& log, UiPort& ui)
        : table_(table), log_(log), ui_(ui) {
        index_keywords();
    }

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        return translate_header_string(s, header, trace_scale_factor);
    }

    // s is one header string as the file holds it: keyword, blanks, value, terminating zero
    // characters and padding. stop_run only after the "Keyword File Error" box.
    [[nodiscard]] Result translate_header_string(std::string_view s, OutputTraceHeader& header,
                                                 double& trace_scale_factor);

    // Range warnings issued so far; never reset, so it lives as long as the translator, which
    // lives as long as the program.
    std::int16_t range_warning_count() const { return range_warning_count_; }

private:
    // Sets of the byte pairs (each byte with the one that follows it) that occur in a text,
    // each pair hashed to one bit. A keyword can occur in a string only when every pair of
    // the keyword is in the string's set, so a few AND operations pass over most entries
    // before any substring search. A keyword of fewer than two bytes has no pairs and is
    // always searched for.
    //
    // The full set has 256 bits; its words ORed together give the short set, one word. The
    // short set of a string of usual length rejects nearly every keyword that the string
    // does not hold. A long string sets most of the short set's bits, and its full set is
    // tested too.
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

    // Builds the pair sets of the table's keywords, one per entry in table order.
    void index_keywords();

    // Applies P2 * x with the range check; returns the word's value.
    std::int16_t scaled_word(double x, std::int32_t p2, std::string_view s);
    Result word_out_of_range(const KeywordEntry& entry, long long word);
    // A header string message: text and the line break.
    void log_line(std::string_view text);

    const KeywordTable& table_;
    StatusLog& log_;
    UiPort& ui_;
    std::int16_t range_warning_count_ = 0;
    // Per entry, in table order: its keyword's full and short pair sets; the short sets end
    // with an empty one, which every string passes.
    std::vector<PairSet> keyword_pairs_;
    std::vector<std::uint64_t> keyword_short_pairs_;
    // The table's entries when these were built: a table that has grown since (its
    // entries moved or added to) is indexed again.
    const KeywordEntry* indexed_entries_ = nullptr;
    std::size_t indexed_count_ = 0;
};

// inbuf without its leading blanks (character 32 only).
std::string strip_space(std::string_view inbuf);

}  // namespace quarvent
