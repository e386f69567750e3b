#include "shell/about.hpp"

#include <array>

#include "common/numbers.hpp"

namespace quarvent {

namespace {

constexpr std::array<std::string_view, 6> disclaimer_lines = {
    "Quarvent is provided as it is, without warranty of any kind.",
    "Its makers do not guarantee that it is free from errors or",
    "inaccuracies, and they disclaim any responsibility or liability",
    "for interpretations based on data processed using Quarvent,",
    "or for decisions based thereon.",
    "Check converted data before you rely on it.",
};

constexpr std::array<std::string_view, 2> credit_lines = {
    "SEG-2 to QEX trace converter",
    "Written by the Quarvent developers",
};

}  // namespace

std::string about_disclaimer_text() {
    std::string text;
    for (const auto line : disclaimer_lines) {
        text += line;
        text += line_break;
    }
    return text;
}

std::string about_credits_text(std::string_view title) {
    std::string text(title);
    for (const auto line : credit_lines) {
        text += line_break;
        text += line;
    }
    return text;
}

About::About(AboutWindowPort& window, UiPort& ui, std::string system_dir)
    : window_(window), ui_(ui), system_dir_(std::move(system_dir)) {}

void About::Form_Load() {
    if (window_.load_picture(system_dir_ + std::string(about_picture_name)) ==
        PictureLoad::not_found) {
        // A picture that exists but cannot be shown is not looked for elsewhere.
        (void)window_.load_picture(std::string(about_picture_name));
    }

    const double tx = window_.twips_per_pixel_x();
    const double ty = window_.twips_per_pixel_y();
    const double frame_width = window_.outer_width() - window_.client_width();
    const double frame_height = window_.outer_height() - window_.client_height();
    window_.set_outer_size(about_client_width_px * tx + frame_width,
                           about_client_height_px * ty + frame_height);

    window_.set_command1_top(window_.client_height() - window_.command1_height());
}

void About::Command1_Click() {
    ui_.message_box(
        {Dialog::about_disclaimer, about_disclaimer_text(), "", Buttons::ok, Icon::none});
    window_.unload();
}

void About::Form_Click() {
    ui_.message_box({Dialog::about_credits, about_credits_text(window_.title()),
                     std::string(about_credits_title), Buttons::ok, Icon::information});
}

void show_about(AboutWindowFactory& windows, UiPort& ui, const WindowRect& main_window,
                const std::string& system_dir) {
    std::unique_ptr<AboutWindowPort> window = windows.load_about();
    if (!window) return;
    About about(*window, ui, system_dir);
    about.Form_Load();
    window->set_position(main_window.left + (main_window.width - window->outer_width()) / 2,
                         main_window.top + (main_window.height - window->outer_height()) / 2);
    window->set_title(about_title);
    window->show_modal(about);
    window->unload();
}

}  // namespace quarvent
