#pragma once
// A ShellPort for tests: the window as plain state (menus, labels, List1, geometry) and the
// dialogs scripted. Message boxes and prompts go to an inner ScriptedUi with its answer
// queue; file dialog outcomes come from a queue of their own. A file dialog with no outcome
// queued fails the test, and so does an outcome left over at the end.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "shell/shell_port.hpp"
#include "tests/support/scripted_ui.hpp"

namespace quarvent::testing {

class ScriptedShellUi : public ShellPort {
public:
    ScriptedShellUi();
    ScriptedShellUi(std::initializer_list<Reply> replies);
    ~ScriptedShellUi() override;

    // Message boxes, prompts, Text1, Label3, selections and yields as ScriptedUi saw them.
    ScriptedUi& ui() { return ui_; }
    const ScriptedUi& ui() const { return ui_; }
    void queue(Reply reply) { ui_.queue(std::move(reply)); }

    // The file dialog.
    struct FilelogCall {
        FileDialogMode mode;
        FileDialogSettings settings;  // as they stood when it was shown
    };
    void queue_filelog(FileDialogResult result) { filelog_results_.push_back(std::move(result)); }
    // names_lost: the dialog reports that it could not return every chosen name.
    static FileDialogResult chosen(std::string text, std::string directory,
                                   bool names_lost = false);
    static FileDialogResult cancelled();
    static FileDialogResult failed(std::string error_text);
    const std::vector<FilelogCall>& filelog_calls() const { return filelog_calls_; }

    // Trace displays asked for, and what the next ones answer (empty: opened).
    struct TraceDisplayCall {
        std::string title;
        std::uint64_t first;
        std::uint64_t last;
        const HeaderStringReceiver* receiver;
    };
    const std::vector<TraceDisplayCall>& trace_displays() const { return trace_displays_; }
    std::string trace_display_answer;

    // Runs after every change of the window's width or height (tests connect Form_Resize).
    std::function<void()> on_resize;
    // Runs at every yield_events call with the call's number; its result is what
    // yield_events returns (together with "the program has not ended").
    std::function<bool(int)>& on_yield() { return ui_.on_yield; }

    std::vector<std::string> list1_items() const { return list1_; }
    int close_window_calls() const { return close_window_calls_; }
    bool progress_visible() const { return progress_visible_; }
    // Every view the progress panel was given, in order.
    const std::vector<ProgressView>& progress_shown() const { return progress_; }
    const std::string& status_message() const { return status_message_; }
    const std::string& status_note() const { return status_note_; }
    const std::vector<KeptFile>& kept_files() const { return kept_files_; }
    const std::string& options_in_force() const { return options_in_force_; }
    bool menu_visible(Menu menu) const { return visible_.at(static_cast<std::size_t>(menu)); }
    bool program_ended() const { return program_ended_; }

    // UiPort
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

    // ShellPort
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
    double window_left() const override { return left_; }
    double window_top() const override { return top_; }
    double window_width() const override { return width_; }
    double window_height() const override { return height_; }
    void set_window_left(double twips) override { left_ = twips; }
    void set_window_top(double twips) override { top_ = twips; }
    void set_window_width(double twips) override;
    void set_window_height(double twips) override;
    double control_width(Control control) const override;
    double control_height(Control control) const override;
    bool set_control_width(Control control, double twips) override;
    bool set_control_height(Control control, double twips) override;
    double control_left(Control control) const override;
    bool set_control_left(Control control, double twips) override;
    void set_progress_visible(bool visible) override { progress_visible_ = visible; }
    void show_progress(const ProgressView& progress) override { progress_.push_back(progress); }
    void set_status_message(std::string_view text) override { status_message_ = text; }
    void set_status_note(std::string_view text) override { status_note_ = text; }
    void set_kept_files(const std::vector<KeptFile>& kept) override { kept_files_ = kept; }
    void set_options_in_force(std::string_view text) override { options_in_force_ = text; }
    void set_menu_visible(Menu menu, bool visible) override;
    std::string show_trace_display(const TraceDisplayRequest& request) override {
        trace_displays_.push_back({request.title, request.first, request.last, request.receiver});
        return trace_display_answer;
    }
    double twips_per_pixel_x() const override { return 15; }
    double twips_per_pixel_y() const override { return 15; }
    void close_window() override { ++close_window_calls_; }
    void end_program() override { program_ended_ = true; }

private:
    struct Size {
        double width;
        double height;
    };
    Size& size_of(Control control);
    const Size& size_of(Control control) const;

    ScriptedUi ui_;
    std::deque<FileDialogResult> filelog_results_;
    std::vector<FilelogCall> filelog_calls_;
    std::array<std::string, menu_count> captions_;
    std::array<bool, menu_count> checked_{};
    std::array<bool, menu_count> enabled_{};
    std::string label1_ = "Input Files";
    std::string label2_ = "OutPut File:";
    std::vector<std::string> list1_;
    int list1_selected_ = -1;
    double left_ = 0;
    double top_ = 0;
    double width_ = 7800;
    double height_ = 5400;
    std::array<Size, 5> sizes_{};
    std::array<double, 5> lefts_{};
    std::array<bool, menu_count> visible_{};
    bool progress_visible_ = false;
    std::vector<ProgressView> progress_;
    std::string status_message_;
    std::string status_note_;
    std::vector<KeptFile> kept_files_;
    std::string options_in_force_;
    std::vector<TraceDisplayCall> trace_displays_;
    int close_window_calls_ = 0;
    bool program_ended_ = false;
};

}  // namespace quarvent::testing
