#include "tests/support/scripted_shell_ui.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace quarvent::testing {

namespace {

std::size_t index_of(Menu menu) { return static_cast<std::size_t>(menu); }

}  // namespace

ScriptedShellUi::ScriptedShellUi() {
    // The window as designed.
    const std::pair<Menu, const char*> captions[] = {
        {Menu::filemenu, "Files"},
        {Menu::fileopen, "Select &Inputs"},
        {Menu::fileoutput, "&Output "},
        {Menu::fileclear, "&Clear List"},
        {Menu::filesep, "-"},
        {Menu::fileexit, "E&xit"},
        {Menu::segoptions, "&Options"},
        {Menu::optresamp, "Resample"},
        {Menu::resamp1_1, "1:1"},
        {Menu::resamp1_2, "2:1"},
        {Menu::resamp1_4, "4:1"},
        {Menu::optiondelete, "Delete Input Files"},
        {Menu::optionshorten, "Adjust Record Length"},
        {Menu::convert, "&Convert"},
        {Menu::help, "&Help"},
        {Menu::helpcontent, "&Contents"},
        {Menu::fileabout, "&About"},
        {Menu::convertstop, "&Stop"},
        {Menu::optionremember, "Remember Delete Input Files"},
        {Menu::viewmenu, "&View"},
        {Menu::viewinput, "&Input File"},
        {Menu::viewoutput, "O&utput File"},
        {Menu::optionfresh, "Fresh Header for Each File"},
        {Menu::filesavelog, "Save Status &Log\u2026"},
        {Menu::optionrunlog, "Write Run Log Beside Output"},
    };
    for (const auto& [menu, caption] : captions) captions_[index_of(menu)] = caption;
    enabled_.fill(true);
    visible_.fill(true);
    visible_[index_of(Menu::convertstop)] = false;
    enabled_[index_of(Menu::convertstop)] = false;
    lefts_ = {120, 1440, 3120, 120, 3120};  // Label1, Label2, Label3, List1, Text1
    checked_[index_of(Menu::resamp1_1)] = true;
    size_of(Control::Label1) = {1092, 252};
    size_of(Control::Label2) = {3732, 492};
    size_of(Control::Label3) = {4212, 252};
    size_of(Control::List1) = {2892, 2955};
    size_of(Control::Text1) = {2052, 3132};
}

ScriptedShellUi::ScriptedShellUi(std::initializer_list<Reply> replies) : ScriptedShellUi() {
    for (const auto& reply : replies) ui_.queue(reply);
}

ScriptedShellUi::~ScriptedShellUi() {
    if (!filelog_results_.empty()) {
        ADD_FAILURE() << "ScriptedShellUi: " << filelog_results_.size()
                      << " file dialog outcome(s) were never asked for";
    }
}

FileDialogResult ScriptedShellUi::chosen(std::string text, std::string directory, bool names_lost) {
    return {
        FileDialogResult::Outcome::chosen, std::move(text), std::move(directory), {}, names_lost};
}
FileDialogResult ScriptedShellUi::cancelled() {
    return {FileDialogResult::Outcome::cancelled, {}, {}, {}, false};
}
FileDialogResult ScriptedShellUi::failed(std::string error_text) {
    return {FileDialogResult::Outcome::failed, {}, {}, std::move(error_text), false};
}

Answer ScriptedShellUi::message_box(const MessageBoxRequest& request) {
    return ui_.message_box(request);
}
std::string ScriptedShellUi::input_prompt(const PromptRequest& request) {
    return ui_.input_prompt(request);
}
void ScriptedShellUi::text1_append(std::string_view text) { ui_.text1_append(text); }
void ScriptedShellUi::text1_clear() { ui_.text1_clear(); }
void ScriptedShellUi::set_text1_visible(bool visible) { ui_.set_text1_visible(visible); }
void ScriptedShellUi::set_label3_caption(std::string_view caption) {
    ui_.set_label3_caption(caption);
}
void ScriptedShellUi::set_label3_visible(bool visible) { ui_.set_label3_visible(visible); }
void ScriptedShellUi::list1_select(int index) {
    ui_.list1_select(index);
    list1_selected_ = index >= 0 && index < list1_count() ? index : -1;
}
void ScriptedShellUi::set_mouse_pointer(MousePointer pointer) { ui_.set_mouse_pointer(pointer); }
bool ScriptedShellUi::yield_events() {
    const bool go_on = ui_.yield_events();
    return go_on && !program_ended_;
}

FileDialogResult ScriptedShellUi::filelog_show(FileDialogMode mode, FileDialogSettings& settings) {
    filelog_calls_.push_back({mode, settings});
    if (filelog_results_.empty()) {
        ADD_FAILURE() << "unexpected file dialog \"" << settings.title << "\"";
        return cancelled();
    }
    FileDialogResult result = std::move(filelog_results_.front());
    filelog_results_.pop_front();
    return result;
}

void ScriptedShellUi::set_menu_caption(Menu menu, std::string_view caption) {
    captions_.at(index_of(menu)) = caption;
}
std::string ScriptedShellUi::menu_caption(Menu menu) const { return captions_.at(index_of(menu)); }
void ScriptedShellUi::set_menu_checked(Menu menu, bool checked) {
    checked_.at(index_of(menu)) = checked;
}
bool ScriptedShellUi::menu_checked(Menu menu) const { return checked_.at(index_of(menu)); }
void ScriptedShellUi::set_menu_enabled(Menu menu, bool enabled) {
    enabled_.at(index_of(menu)) = enabled;
}
bool ScriptedShellUi::menu_enabled(Menu menu) const { return enabled_.at(index_of(menu)); }

void ScriptedShellUi::set_label_caption(Control label, std::string_view caption) {
    switch (label) {
        case Control::Label1:
            label1_ = caption;
            break;
        case Control::Label2:
            label2_ = caption;
            break;
        case Control::Label3:
            ui_.set_label3_caption(caption);
            break;
        default:
            ADD_FAILURE() << "set_label_caption on a control that is not a label";
    }
}
std::string ScriptedShellUi::label_caption(Control label) const {
    switch (label) {
        case Control::Label1:
            return label1_;
        case Control::Label2:
            return label2_;
        case Control::Label3:
            return ui_.label3_caption();
        default:
            return {};
    }
}

void ScriptedShellUi::list1_add(std::string_view item) { list1_.emplace_back(item); }
void ScriptedShellUi::list1_remove(int index) {
    if (index < 0 || index >= list1_count()) {
        ADD_FAILURE() << "list1_remove(" << index << ") on a list of " << list1_count();
        return;
    }
    list1_.erase(list1_.begin() + index);
    // Like a list box: removing the selected item leaves nothing selected.
    if (list1_selected_ == index) {
        list1_selected_ = -1;
    } else if (list1_selected_ > index) {
        --list1_selected_;
    }
}
void ScriptedShellUi::list1_clear() {
    list1_.clear();
    list1_selected_ = -1;
}
int ScriptedShellUi::list1_count() const { return static_cast<int>(list1_.size()); }
std::string ScriptedShellUi::list1_item(int index) const {
    if (index < 0 || index >= list1_count()) return {};
    return list1_[static_cast<std::size_t>(index)];
}
int ScriptedShellUi::list1_selected() const { return list1_selected_; }
std::vector<int> ScriptedShellUi::list1_selection() const {
    if (list1_selected_ < 0) return {};
    return {list1_selected_};
}
double ScriptedShellUi::control_left(Control control) const {
    return lefts_.at(static_cast<std::size_t>(control));
}
bool ScriptedShellUi::set_control_left(Control control, double twips) {
    if (!std::isfinite(twips)) return false;
    lefts_.at(static_cast<std::size_t>(control)) = twips;
    return true;
}
void ScriptedShellUi::set_menu_visible(Menu menu, bool visible) {
    visible_.at(index_of(menu)) = visible;
}

void ScriptedShellUi::set_window_width(double twips) {
    width_ = twips;
    if (on_resize) on_resize();
}
void ScriptedShellUi::set_window_height(double twips) {
    height_ = twips;
    if (on_resize) on_resize();
}

ScriptedShellUi::Size& ScriptedShellUi::size_of(Control control) {
    return sizes_.at(static_cast<std::size_t>(control));
}
const ScriptedShellUi::Size& ScriptedShellUi::size_of(Control control) const {
    return sizes_.at(static_cast<std::size_t>(control));
}
double ScriptedShellUi::control_width(Control control) const { return size_of(control).width; }
double ScriptedShellUi::control_height(Control control) const { return size_of(control).height; }
bool ScriptedShellUi::set_control_width(Control control, double twips) {
    if (!(twips >= 0)) return false;
    size_of(control).width = twips;
    return true;
}
bool ScriptedShellUi::set_control_height(Control control, double twips) {
    if (!(twips >= 0)) return false;
    size_of(control).height = twips;
    return true;
}

}  // namespace quarvent::testing
