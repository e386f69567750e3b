#include "batch/console_port.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/enum_printing.hpp"

namespace quarvent {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

ConsoleAnswers answers_that_go_ahead() {
    ConsoleAnswers answers;
    answers.ssn = "7";
    answers.sample_interval_ms = "0.5";
    answers.append = true;
    answers.delete_inputs = true;
    answers.trim_partial_record = true;
    return answers;
}

// The console knows a question by its identity: a reworded title gets the command line's
// answer all the same, and a title that merely reads like a known one does not.
TEST(console_port, answers_questions_by_their_identity_not_their_title) {
    struct Row {
        const char* what;
        Dialog dialog;
        std::string title;
        Buttons buttons;
        bool go_ahead;  // the command line gives --append and --delete-inputs
        Answer expected;
    };
    const Row rows[] = {
        {"append, as asked", Dialog::appending, "Appending Data", Buttons::ok_cancel, true,
         Answer::ok},
        {"append, reworded", Dialog::appending, "Appending To The Output", Buttons::ok_cancel, true,
         Answer::ok},
        {"append not given", Dialog::appending, "Appending Data", Buttons::ok_cancel, false,
         Answer::cancel},
        {"delete, reworded", Dialog::delete_inputs, "Deleting Inputs", Buttons::yes_no, true,
         Answer::yes},
        {"delete not given", Dialog::delete_inputs, "Input Files Will Be Deleted", Buttons::yes_no,
         false, Answer::no},
        {"cut back, as asked", Dialog::partial_record, "Partial Record at End of Output",
         Buttons::yes_no, true, Answer::yes},
        {"cut back not given", Dialog::partial_record, "Partial Record at End of Output",
         Buttons::yes_no, false, Answer::no},
        {"another question under a known title", Dialog::close_during_run, "Appending Data",
         Buttons::ok_cancel, true, Answer::cancel},
        {"another yes/no question", Dialog::add_subfolders, "Input Files Will Be Deleted",
         Buttons::yes_no, true, Answer::no},
        {"a message", Dialog::no_output, "Appending Data", Buttons::ok, true, Answer::ok},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const File out(std::tmpfile());
        const File err(std::tmpfile());
        ASSERT_TRUE(out && err);
        ConsoleAnswers answers = row.go_ahead ? answers_that_go_ahead() : ConsoleAnswers{};
        ConsolePort port(answers, out.get(), err.get(), Progress::none, 1);
        EXPECT_EQ(port.message_box({row.dialog, "text", row.title, row.buttons, Icon::question}),
                  row.expected);
    }
}

std::string contents_of(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[256];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file)) {
        text.append(buffer, got);
    }
    return text;
}

// A dry run names the answer it would give by its button's caption.
TEST(console_port, dry_run_names_its_answer_by_the_button_caption) {
    struct Row {
        Dialog dialog;
        Buttons buttons;
        bool go_ahead;
        const char* caption;
    };
    const Row rows[] = {
        {Dialog::appending, Buttons::ok_cancel, true, "OK"},
        {Dialog::appending, Buttons::ok_cancel, false, "Cancel"},
        {Dialog::delete_inputs, Buttons::yes_no, true, "Yes"},
        {Dialog::delete_inputs, Buttons::yes_no, false, "No"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        const File out(std::tmpfile());
        const File err(std::tmpfile());
        ASSERT_TRUE(out && err);
        ConsoleAnswers answers = row.go_ahead ? answers_that_go_ahead() : ConsoleAnswers{};
        answers.dry_run = true;
        ConsolePort port(answers, out.get(), err.get(), Progress::none, 1);
        port.message_box({row.dialog, "text", "Title", row.buttons, Icon::question});
        EXPECT_THAT(contents_of(err.get()),
                    ::testing::HasSubstr(std::string("Dry run, the command line answers: ") +
                                         row.caption + "\n"));
    }
}

TEST(console_port, answers_prompts_by_their_identity_not_their_title) {
    struct Row {
        Dialog dialog;
        std::string title;
        std::string expected;
    };
    const Row rows[] = {
        {Dialog::starting_ssn, "SSN Value?", "7"},
        {Dialog::starting_ssn, "First SSN", "7"},
        {Dialog::sampling_rate, "Missing Sampling Rate", "0.5"},
        {Dialog::sampling_rate, "Sample Interval", "0.5"},
        {Dialog::record_length, "SSN Value?", ""},
        {Dialog::keyword_path, "Missing Sampling Rate", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        const File out(std::tmpfile());
        const File err(std::tmpfile());
        ASSERT_TRUE(out && err);
        ConsolePort port(answers_that_go_ahead(), out.get(), err.get(), Progress::none, 1);
        EXPECT_EQ(port.input_prompt({row.dialog, "prompt", row.title, "1"}), row.expected);
    }
}

}  // namespace
}  // namespace quarvent
