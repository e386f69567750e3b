#pragma once
// ShellPort on Qt widgets: real message boxes, prompts and file dialogs, the window's menus,
// labels, List1 and Text1, geometry in twips from the screen's logical resolution.
//
// Text conversion: the program's texts are bytes. For display they are read as UTF-8 when
// they are valid UTF-8 (file names on this system are) and as Latin-1 otherwise. Text coming
// back (chosen paths, prompt answers) is encoded the way the file system names files, so a
// chosen path opens the file that was chosen.

#include <QRect>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "qt/file_dialogs.hpp"
#include "shell/shell_port.hpp"

class QWidget;

namespace quarvent {

class QtMainWindow;

QString display_text(std::string_view text);
std::string program_text(const QString& text);

// The title of a message box given none.
inline constexpr std::string_view default_title = "Quarvent";

// Turns a filter list ("Data (*.dat)|*.dat|All Data (*.*)|*.*") into Qt name filters. The
// description is shown as it is; the pattern "*.*" matches every file, as the operator
// expects of "All Data", including names without a dot.
QStringList qt_name_filters(std::string_view filter_list);

class QtShellPort final : public ShellPort {
public:
    // dialogs shows filelog; it must outlive the port.
    QtShellPort(QtMainWindow& window, FileDialogs& dialogs);
    ~QtShellPort() override;

    // Tests route message boxes and prompts to a scripted port; nullptr restores the real
    // ones. The file dialog is the FileDialogs the port was built with.
    void set_dialog_delegate(ShellPort* delegate) { delegate_ = delegate; }
    // Called after the port changed the window's size, so that the window lays itself out.
    std::function<void()> on_size_changed;

    bool program_ended() const { return ended_; }

    // Moves and shrinks the window into the available area of its screen when the position
    // and size it was given (from the settings file) do not fit there. Exit still saves the
    // values it was given until the operator moves or sizes the window.
    void fit_window_into_screen();

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
    double control_left(Control control) const override;
    bool set_control_left(Control control, double twips) override;
    void set_progress_visible(bool visible) override;
    void show_progress(const ProgressView& progress) override;
    void set_status_message(std::string_view text) override;
    void set_status_note(std::string_view text) override;
    void set_kept_files(const std::vector<KeptFile>& kept) override;
    void set_options_in_force(std::string_view text) override;
    WindowRect window_rect_to_save() const override;
    void set_menu_visible(Menu menu, bool visible) override;
    std::string show_trace_display(const TraceDisplayRequest& request) override;
    double window_left() const override;
    double window_top() const override;
    double window_width() const override;
    double window_height() const override;
    void set_window_left(double twips) override;
    void set_window_top(double twips) override;
    void set_window_width(double twips) override;
    void set_window_height(double twips) override;
    double control_width(Control control) const override;
    double control_height(Control control) const override;
    bool set_control_width(Control control, double twips) override;
    bool set_control_height(Control control, double twips) override;
    double twips_per_pixel_x() const override;
    double twips_per_pixel_y() const override;
    void close_window() override;
    void end_program() override;

private:
    // The answer for a QMessageBox::StandardButton pressed in a box with buttons.
    static Answer answer_of(int button, Buttons buttons);
    int to_pixels_x(double twips) const;
    int to_pixels_y(double twips) const;

    QtMainWindow& window_;
    FileDialogs& file_dialogs_;
    ShellPort* delegate_ = nullptr;
    bool hourglass_ = false;
    bool ended_ = false;
    bool pending_cr_ = false;  // Text1 got a carriage return that may start a CR LF
    // What the window was given before it was fitted into the screen, and where fitting put
    // it.
    std::optional<WindowRect> given_rect_;
    QRect fitted_rect_;
};

}  // namespace quarvent
