#pragma once
// The status log: the text of Text1. The run and the translation only append to it; the run
// empties it when it has grown past limit characters at the start of a file's turn.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/ui_port.hpp"

namespace quarvent {

class StatusLog {
public:
    static constexpr std::size_t limit = 32000;

    explicit StatusLog(UiPort& ui) : ui_(ui) {}

    // Appends text; NUL characters are left out (they come from the end of SEG-2 strings).
    void append(std::string_view text);
    void clear();

    const std::string& text() const { return text_; }
    std::size_t size() const { return text_.size(); }

private:
    UiPort& ui_;
    std::string text_;
};

}  // namespace quarvent
