#pragma once
// The batch program's UiPort: the status log goes to standard output as it is appended,
// message boxes go to standard error as "Title: text", and dialogs are answered from the
// command line's options instead of an operator.
//
// Texts inside the program are 8-bit (Latin-1); both streams receive UTF-8.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/ui_port.hpp"

namespace quarvent {

// The command line's answers to the run's questions.
struct ConsoleAnswers {
    std::string ssn = "1";           // "Enter Starting SSN"
    std::string sample_interval_ms;  // "Missing Sampling Rate"; empty cancels
    bool append = false;             // OK to "Appending Data"
    bool delete_inputs = false;      // Yes to "Input Files Will Be Deleted"
};

// Latin-1 text as UTF-8.
std::string latin1_to_utf8(std::string_view text);

class ConsolePort final : public UiPort {
public:
    // progress: show "file i of n, traces written" on err (a terminal) while the run goes.
    ConsolePort(ConsoleAnswers answers, std::FILE* out, std::FILE* err, bool progress,
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
    void set_mouse_pointer(MousePointer) override {}
    // False once stop_requested is set (an interrupt): the run stops after its record.
    bool yield_events() override;

    // Clears the progress line, so that the terminal is left clean.
    void finish();

    int traces_written() const { return traces_written_; }

    // Set from a signal handler to stop the run after the record being written.
    static volatile std::sig_atomic_t stop_requested;

private:
    void show_progress(bool force);
    void clear_progress();

    ConsoleAnswers answers_;
    std::FILE* out_;
    std::FILE* err_;
    bool progress_;
    int input_count_;
    int current_file_ = 0;
    int traces_written_ = 0;
    bool progress_shown_ = false;
    std::chrono::steady_clock::time_point last_progress_{};
};

}  // namespace quarvent
