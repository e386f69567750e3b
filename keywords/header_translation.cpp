#include "keywords/header_translation.hpp"

#include <bit>
#include <cmath>
#include <span>

#include "common/numbers.hpp"
#include "keywords/keyword_index.hpp"

namespace quarvent {

namespace {

std::string_view strip_blanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

struct VocabularyWord {
    std::string_view word;
    std::int16_t value;
    const char* message_tail;  // the log line is "Warning " + value + tail; nullptr: none
};

constexpr const char* sort_warning = " type may yield unprocessable data";
constexpr VocabularyWord sort_words[] = {
    {"ACQUIRED", 0, nullptr},      {"GATHER", 1, sort_warning}, {"STACK", 2, sort_warning},
    {"RECEIVER", 3, sort_warning}, {"SOURCE", 3, sort_warning}, {"OFFSET", 3, sort_warning},
};

constexpr const char* type_warning = " unsupported type";
constexpr VocabularyWord type_words[] = {
    {"SEISMIC", 1, nullptr},    {"DEAD", 2, nullptr},        {"TEST", 1, type_warning},
    {"RADAR", 1, type_warning}, {"UPHOLE", 1, type_warning},
};

// The first word of the vocabulary that occurs anywhere in value, or nullptr.
template <std::size_t N>
const VocabularyWord* find_word(const VocabularyWord (&vocabulary)[N], std::string_view value) {
    for (const VocabularyWord& candidate : vocabulary) {
        if (value.find(candidate.word) != std::string_view::npos) return &candidate;
    }
    return nullptr;
}

}  // namespace

std::string strip_space(std::string_view inbuf) { return std::string(strip_blanks(inbuf)); }

HeaderTranslator::HeaderTranslator(const KeywordTable& table, StatusLog& log, UiPort& ui)
    : table_(table),
      log_(log),
      ui_(ui),
      index_(std::make_unique<const KeywordIndex>(table.entries())) {}

HeaderTranslator::~HeaderTranslator() = default;

void HeaderTranslator::log_line(std::string_view text) {
    said_something_ = true;
    std::string line;
    line.reserve(text.size() + line_break.size());
    line.append(text).append(line_break);
    log_.append_header_string_message(line);
}

std::int16_t HeaderTranslator::scaled_word(double x, std::int32_t p2, std::string_view s,
                                           std::optional<float>& unrounded) {
    unrounded.reset();
    const double product = static_cast<double>(p2) * x;
    // The range check is made on the product as a 32-bit real. Products far outside the range
    // (infinities, NaN from 0 times infinity) are out of range without narrowing them.
    bool in_range = false;
    float r = 0.0F;
    if (std::fabs(product) <= 2 * value_limit) {
        r = static_cast<float>(product);
        in_range = r >= -value_limit && r <= value_limit;
    }
    if (in_range) {
        unrounded = r;
        return static_cast<std::int16_t>(round_half_even(r));
    }
    said_something_ = true;  // whether or not the warning is still given

    if (range_warning_count_ < range_warning_limit) {
        std::string text = "Warning- Keyword->";
        text.append(s.substr(0, s.size() - 1));  // less the string's terminating zero
        text.append("<-").append(line_break).append("Caused Over/Under flow set to 0");
        text.append(line_break);
        ++range_warning_count_;
        if (range_warning_count_ == range_warning_limit) {
            // "futher" is the entry's long-standing spelling, kept for whoever searches old logs.
            text.append("No futher warnings will be issued!").append(line_break);
        }
        // Few enough in the program's life to be shown whatever the file.
        log_.append(text);
    }
    return 0;
}

HeaderStringReceiver::Result HeaderTranslator::word_out_of_range(const KeywordEntry& entry,
                                                                 long long word) {
    said_something_ = true;
    MessageBoxRequest request{
        Dialog::keyword_word_range, {}, keyword_file_error_title, Buttons::ok, Icon::critical};
    request.text = "The keyword file entry \"" + entry.keyword + "\" (function code" +
                   number_text(entry.function_code) + ") names header word" +
                   number_text(static_cast<double>(word)) +
                   ", but header words are numbered 0 to 120." + std::string(line_break) +
                   "The conversion stops; correct the keyword file and start the program again.";
    ui_.message_box(request);
    return Result::stop_run;
}

HeaderStringReceiver::Result HeaderTranslator::apply_number(const KeywordEntry& entry,
                                                            std::string_view value,
                                                            std::string_view s,
                                                            OutputTraceHeader& header) {
    const long long p1 = entry.p1();
    if (!OutputTraceHeader::valid_word_number(p1)) return word_out_of_range(entry, p1);
    // Only the first blank-delimited field: read_number would join the digits of later fields.
    const std::size_t blank = value.find(' ');
    const double x =
        read_number(blank == std::string_view::npos ? value : value.substr(0, blank + 1));
    std::optional<float> unrounded;
    const std::int16_t scaled = scaled_word(x, entry.p2(), s, unrounded);
    set_word(header, p1, scaled, unrounded);
    return Result::go_on;
}

HeaderStringReceiver::Result HeaderTranslator::apply_trace_sort(const KeywordEntry& entry,
                                                                std::string_view value,
                                                                OutputTraceHeader& header) {
    const long long p1 = entry.p1();
    if (!OutputTraceHeader::valid_word_number(p1)) return word_out_of_range(entry, p1);
    const VocabularyWord* found = find_word(sort_words, value);
    set_word(header, p1, found != nullptr ? found->value : std::int16_t{0});
    if (found == nullptr) {
        log_line("Unknown string " + std::string(value));
    } else if (found->message_tail != nullptr) {
        log_line("Warning " + std::string(value) + found->message_tail);
    }
    return Result::go_on;
}

HeaderStringReceiver::Result HeaderTranslator::apply_number_list(const KeywordEntry& entry,
                                                                 std::string_view value,
                                                                 std::string_view s,
                                                                 OutputTraceHeader& header) {
    long long word = entry.p1();
    std::string_view rest = value;
    while (!rest.empty()) {
        rest = strip_blanks(rest);
        const std::size_t blank = rest.find(' ');
        double x = 0.0;
        if (blank != std::string_view::npos) {
            x = read_number(rest.substr(0, blank + 1));
            rest.remove_prefix(blank + 1);
        } else {
            x = read_number(rest);
            rest = {};
        }
        ++word;
        if (!OutputTraceHeader::valid_word_number(word)) return word_out_of_range(entry, word);
        std::optional<float> unrounded;
        const std::int16_t scaled = scaled_word(x, entry.p2(), s, unrounded);
        set_word(header, word, scaled, unrounded);
    }
    return Result::go_on;
}

HeaderStringReceiver::Result HeaderTranslator::apply_trace_type(const KeywordEntry& entry,
                                                                std::string_view value,
                                                                OutputTraceHeader& header) {
    const long long p1 = entry.p1();
    if (!OutputTraceHeader::valid_word_number(p1)) return word_out_of_range(entry, p1);
    const VocabularyWord* found = find_word(type_words, value);
    if (found == nullptr) {
        log_line("Warning " + std::string(value) + " unknown type");
        return Result::go_on;
    }
    set_word(header, p1, found->value);
    if (found->message_tail != nullptr) {
        log_line("Warning " + std::string(value) + found->message_tail);
    }
    return Result::go_on;
}

void HeaderTranslator::set_word(OutputTraceHeader& header, long long word, std::int16_t value,
                                std::optional<float> unrounded) {
    header.word(static_cast<int>(word)) = value;
    if (unrounded) {
        unrounded_word_ = static_cast<std::int16_t>(word);
        unrounded_ = *unrounded;
    } else if (word == unrounded_word_) {
        unrounded_word_ = -1;
    }
    if (recording_ != nullptr) {
        recording_->writes.emplace_back(static_cast<std::int16_t>(word), value);
        recording_->unrounded_word = unrounded_word_;
        recording_->unrounded = unrounded_;
    }
}

HeaderStringReceiver::Result HeaderTranslator::translate_header_string(std::string_view s,
                                                                       OutputTraceHeader& header,
                                                                       double& trace_scale_factor) {
    const std::span<const KeywordEntry> entries = table_.entries();
    if (!index_->indexes(entries)) {
        // A table that grew may translate a string differently from now on.
        index_ = std::make_unique<const KeywordIndex>(entries);
        forget_translations();
    }
    // Where the string stands in its file: the file before held the same string there, most
    // likely, and that is tried before any hashing.
    const std::size_t place = this_file_.size();
    Remembered* known = nullptr;
    if (s.size() <= remembered_text_limit) {
        if (place < file_before_.size() && file_before_[place] != nullptr &&
            file_before_[place]->first == s) {
            known = file_before_[place];
        } else if (const auto found = remembered_.find(s); found != remembered_.end()) {
            known = &*found;
        }
    }
    unrounded_word_ = -1;
    if (known != nullptr) {
        for (const auto& [word, value] : known->second.writes) header.word(word) = value;
        unrounded_word_ = known->second.unrounded_word;
        unrounded_ = known->second.unrounded;
        if (known->second.sets_scale) trace_scale_factor = known->second.scale;
        note_place(known);
        return Result::go_on;
    }
    if (s.size() > remembered_text_limit) {
        note_place(nullptr);
        return translate_afresh(s, header, trace_scale_factor);
    }
    Effect effect;
    recording_ = &effect;
    said_something_ = false;
    const Result result = translate_afresh(s, header, trace_scale_factor);
    recording_ = nullptr;
    Remembered* kept = nullptr;
    if (result == Result::go_on && !said_something_) {
        if (remembered_.size() >= remembered_limit) forget_translations();
        kept = &*remembered_.emplace(std::string(s), std::move(effect)).first;
    }
    note_place(kept);
    return result;
}

void HeaderTranslator::note_place(Remembered* translation) {
    if (this_file_.size() < sequence_limit) this_file_.push_back(translation);
}

void HeaderTranslator::forget_translations() {
    remembered_.clear();
    this_file_.clear();
    file_before_.clear();
}

void HeaderTranslator::file_begins() {
    file_before_.swap(this_file_);
    this_file_.clear();
}

HeaderStringReceiver::Result HeaderTranslator::translate_afresh(std::string_view s,
                                                                OutputTraceHeader& header,
                                                                double& trace_scale_factor) {
    const std::span<const KeywordEntry> entries = table_.entries();
    bool matched = false;
    Result result = Result::go_on;
    // An empty string holds no keyword, not even the empty one.
    if (!s.empty()) {
        index_->for_each_candidate(s, [&](std::size_t i) {
            const KeywordEntry& entry = entries[i];
            if (s.find(entry.keyword) == std::string_view::npos) return true;
            matched = true;
            // The keyword's length is cut from the start of s wherever the keyword stood.
            const std::string_view value = strip_blanks(s.substr(entry.keyword.size()));
            switch (static_cast<FunctionCode>(entry.function_code)) {
                case FunctionCode::ignore:
                    return false;
                case FunctionCode::number:
                    result = apply_number(entry, value, s, header);
                    break;
                case FunctionCode::trace_sort:
                    result = apply_trace_sort(entry, value, header);
                    break;
                case FunctionCode::number_list:
                    result = apply_number_list(entry, value, s, header);
                    break;
                case FunctionCode::trace_type:
                    result = apply_trace_type(entry, value, header);
                    break;
                case FunctionCode::scale_factor:
                    trace_scale_factor = read_number(value) * static_cast<double>(entry.p1());
                    if (recording_ != nullptr) {
                        recording_->sets_scale = true;
                        recording_->scale = trace_scale_factor;
                    }
                    break;
                default:
                    log_line("Illegal function value " + number_text(entry.function_code) + " " +
                             entry.keyword);
                    break;
            }
            return result == Result::go_on;
        });
    }
    if (!matched) log_line(std::string(s) + "   No Match Found ");
    return result;
}

}  // namespace quarvent
