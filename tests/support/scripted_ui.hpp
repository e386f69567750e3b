#pragma once
// A UiPort for tests: records every dialog and window change in order and answers dialogs
// from a queue given up front. A dialog with no answer queued, or of the wrong kind, fails
// the test; so does an answer left over when the double is destroyed.

#include <deque>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "common/ui_port.hpp"
#include "tests/support/enum_printing.hpp"

namespace quarvent::testing {

// One queued answer: a button for a message box, or text for a prompt.
struct Reply {
    static Reply button(Answer answer) { return Reply{answer}; }
    static Reply text(std::string answer) { return Reply{std::move(answer)}; }
    std::variant<Answer, std::string> value;
};

struct Dialog {
    enum class Kind { message_box, prompt };
    Kind kind;
    std::string title;
    std::string text;  // message text, or the prompt
    Buttons buttons = Buttons::ok;
    Icon icon = Icon::none;
    std::string proposed;                                     // prompts only
    quarvent::Dialog identity = quarvent::Dialog::no_output;  // which question or message
    std::string detail{};  // prompts only: the line of our own under the prompt
};

class ScriptedUi : public UiPort {
public:
    ScriptedUi() = default;
    ScriptedUi(std::initializer_list<Reply> replies) : replies_(replies) {}
    ~ScriptedUi() override;

    void queue(Reply reply) { replies_.push_back(std::move(reply)); }
    std::size_t pending_replies() const { return replies_.size(); }
    // Forgets the queued answers (so that the destructor does not complain about them).
    void drop_pending_replies() { replies_.clear(); }

    Answer message_box(const MessageBoxRequest& request) override;
    std::string input_prompt(const PromptRequest& request) override;
    void text1_append(std::string_view text) override;
    void text1_clear() override;
    void set_text1_visible(bool visible) override;
    void set_label3_caption(std::string_view caption) override;
    void set_label3_visible(bool visible) override;
    void list1_select(int index) override;
    void set_mouse_pointer(MousePointer pointer) override;
    bool yield_events() override;

    // What happened.
    const std::vector<Dialog>& dialogs() const { return dialogs_; }
    std::vector<std::string> titles() const;
    const std::string& text1() const { return text1_; }
    bool text1_visible() const { return text1_visible_; }
    const std::string& label3_caption() const { return label3_caption_; }
    bool label3_visible() const { return label3_visible_; }
    int list1_selected() const { return list1_selected_; }
    const std::vector<int>& list1_selections() const { return list1_selections_; }
    MousePointer mouse_pointer() const { return mouse_pointer_; }
    int yields() const { return yields_; }
    int text1_clears() const { return text1_clears_; }

    // Runs at every yield_events call with the call's number (from 1); its result is what
    // yield_events returns.
    std::function<bool(int)> on_yield;

private:
    std::deque<Reply> replies_;
    std::vector<Dialog> dialogs_;
    std::string text1_;
    bool text1_visible_ = true;
    std::string label3_caption_ = "Status Report";
    bool label3_visible_ = true;
    int list1_selected_ = -1;
    std::vector<int> list1_selections_;
    MousePointer mouse_pointer_ = MousePointer::normal;
    int yields_ = 0;
    int text1_clears_ = 0;
};

}  // namespace quarvent::testing
