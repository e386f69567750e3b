#include "common/status_log.hpp"

namespace quarvent {

void StatusLog::append(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char c : text) {
        if (c != '\0') cleaned.push_back(c);
    }
    text_ += cleaned;
    ui_.text1_append(cleaned);
}

void StatusLog::clear() {
    text_.clear();
    ui_.text1_clear();
}

}  // namespace quarvent
