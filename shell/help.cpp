#include "shell/help.hpp"

#include <array>

namespace quarvent {

namespace {

constexpr std::array<HelpContextEntry, 11> contexts = {{
    {"filemenu", help_context::filemenu},
    {"segoptions", help_context::segoptions},
    {"optresamp", help_context::optresamp},
    {"optiondelete", help_context::optiondelete},
    {"optionshorten", help_context::optionshorten},
    {"optionfresh", help_context::optionfresh},
    {"convert", help_context::convert},
    {"viewmenu", help_context::viewmenu},
    {"help", help_context::help},
    {"List1", help_context::List1},
    {"Text1", help_context::Text1},
}};

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

std::span<const HelpContextEntry> help_contexts() { return contexts; }

std::optional<int> help_context_of(std::string_view object_name) {
    for (const auto& entry : contexts) {
        if (entry.object_name == object_name) return entry.context;
    }
    return std::nullopt;
}

std::string help_topic_anchor(int context) { return "context" + std::to_string(context); }

std::string help_file_path_in(std::string_view program_dir) {
    std::string path(program_dir);
    const std::string_view trimmed = trim_blanks(program_dir);
    // With no directory known the name alone is used, rather than the file system's root.
    if (!path.empty() && (trimmed.empty() || trimmed.back() != '/')) path.push_back('/');
    path += help_file_name;
    return path;
}

void Help::set_up_help(HelpViewer& viewer, std::string_view program_dir) {
    viewer_ = &viewer;
    help_file_path_ = help_file_path_in(program_dir);
}

void Help::show_help_contents() {
    if (viewer_ != nullptr) viewer_->show_contents(help_file_path_);
}

void Help::show_help_topic(int context) {
    if (viewer_ != nullptr) viewer_->show_topic(help_file_path_, context);
}

void Help::close_help() {
    if (viewer_ != nullptr) viewer_->quit(help_file_path_);
}

}  // namespace quarvent
