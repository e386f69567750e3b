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
// life). A string that no entry matches, and an entry with any other code, get a log line.
// An entry whose word number lies outside 0 .. 120 stops the run after a message box.

#include <cstdint>
#include <string>
#include <string_view>

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

    // table, log and ui must outlive the translator.
    HeaderTranslator(const KeywordTable& table, StatusLog& log, UiPort& ui)
        : table_(table), log_(log), ui_(ui) {}

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
    // Applies P2 * x with the range check; returns the word's value.
    std::int16_t scaled_word(double x, std::int32_t p2, std::string_view s);
    Result word_out_of_range(const KeywordEntry& entry, long long word);
    void log_line(std::string_view text);

    const KeywordTable& table_;
    StatusLog& log_;
    UiPort& ui_;
    std::int16_t range_warning_count_ = 0;
};

// inbuf without its leading blanks (character 32 only).
std::string strip_space(std::string_view inbuf);

}  // namespace quarvent
