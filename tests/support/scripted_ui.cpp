#include "tests/support/scripted_ui.hpp"

#include <gtest/gtest.h>

namespace quarvent::testing {

ScriptedUi::~ScriptedUi() {
    if (!replies_.empty()) {
        ADD_FAILURE() << "ScriptedUi: " << replies_.size() << " answer(s) were never asked for";
    }
}

Answer ScriptedUi::message_box(const MessageBoxRequest& request) {
    dialogs_.push_back({Dialog::Kind::message_box,
                        request.title,
                        request.text,
                        request.buttons,
                        request.icon,
                        {},
                        request.dialog});
    if (replies_.empty()) {
        ADD_FAILURE() << "unexpected message box \"" << request.title << "\": " << request.text;
        return request.buttons == Buttons::yes_no || request.buttons == Buttons::yes_no_cancel
                   ? Answer::no
                   : Answer::cancel;
    }
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    if (const auto* answer = std::get_if<Answer>(&reply.value)) return *answer;
    ADD_FAILURE() << "message box \"" << request.title << "\" got a text answer";
    return Answer::cancel;
}

std::string ScriptedUi::input_prompt(const PromptRequest& request) {
    dialogs_.push_back({Dialog::Kind::prompt, request.title, request.prompt, Buttons::ok_cancel,
                        Icon::none, request.proposed, request.dialog, request.detail});
    if (replies_.empty()) {
        ADD_FAILURE() << "unexpected prompt \"" << request.title << "\": " << request.prompt;
        return {};
    }
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    if (const auto* text = std::get_if<std::string>(&reply.value)) return *text;
    ADD_FAILURE() << "prompt \"" << request.title << "\" got a button answer";
    return {};
}

void ScriptedUi::text1_append(std::string_view text) { text1_ += text; }
void ScriptedUi::text1_clear() {
    text1_.clear();
    ++text1_clears_;
}
void ScriptedUi::set_text1_visible(bool visible) { text1_visible_ = visible; }
void ScriptedUi::set_label3_caption(std::string_view caption) { label3_caption_ = caption; }
void ScriptedUi::set_label3_visible(bool visible) { label3_visible_ = visible; }
void ScriptedUi::list1_select(int index) {
    list1_selected_ = index;
    list1_selections_.push_back(index);
}
void ScriptedUi::set_mouse_pointer(MousePointer pointer) { mouse_pointer_ = pointer; }

bool ScriptedUi::yield_events() {
    ++yields_;
    return on_yield ? on_yield(yields_) : true;
}

std::vector<std::string> ScriptedUi::titles() const {
    std::vector<std::string> result;
    for (const auto& dialog : dialogs_) result.push_back(dialog.title);
    return result;
}

}  // namespace quarvent::testing
