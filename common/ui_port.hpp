#pragma once
// Everything the portable code asks of a screen goes through UiPort: modal message boxes,
// one-line prompts, the parts of the main window that the conversion run touches, and
// yielding to pending window events. The desktop window, the batch program's console and
// the tests' scripted double each implement it.
//
// Texts are 8-bit, one character per byte (Latin-1); an implementation converts them for
// display.

#include <string>
#include <string_view>

#include "common/enum_names.hpp"

namespace quarvent {

enum class Buttons { ok, ok_cancel, yes_no, yes_no_cancel };
enum class Icon { none, information, exclamation, critical, question };
enum class Answer { ok, cancel, yes, no, retry, ignore, abort };
constexpr std::string_view name_of(Buttons buttons) {
    constexpr auto names =
        enum_names<Buttons::yes_no_cancel>("ok", "ok_cancel", "yes_no", "yes_no_cancel");
    return name_in(names, buttons);
}
constexpr std::string_view name_of(Icon icon) {
    constexpr auto names =
        enum_names<Icon::question>("none", "information", "exclamation", "critical", "question");
    return name_in(names, icon);
}
constexpr std::string_view name_of(Answer answer) {
    constexpr auto names =
        enum_names<Answer::abort>("ok", "cancel", "yes", "no", "retry", "ignore", "abort");
    return name_in(names, answer);
}
enum class MousePointer { normal, hourglass };

// Which question or message a request is. A port that answers without an operator (the batch
// program's console, the fuzz targets) recognises a request by this, never by its wording,
// so that a reworded title or text changes nothing but what is shown.
enum class Dialog {
    // The conversion run
    no_output,              // no output file chosen
    no_input,               // no input file chosen
    input_output_share,     // the output is among the inputs
    files_not_found,        // inputs missing
    appending,              // OK to append to the existing output
    delete_inputs,          // Yes to delete the inputs after their conversion
    output_open_error,      // the output could not be opened
    starting_ssn,           // prompt: the first record's SSN
    ssn_out_of_range,       // the answer to starting_ssn does not fit
    ssn_exhausted,          // the SSN can not advance further
    output_write_error,     // the output could not be written
    pointer_shortage,       // more traces than trace pointers
    cannot_accommodate,     // too many samples for the record after resampling
    interval_too_large,     // the resampled interval does not fit the header
    too_many_samples,       // more samples than the sample format allows
    sampling_rate,          // prompt: the interval for traces that state none
    invalid_sampling_rate,  // the answer to sampling_rate gives no usable interval
    keyword_word_range,     // a keyword entry names a header word that does not exist
    output_not_qex,         // the existing output is not a QEX file (or not a regular file)
    output_in_use,          // another conversion is writing the output
    partial_record,         // Yes to cut the output back to its last whole record
    // The program's window
    settings_missing,      // no settings file at start-up
    keyword_file_missing,  // no keyword file where it is looked for
    keyword_path,          // prompt: where the keyword file is
    keyword_file_error,    // the keyword file does not load
    settings_unwritable,   // Exit could not write the settings
    about_disclaimer,      // the About window's button
    about_credits,         // a click on the About window
    close_during_run,      // Yes to stop the run and close the window
    unexpected_error,      // the file dialog failed
    too_many_files,        // the file dialog dropped names
    record_length,         // prompt: the record length in ms
    add_subfolders,        // Yes to add the recordings in dropped folders' subfolders
    file_error,            // a file could not be opened: retry, skip or give up
    read_only_file,        // a file opened for reading only
    view_not_shown,        // View: no file to show, or it cannot be shown
};

struct MessageBoxRequest {
    Dialog dialog;
    std::string text;
    std::string title;  // empty: the program's default title
    Buttons buttons = Buttons::ok;
    Icon icon = Icon::none;
};

struct PromptRequest {
    Dialog dialog;
    std::string prompt;
    std::string title;
    std::string proposed;  // the proposed answer shown in the box
    // A line of our own shown below the prompt (what the request is about); empty: none.
    std::string detail{};
};

class UiPort {
public:
    virtual ~UiPort() = default;

    // Modal message box; returns the button pressed.
    virtual Answer message_box(const MessageBoxRequest& request) = 0;
    // Modal one-line prompt; returns the text, empty when the operator cancels.
    virtual std::string input_prompt(const PromptRequest& request) = 0;

    // Text1, the status report.
    virtual void text1_append(std::string_view text) = 0;
    virtual void text1_clear() = 0;
    virtual void set_text1_visible(bool visible) = 0;

    // Label3, the caption over the status report.
    virtual void set_label3_caption(std::string_view caption) = 0;
    virtual void set_label3_visible(bool visible) = 0;

    // Selects entry index (0-based) of List1.
    virtual void list1_select(int index) = 0;

    virtual void set_mouse_pointer(MousePointer pointer) = 0;

    // Lets pending window events run. Returns false when the operator has asked for the
    // window to close, so that a run stops after the record it has just written.
    virtual bool yield_events() = 0;

    // The input whose turn is under way, so that messages can name it; empty between turns
    // and after the last one. A window shows the input in List1 and Label3 and ignores it.
    virtual void set_current_input(std::string_view path) { (void)path; }

    // Lets pending window events run while the run checks something before it writes (the
    // walk over the records an existing output holds), without counting as a written
    // record. Returns false when the operator has asked to stop the run or close the window;
    // the run then ends without writing. Without a window there is nothing to do.
    virtual bool keep_responsive() { return true; }
};

// A port without a window: the window calls do nothing and there are no events to wait for.
// What remains to a port built on it is answering the dialogs.
class WindowlessPort : public UiPort {
public:
    void text1_append(std::string_view) override {}
    void text1_clear() override {}
    void set_text1_visible(bool) override {}
    void set_label3_caption(std::string_view) override {}
    void set_label3_visible(bool) override {}
    void list1_select(int) override {}
    void set_mouse_pointer(MousePointer) override {}
    bool yield_events() override { return true; }
};

}  // namespace quarvent
