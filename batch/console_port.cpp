#include "batch/console_port.hpp"

#include "common/enum_names.hpp"

namespace quarvent {

volatile std::sig_atomic_t ConsolePort::stop_requested = 0;

namespace {

// A log line held back on a shared terminal is written once it is this long, finished or not.
constexpr std::size_t held_log_limit = 4096;

// CR LF and a lone CR become a newline; the text then ends with exactly one newline.
std::string as_console_lines(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            result.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result.push_back(text[i]);
        }
    }
    if (result.empty() || result.back() != '\n') result.push_back('\n');
    return result;
}

// Length of the well-formed UTF-8 sequence of two to four bytes at text[at], or 0: no
// overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) second_low = 0xA0;
        if (lead == 0xED) second_high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) second_low = 0x90;
        if (lead == 0xF4) second_high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(1) < second_low || byte(1) > second_high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string as_utf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            result.push_back(text[i]);
            ++i;
        } else if (const std::size_t length = utf8_sequence_length(text, i); length > 0) {
            result.append(text.substr(i, length));
            i += length;
        } else {
            result.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            result.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
            ++i;
        }
    }
    return result;
}

bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
        } else if (const std::size_t length = utf8_sequence_length(text, i); length > 0) {
            i += length;
        } else {
            return false;
        }
    }
    return true;
}

std::string hex_bytes(std::string_view text) {
    constexpr std::string_view digits = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

ConsolePort::ConsolePort(ConsoleAnswers answers, std::FILE* out, std::FILE* err, Progress progress,
                         int input_count)
    : answers_(std::move(answers)),
      out_(out),
      err_(err),
      progress_(progress),
      input_count_(input_count) {}

namespace {

Answer answer_to(const MessageBoxRequest& request, const ConsoleAnswers& answers) {
    switch (request.dialog) {
        case Dialog::appending:
            return answers.append ? Answer::ok : Answer::cancel;
        case Dialog::delete_inputs:
            return answers.delete_inputs ? Answer::yes : Answer::no;
        default:
            break;
    }
    // Any other question gets the answer that does not go ahead.
    switch (request.buttons) {
        case Buttons::ok:
            return Answer::ok;
        case Buttons::ok_cancel:
            return Answer::cancel;
        case Buttons::yes_no:
            return Answer::no;
        case Buttons::yes_no_cancel:
            return Answer::cancel;
    }
    return Answer::cancel;
}

// The caption of the button that gives the answer.
std::string_view answer_name(Answer answer) {
    static constexpr auto captions =
        enum_names<Answer::abort>("OK", "Cancel", "Yes", "No", "Retry", "Ignore", "Abort");
    return name_in(captions, answer, "?");
}

constexpr std::string_view dry_run_question = "Dry run, the run would ask: ";

}  // namespace

Answer ConsolePort::message_box(const MessageBoxRequest& request) {
    const Answer answer = answer_to(request, answers_);
    const bool question = request.buttons != Buttons::ok;
    if (answers_.dry_run && question) {
        write_message(std::string(dry_run_question) + request.title, request.text);
        report_answer(answer_name(answer));
    } else {
        write_message(request.title, request.text);
    }
    return answer;
}

std::string ConsolePort::input_prompt(const PromptRequest& request) {
    std::string answer;
    if (request.dialog == Dialog::starting_ssn) {
        answer = answers_.ssn;
    } else if (request.dialog == Dialog::sampling_rate) {
        answer = answers_.sample_interval_ms;
    }
    if (answers_.dry_run) {
        write_message(std::string(dry_run_question) + request.title, request.prompt);
        report_answer(answer.empty() ? std::string_view("nothing, which ends the run")
                                     : std::string_view(answer));
    } else if (answer.empty()) {
        // An unanswered prompt ends the command; say which one it was.
        write_message(request.title, request.prompt);
    }
    return answer;
}

void ConsolePort::write_message(const std::string& title, const std::string& text) {
    release_log();
    clear_progress();
    if (std::fflush(out_) != 0) out_failed_ = true;
    std::string message = title + ": " + as_console_lines(text);
    if (!current_input_.empty()) message += "Input file: " + current_input_ + "\n";
    write_err(as_utf8(message));
}

void ConsolePort::report_answer(std::string_view answer) {
    write_err(as_utf8("Dry run, the command line answers: " + std::string(answer) + "\n"));
}

void ConsolePort::text1_append(std::string_view text) {
    if (progress_ != Progress::shared_terminal) {
        write_out(as_utf8(text));
        return;
    }
    held_log_ += as_utf8(text);
    const std::size_t line_end = held_log_.rfind('\n');
    if (line_end == std::string::npos && held_log_.size() < held_log_limit) return;
    const std::size_t length = line_end == std::string::npos ? held_log_.size() : line_end + 1;
    clear_progress();
    write_out(std::string_view(held_log_).substr(0, length));
    log_mid_line_ = held_log_[length - 1] != '\n';
    held_log_.erase(0, length);
}

void ConsolePort::list1_select(int index) {
    current_file_ = index + 1;
    show_progress(true);
}

bool ConsolePort::yield_events() {
    ++traces_written_;
    show_progress(false);
    return stop_requested == 0;
}

void ConsolePort::finish() {
    release_log();
    if (progress_ == Progress::none || current_file_ == 0) {
        clear_progress();
        return;
    }
    // The last figure is the run's total: what the output received.
    if (progress_ == Progress::shared_terminal && log_mid_line_) write_err("\n");
    log_mid_line_ = false;
    show_progress(true);
    write_err("\n");
    progress_shown_ = false;
}

void ConsolePort::show_progress(bool force) {
    if (progress_ == Progress::none) return;
    if (progress_ == Progress::shared_terminal && log_mid_line_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_progress_ < std::chrono::milliseconds(100)) return;
    last_progress_ = now;
    write_err("\rfile " + std::to_string(current_file_) + " of " + std::to_string(input_count_) +
              ", " + std::to_string(traces_written_) + " traces written\x1b[K");
    progress_shown_ = true;
}

void ConsolePort::clear_progress() {
    if (!progress_shown_) return;
    write_err("\r\x1b[K");
    progress_shown_ = false;
}

void ConsolePort::release_log() {
    if (held_log_.empty()) return;
    clear_progress();
    write_out(held_log_);
    log_mid_line_ = held_log_.back() != '\n';
    held_log_.clear();
}

void ConsolePort::write_out(std::string_view text) {
    if (out_failed_ || text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), out_);
    // On a shared terminal the line must be out before the progress line is drawn again.
    if (progress_ == Progress::shared_terminal) std::fflush(out_);
    if (std::ferror(out_) != 0) out_failed_ = true;
}

void ConsolePort::write_err(std::string_view text) {
    if (err_failed_ || text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), err_);
    std::fflush(err_);
    if (std::ferror(err_) != 0) err_failed_ = true;
}

}  // namespace quarvent
