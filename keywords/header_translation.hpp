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

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/header_string_receiver.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"
#include "keywords/keyword_table.hpp"

namespace quarvent {

class KeywordIndex;

// The function codes of the keyword file's entries.
enum class FunctionCode : std::int16_t {
    ignore = 0,        // end the translation of this string
    number = 1,        // one number into word P1, times P2
    trace_sort = 2,    // the trace sorting vocabulary into word P1
    number_list = 3,   // numbers into words P1 + 1, P1 + 2, ..., each times P2
    trace_type = 4,    // the trace type vocabulary into word P1
    scale_factor = 5,  // the trace's samples are multiplied by the value times P1
};

class HeaderTranslator final : public HeaderStringReceiver {
public:
    // Scaled values must lie within this range, both ends included.
    static constexpr double value_limit = 32535.0;
    // Range warnings issued in the program's life before they fall silent.
    static constexpr std::int16_t range_warning_limit = 50;

    // table, log and ui must outlive the translator. The program loads the table once and
    // only reads it afterwards; a table that gains entries meanwhile (as tests build theirs)
    // is indexed again, so the new entries are tried as well. It must not be given another
    // table's entries.
    HeaderTranslator(const KeywordTable& table, StatusLog& log, UiPort& ui);
    ~HeaderTranslator() override;

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        return translate_header_string(s, header, trace_scale_factor);
    }

    // s is one header string as the file holds it: keyword, blanks, value, terminating zero
    // characters and padding. stop_run only after the Dialog::keyword_word_range box.
    [[nodiscard]] Result translate_header_string(std::string_view s, OutputTraceHeader& header,
                                                 double& trace_scale_factor);

    void file_begins() override;
    std::optional<float> unrounded_value(int n) const override {
        if (n != unrounded_word_) return std::nullopt;
        return unrounded_;
    }

    // Range warnings issued so far; never reset, so it lives as long as the translator, which
    // lives as long as the program.
    std::int16_t range_warning_count() const { return range_warning_count_; }

private:
    // The rule of each function code, applied to one entry that occurs in s. value is s
    // less the keyword's length and then less its leading blanks.
    Result apply_number(const KeywordEntry& entry, std::string_view value, std::string_view s,
                        OutputTraceHeader& header);
    Result apply_trace_sort(const KeywordEntry& entry, std::string_view value,
                            OutputTraceHeader& header);
    Result apply_number_list(const KeywordEntry& entry, std::string_view value, std::string_view s,
                             OutputTraceHeader& header);
    Result apply_trace_type(const KeywordEntry& entry, std::string_view value,
                            OutputTraceHeader& header);

    // Applies P2 * x with the range check; returns the word's value, and the product before
    // rounding in unrounded (none when it is out of range).
    std::int16_t scaled_word(double x, std::int32_t p2, std::string_view s,
                             std::optional<float>& unrounded);
    Result word_out_of_range(const KeywordEntry& entry, long long word);
    // A header string message: text and the line break.
    void log_line(std::string_view text);
    // Sets a header word, noting the write while a string's effect is being recorded;
    // unrounded: the real value the word holds rounded, when it comes from a number.
    void set_word(OutputTraceHeader& header, long long word, std::int16_t value,
                  std::optional<float> unrounded = std::nullopt);

    // Runs the table over s: the translation proper.
    Result translate_afresh(std::string_view s, OutputTraceHeader& header,
                            double& trace_scale_factor);

    // What translating a string did to the header and the scale factor. A batch of shot
    // files repeats most strings trace after trace ("STACK 1", "SAMPLE_INTERVAL 0.000250"),
    // so the effect of a string that translated quietly is kept and done again for the same
    // string, without searching the table. A string that logged anything, or stopped the
    // run, is translated afresh every time, so that it says so every time.
    struct Effect {
        std::vector<std::pair<std::int16_t, std::int16_t>> writes;  // word, value; in order
        bool sets_scale = false;
        double scale = 1.0;
        // The last word the string wrote from a number, and that number before rounding.
        std::int16_t unrounded_word = -1;
        float unrounded = 0.0F;
    };
    using Remembered = std::pair<const std::string, Effect>;
    // Notes what the string at the next place of this file translated to (nullptr: not kept).
    void note_place(Remembered* translation);
    // Empties the store of translations, and the places that point into it.
    void forget_translations();
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    // Strings longer than this are not kept; nor more than this many strings (the store is
    // emptied when full), so that memory stays small whatever the files hold.
    static constexpr std::size_t remembered_text_limit = 256;
    static constexpr std::size_t remembered_limit = 4096;

    const KeywordTable& table_;
    StatusLog& log_;
    UiPort& ui_;
    std::int16_t range_warning_count_ = 0;
    std::unique_ptr<const KeywordIndex> index_;
    std::unordered_map<std::string, Effect, TextHash, std::equal_to<>> remembered_;
    // The remembered strings of this file and of the one before, in the order met (nullptr
    // for one not remembered): a survey's files mostly hold the same strings in the same
    // places ("CHANNEL_NUMBER 7" as the first string of trace 7 in every shot), so the string
    // at the same place in the file before is tried first. At most sequence_limit each.
    static constexpr std::size_t sequence_limit = 65536;
    std::vector<Remembered*> this_file_;
    std::vector<Remembered*> file_before_;
    Effect* recording_ = nullptr;  // the effect being recorded, while a string is translated
    bool said_something_ = false;  // the translation of the current string logged or asked
    // What the current (or last) string wrote from a number last: the word, -1 for none,
    // and the value before rounding.
    std::int16_t unrounded_word_ = -1;
    float unrounded_ = 0.0F;
};

// inbuf without its leading blanks (character 32 only).
std::string strip_space(std::string_view inbuf);

}  // namespace quarvent
