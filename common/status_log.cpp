#include "common/status_log.hpp"

#include "common/numbers.hpp"

namespace quarvent {

void StatusLog::append(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char c : text) {
        if (c != '\0') cleaned.push_back(c);
    }
    // Emptied before the entry that would pass the hard limit, so the latest entry shows.
    if (size_ > 0 && size_ + cleaned.size() > hard_limit) clear();
    if (keeping_ == Keeping::text) text_ += cleaned;
    size_ += cleaned.size();
    if (copy_ != nullptr) *copy_ += cleaned;
    ui_.text1_append(cleaned);
}

void StatusLog::append_header_string_message(std::string_view line) {
    if (header_lines_shown_ >= header_string_lines ||
        header_characters_shown_ >= header_string_characters) {
        ++header_lines_not_shown_;
        return;
    }
    ++header_lines_shown_;
    header_characters_shown_ += line.size();
    append(line);
}

void StatusLog::end_header_string_messages() {
    if (header_lines_not_shown_ > 0) {
        std::string entry = "...";
        entry += number_text(static_cast<double>(header_lines_not_shown_));
        entry += " more header string messages of this file not shown";
        entry += line_break;
        append(entry);
    }
    header_lines_shown_ = 0;
    header_characters_shown_ = 0;
    header_lines_not_shown_ = 0;
}

void StatusLog::clear() {
    text_.clear();
    size_ = 0;
    ui_.text1_clear();
}

}  // namespace quarvent
