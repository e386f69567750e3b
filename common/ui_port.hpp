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

namespace quarvent {

enum class Buttons { ok, ok_cancel, yes_no, yes_no_cancel };
enum class Icon { none, information, exclamation, critical, question };
enum class Answer { ok, cancel, yes, no, retry, ignore, abort };
enum class MousePointer { normal, hourglass };

struct MessageBoxRequest {
    std::string text;
    std::string title;  // empty: the program's default title
    Buttons buttons = Buttons::ok;
    Icon icon = Icon::none;
};

struct PromptRequest {
    std::string prompt;
    std::string title;
    std::string proposed;  // the proposed answer shown in the box
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
