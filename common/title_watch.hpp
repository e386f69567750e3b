#pragma once
// A port that passes every call on to another and remembers the title of the last dialog it
// passed, so that a run that ended at a check can say which check it was.

#include <string>
#include <string_view>

#include "common/ui_port.hpp"

namespace quarvent {

class TitleWatch final : public UiPort {
public:
    // Which dialogs set the title: message boxes only, or the input prompts too (a cancelled
    // prompt also ends a run).
    enum class Counts { message_boxes, message_boxes_and_prompts };

    explicit TitleWatch(UiPort& ui, Counts counts = Counts::message_boxes)
        : ui_(ui), counts_(counts) {}

    Answer message_box(const MessageBoxRequest& request) override {
        last_title_ = request.title;
        return ui_.message_box(request);
    }
    std::string input_prompt(const PromptRequest& request) override {
        if (counts_ == Counts::message_boxes_and_prompts) last_title_ = request.title;
        return ui_.input_prompt(request);
    }
    void text1_append(std::string_view text) override { ui_.text1_append(text); }
    void text1_clear() override { ui_.text1_clear(); }
    void set_text1_visible(bool visible) override { ui_.set_text1_visible(visible); }
    void set_label3_caption(std::string_view caption) override { ui_.set_label3_caption(caption); }
    void set_label3_visible(bool visible) override { ui_.set_label3_visible(visible); }
    void list1_select(int index) override { ui_.list1_select(index); }
    void set_mouse_pointer(MousePointer pointer) override { ui_.set_mouse_pointer(pointer); }
    bool yield_events() override { return ui_.yield_events(); }
    void set_current_input(std::string_view path) override { ui_.set_current_input(path); }
    bool keep_responsive() override { return ui_.keep_responsive(); }

    const std::string& last_title() const { return last_title_; }

private:
    UiPort& ui_;
    Counts counts_;
    std::string last_title_;
};

}  // namespace quarvent
