#pragma once
// The status log: the text of Text1. The run and the translation only append to it; the run
// empties it when it has grown past limit characters at the start of a file's turn.
//
// Its size stays bounded whatever the input: a file's header string messages are shown up
// to a limit and then only counted, and a log that would grow past hard_limit within one
// file's turn is emptied before the entry that would take it there. A log whose text goes elsewhere
// as it is written (a console) keeps only its length.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/ui_port.hpp"

namespace quarvent {

class StatusLog {
public:
    // Past this length the log is emptied at the next file start.
    static constexpr std::size_t limit = 32000;
    // The log is emptied before an entry that would take it past this length. An ordinary
    // file's turn stays far below.
    static constexpr std::size_t hard_limit = 1'000'000;
    // Of one file's header string messages, those after this many lines or characters are
    // counted instead of shown.
    static constexpr std::size_t header_string_lines = 1000;
    static constexpr std::size_t header_string_characters = 100'000;

    enum class Keeping {
        text,         // the text is kept and can be read back
        length_only,  // only the length is kept; text() stays empty
    };

    explicit StatusLog(UiPort& ui, Keeping keeping = Keeping::text) : ui_(ui), keeping_(keeping) {}

    // Appends text; NUL characters are left out (they come from the end of SEG-2 strings).
    void append(std::string_view text);
    // Appends one line about a header string of the current file, or counts it once the
    // file's messages have reached their limit.
    void append_header_string_message(std::string_view line);
    // Ends the current file's header string messages: appends how many were not shown, if
    // any, and starts counting afresh.
    void end_header_string_messages();
    void clear();
    // Everything appended from now on is also added to copy, whatever emptying the log does
    // to its own text, until copy_to(nullptr). The copy must outlive the log's use of it.
    void copy_to(std::string* copy) { copy_ = copy; }

    const std::string& text() const { return text_; }
    // Characters appended since the log was last emptied.
    std::size_t size() const { return size_; }

private:
    UiPort& ui_;
    Keeping keeping_;
    std::string text_;
    std::size_t size_ = 0;
    std::size_t header_lines_shown_ = 0;
    std::size_t header_characters_shown_ = 0;
    std::size_t header_lines_not_shown_ = 0;
    std::string* copy_ = nullptr;
};

}  // namespace quarvent
