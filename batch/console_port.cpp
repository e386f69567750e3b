#include "batch/console_port.hpp"

namespace quarvent {

volatile std::sig_atomic_t ConsolePort::stop_requested = 0;

namespace {

constexpr std::string_view appending_title = "Appending Data";
constexpr std::string_view deletion_title = "Input Files Will Be Deleted";
constexpr std::string_view ssn_title = "SSN Value?";
constexpr std::string_view interval_title = "Missing Sampling Rate";

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

void write_all(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

std::string latin1_to_utf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result.push_back(c);
        } else {
            result.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            result.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return result;
}

ConsolePort::ConsolePort(ConsoleAnswers answers, std::FILE* out, std::FILE* err, bool progress,
                         int input_count)
    : answers_(std::move(answers)),
      out_(out),
      err_(err),
      progress_(progress),
      input_count_(input_count) {}

Answer ConsolePort::message_box(const MessageBoxRequest& request) {
    clear_progress();
    std::fflush(out_);
    write_all(err_, latin1_to_utf8(request.title + ": " + as_console_lines(request.text)));
    std::fflush(err_);
    if (request.title == appending_title) return answers_.append ? Answer::ok : Answer::cancel;
    if (request.title == deletion_title) return answers_.delete_inputs ? Answer::yes : Answer::no;
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

std::string ConsolePort::input_prompt(const PromptRequest& request) {
    std::string answer;
    if (request.title == ssn_title) {
        answer = answers_.ssn;
    } else if (request.title == interval_title) {
        answer = answers_.sample_interval_ms;
    }
    // An unanswered prompt ends the command; say which one it was.
    if (answer.empty()) {
        clear_progress();
        std::fflush(out_);
        write_all(err_, latin1_to_utf8(request.title + ": " + as_console_lines(request.prompt)));
        std::fflush(err_);
    }
    return answer;
}

void ConsolePort::text1_append(std::string_view text) { write_all(out_, latin1_to_utf8(text)); }

void ConsolePort::list1_select(int index) {
    current_file_ = index + 1;
    show_progress(true);
}

bool ConsolePort::yield_events() {
    ++traces_written_;
    show_progress(false);
    return stop_requested == 0;
}

void ConsolePort::finish() { clear_progress(); }

void ConsolePort::show_progress(bool force) {
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_progress_ < std::chrono::milliseconds(100)) return;
    last_progress_ = now;
    std::fprintf(err_, "\rfile %d of %d, %d traces written\x1b[K", current_file_, input_count_,
                 traces_written_);
    std::fflush(err_);
    progress_shown_ = true;
}

void ConsolePort::clear_progress() {
    if (!progress_shown_) return;
    write_all(err_, "\r\x1b[K");
    std::fflush(err_);
    progress_shown_ = false;
}

}  // namespace quarvent
