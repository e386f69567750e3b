#pragma once
// The batch program's UiPort: the status log goes to standard output as it is appended,
// message boxes go to standard error as "Title: text", and dialogs are answered from the
// command line's options instead of an operator.
//
// Both streams receive UTF-8: text that is UTF-8 already (file names) passes unchanged, and
// the bytes that are not (8-bit Latin-1 text from SEG-2 files) are converted.
//
// The conversion is the job and the log is secondary: a write to either stream that fails
// (a reader that went away, a closed terminal) is dropped, and later writes to that stream
// are left out, while the run goes on.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/ui_port.hpp"

namespace quarvent {

// The command line's answers to the run's questions.
struct ConsoleAnswers {
    std::string ssn = "1";           // Dialog::starting_ssn
    std::string sample_interval_ms;  // Dialog::sampling_rate; empty cancels
    bool append = false;             // OK to Dialog::appending
    bool delete_inputs = false;      // Yes to Dialog::delete_inputs
    // Nothing is written: the questions and prompts that the run asks are reported with the
    // answer the command line gives, instead of being printed as they are.
    bool dry_run = false;
};

// Text as UTF-8: every well-formed UTF-8 sequence is kept as it is; each other byte is read
// as Latin-1 and converted.
std::string as_utf8(std::string_view text);

// True when text is well-formed UTF-8 throughout: as_utf8 then leaves it as it is.
bool is_utf8(std::string_view text);

// The bytes of text as lowercase hexadecimal digits, two a byte: a name that is not UTF-8
// given exactly, beside its as_utf8 form, to a program that reads JSON.
std::string hex_bytes(std::string_view text);

// How the progress display shares the terminal.
enum class Progress {
    none,             // no progress display
    own_terminal,     // err is a terminal that the log does not go to
    shared_terminal,  // out and err are the same terminal: log lines and progress take turns
};

class ConsolePort final : public UiPort {
public:
    // progress: show "file i of n, traces written" on err while the run goes.
    ConsolePort(ConsoleAnswers answers, std::FILE* out, std::FILE* err, Progress progress,
                int input_count);

    Answer message_box(const MessageBoxRequest& request) override;
    std::string input_prompt(const PromptRequest& request) override;
    void text1_append(std::string_view text) override;
    // The log on standard output is never emptied: every entry stays.
    void text1_clear() override {}
    void set_text1_visible(bool) override {}
    void set_label3_caption(std::string_view) override {}
    void set_label3_visible(bool) override {}
    void list1_select(int index) override;
    // Every message about an input names it on a line of its own after the message.
    void set_current_input(std::string_view path) override { current_input_ = path; }
    void set_mouse_pointer(MousePointer) override {}
    // False once stop_requested is set (an interrupt): the run stops after its record.
    bool yield_events() override;

    // Writes what the log still holds back and leaves the final totals on the progress line.
    void finish();

    int traces_written() const { return traces_written_; }

    // Set from a signal handler to stop the run after the record being written.
    static volatile std::sig_atomic_t stop_requested;

private:
    void show_progress(bool force);
    void clear_progress();
    // Writes the log text held back on a shared terminal.
    void release_log();
    void write_out(std::string_view text);
    void write_err(std::string_view text);
    // A message on err: "Title: text", then the input it concerns when there is one.
    void write_message(const std::string& title, const std::string& text);
    // In a dry run, what the command line answers to a question.
    void report_answer(std::string_view answer);

    ConsoleAnswers answers_;
    std::FILE* out_;
    std::FILE* err_;
    Progress progress_;
    int input_count_;
    int current_file_ = 0;
    std::string current_input_;
    int traces_written_ = 0;
    bool progress_shown_ = false;
    bool out_failed_ = false;
    bool err_failed_ = false;
    // On a shared terminal the log is written a whole line at a time, so that the progress
    // line never lands in the middle of a log line; an unfinished line waits here.
    std::string held_log_;
    // The last log text written did not end its line (a held line grew too long).
    bool log_mid_line_ = false;
    std::chrono::steady_clock::time_point last_progress_{};
};

}  // namespace quarvent
