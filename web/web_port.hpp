#pragma once
// The shell's port in a web page: the window's state is kept here, as the shell reads it back,
// and every change is handed to the page's script (web_port.js), which draws it. Questions,
// prompts, the file dialog and yields wait for the page: the build uses Asyncify, so that the
// engine's synchronous calls suspend while the page's event loop runs.
//
// Texts go to the page as bytes (Latin-1 messages, UTF-8 paths); the page decodes them.

#include <array>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "shell/help.hpp"
#include "shell/preferences.hpp"
#include "shell/shell_port.hpp"

namespace quarvent {

class WebShellPort final : public ShellPort {
public:
    WebShellPort();

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

    FileDialogResult filelog_show(FileDialogMode mode, FileDialogSettings& settings) override;
    void set_menu_caption(Menu menu, std::string_view caption) override;
    std::string menu_caption(Menu menu) const override;
    void set_menu_checked(Menu menu, bool checked) override;
    bool menu_checked(Menu menu) const override;
    void set_menu_enabled(Menu menu, bool enabled) override;
    bool menu_enabled(Menu menu) const override;
    void set_label_caption(Control label, std::string_view caption) override;
    std::string label_caption(Control label) const override;
    void list1_add(std::string_view item) override;
    void list1_remove(int index) override;
    void list1_clear() override;
    int list1_count() const override;
    std::string list1_item(int index) const override;
    int list1_selected() const override;
    std::vector<int> list1_selection() const override;
    double window_left() const override { return window_[0]; }
    double window_top() const override { return window_[1]; }
    double window_width() const override { return window_[2]; }
    double window_height() const override { return window_[3]; }
    void set_window_left(double twips) override { window_[0] = twips; }
    void set_window_top(double twips) override { window_[1] = twips; }
    void set_window_width(double twips) override { window_[2] = twips; }
    void set_window_height(double twips) override { window_[3] = twips; }
    double control_width(Control control) const override;
    double control_height(Control control) const override;
    bool set_control_width(Control control, double twips) override;
    bool set_control_height(Control control, double twips) override;
    double control_left(Control control) const override;
    bool set_control_left(Control control, double twips) override;
    void set_progress_visible(bool visible) override;
    void show_progress(const ProgressView& progress) override;
    void set_status_message(std::string_view text) override;
    void set_status_note(std::string_view text) override;
    void set_menu_visible(Menu menu, bool visible) override;
    std::string show_trace_display(const TraceDisplayRequest& request) override;
    double twips_per_pixel_x() const override { return twips_per_pixel; }
    double twips_per_pixel_y() const override { return twips_per_pixel; }
    void close_window() override;
    void end_program() override;

    // The operator clicked item index of List1; additive keeps the other selected items
    // (Ctrl), range selects from the last clicked item (Shift).
    void list1_click(int index, bool additive, bool range);
    bool ended() const { return ended_; }

    // The page draws at 96 dots per inch.
    static constexpr double twips_per_pixel = 15;

private:
    struct Geometry {
        double left = 0;
        double width = 0;
        double height = 0;
    };
    void send_selection() const;

    std::array<std::string, menu_count> captions_;
    std::array<bool, menu_count> checked_{};
    std::array<bool, menu_count> enabled_{};
    std::array<std::string, 3> labels_;
    std::array<Geometry, 5> controls_;
    std::array<double, 4> window_{1200, 1200, 9600, 6600};
    std::vector<std::string> items_;
    std::set<int> selected_;
    int anchor_ = -1;
    bool ended_ = false;
    double last_yield_ms_ = 0;
};

// Remembered choices in the browser's local storage, under "quarvent/" and the key.
class WebPreferences final : public PreferenceStore {
public:
    std::optional<std::string> value(std::string_view key) const override;
    void set_value(std::string_view key, std::string_view value) override;
    void remove(std::string_view key) override;
};

// The help file, built into the page, shown in a panel of it.
class WebHelpViewer final : public HelpViewer {
public:
    void show_contents(const std::string& help_file) override;
    void show_topic(const std::string& help_file, int context) override;
    void quit(const std::string& help_file) override;
};

}  // namespace quarvent
