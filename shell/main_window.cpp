#include "shell/main_window.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

#include "common/numbers.hpp"
#include "engine/conversion_run.hpp"

namespace quarvent {

namespace {

constexpr std::string_view input_filter =
    "Data (*.dat)|*.dat|Raw Data (*.raw)|*.raw|All Data (*.*)|*.*";
constexpr std::string_view output_filter = "Data (*.dat)|*.dat|All Data (*.*)|*.*";
constexpr std::string_view error_title = "Quarvent ERROR";
constexpr std::string_view shorten_caption = "Adjust Record Length";

// The layout's margins in twips: beside and below the status report.
constexpr double text1_right_margin_twips = 350;
constexpr double text1_bottom_margin_twips = 1300;

// The port as the conversion run sees it: the window itself, except that a close asked for
// during the run stops the run after its current record.
class RunPort final : public UiPort {
public:
    RunPort(ShellPort& port, const bool& close_requested)
        : port_(port), close_requested_(close_requested) {}

    Answer message_box(const MessageBoxRequest& request) override {
        return port_.message_box(request);
    }
    std::string input_prompt(const PromptRequest& request) override {
        return port_.input_prompt(request);
    }
    void text1_append(std::string_view text) override { port_.text1_append(text); }
    void text1_clear() override { port_.text1_clear(); }
    void set_text1_visible(bool visible) override { port_.set_text1_visible(visible); }
    void set_label3_caption(std::string_view caption) override {
        port_.set_label3_caption(caption);
    }
    void set_label3_visible(bool visible) override { port_.set_label3_visible(visible); }
    void list1_select(int index) override { port_.list1_select(index); }
    void set_mouse_pointer(MousePointer pointer) override { port_.set_mouse_pointer(pointer); }
    bool yield_events() override {
        if (close_requested_) return false;
        return port_.yield_events() && !close_requested_;
    }

private:
    ShellPort& port_;
    const bool& close_requested_;
};

std::vector<std::string> split_at_nul(const std::string& text) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find('\0', start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

// The folder that holds path: everything before its last separator ("/" for a file in the
// root). Empty when the path names no folder.
std::string folder_of(std::string_view path) {
    const auto end = path.rfind(path_separator);
    if (end == std::string_view::npos) return {};
    return std::string(path.substr(0, end == 0 ? 1 : end));
}

// The folder in which the operator made the choice: the one that holds the (first) chosen
// file, which is not the folder the dialog showed when a path into another one was typed.
// A choice of nothing keeps the folder the dialog reports.
std::string chosen_folder(const FileDialogResult& result, const std::vector<std::string>& parts) {
    std::string folder;
    if (parts.size() == 1) {
        folder = folder_of(parts.front());
    } else if (parts.size() > 1) {
        const auto first = std::find_if(parts.begin() + 1, parts.end(),
                                        [](const std::string& name) { return !name.empty(); });
        folder = first == parts.end() ? parts.front() : folder_of(join_path(parts.front(), *first));
    }
    return folder.empty() ? result.directory : folder;
}

// A record end beyond a 32-bit real's range becomes an infinity of its sign rather than an
// undefined conversion; the run refuses a record length it cannot hold.
float to_record_end_ms(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    if (value > largest) return std::numeric_limits<float>::infinity();
    if (value < -largest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

std::string unexpected_error_text(const std::string& error_text) {
    std::string text = "Unexpected error";
    text += line_break;
    text += error_text;
    return text;
}

}  // namespace

MainWindow::MainWindow(ShellPort& port)
    : header_strings(std::make_unique<IgnoreHeaderStrings>()), port_(port), log_(port) {}

MainWindow::~MainWindow() = default;

void MainWindow::set_option_defaults() {
    options = ConversionOptions{};
    set_resample(1);
    port_.set_menu_checked(Menu::optiondelete, options.delete_inputs);
    port_.set_menu_caption(Menu::optionshorten, shorten_caption);
}

bool MainWindow::Form_QueryUnload() {
    if (running_) {
        close_requested_ = true;
        return false;
    }
    close_requested_ = false;
    return true;
}

void MainWindow::Form_Resize() {
    // A size that would be negative (the window is too small) is skipped, and the next
    // step is still done.
    const double text1_width =
        port_.window_width() - port_.control_width(Control::List1) - text1_right_margin_twips;
    if (text1_width >= 0) port_.set_control_width(Control::Text1, text1_width);
    const double text1_height = port_.window_height() - text1_bottom_margin_twips;
    if (text1_height >= 0) port_.set_control_height(Control::Text1, text1_height);
    port_.set_control_height(Control::List1, port_.control_height(Control::Text1));
}

FileDialogSettings& MainWindow::prepare_filelog(const std::string& directory,
                                                std::string_view filter, std::string_view title) {
    FileDialogSettings& dialog = port_.filelog;
    dialog.initial_dir = directory;
    dialog.filter = filter;
    dialog.title = title;
    dialog.filter_index = 1;
    dialog.default_ext = "dat";
    return dialog;
}

std::optional<FileDialogResult> MainWindow::show_filelog(FileDialogMode mode) {
    FileDialogResult result = port_.filelog_show(mode);
    switch (result.outcome) {
        case FileDialogResult::Outcome::cancelled:
            return std::nullopt;
        case FileDialogResult::Outcome::failed:
            (void)port_.message_box({unexpected_error_text(result.error_text),
                                     std::string(error_title), Buttons::ok, Icon::none});
            port_.filelog.file_name.clear();
            return std::nullopt;
        case FileDialogResult::Outcome::chosen:
            break;
    }
    return result;
}

void MainWindow::fileopen_Click() {
    if (running_) return;
    FileDialogSettings& dialog =
        prepare_filelog(last_input_dir, input_filter, "Quarvent File OPEN");
    dialog.file_name = " ";
    // Its options are these two alone: the read-only box hidden at start-up shows again.
    dialog.explorer = true;
    dialog.multi_select = true;
    dialog.hide_read_only = false;

    const auto chosen = show_filelog(FileDialogMode::open);
    if (!chosen) return;
    const FileDialogResult& result = *chosen;
    const std::vector<std::string> parts =
        result.text.empty() ? std::vector<std::string>{} : split_at_nul(result.text);
    last_input_dir = chosen_folder(result, parts);
    if (result.text.empty()) return;

    // The warning says that chosen files may be missing from the list, so it comes only when
    // the dialog reports that it dropped names; a long text alone loses nothing.
    if (result.names_lost) {
        std::string text;
        for (std::string_view line : {"Due to an uncorrectable flaw in the File dialog",
                                      "box, all of the files you have choosen may not",
                                      "be in the listing. To select more files please ",
                                      "reselect the INPUT FILES menu item and start selecting",
                                      "files where they left off."}) {
            if (!text.empty()) text += line_break;
            text += line;
        }
        (void)port_.message_box(
            {std::move(text), "QUARVENT TOO MANY FILES AT ONCE", Buttons::ok, Icon::information});
    }

    if (parts.size() == 1) {
        port_.list1_add(parts.front());
        return;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        // An empty name would add the directory itself as an input file.
        if (parts[i].empty()) continue;
        port_.list1_add(join_path(parts.front(), parts[i]));
    }
}

void MainWindow::fileoutput_Click() {
    if (running_) return;
    prepare_filelog(last_output_dir, output_filter, "QUARVENT Output File Name").file_name.clear();

    const auto chosen = show_filelog(FileDialogMode::save);
    if (!chosen) return;
    const FileDialogResult& result = *chosen;
    if (!result.text.empty()) output_file_name = result.text;
    port_.set_label_caption(Control::Label2, "Output file: " + output_file_name);
    last_output_dir = chosen_folder(
        result, result.text.empty() ? std::vector<std::string>{} : std::vector{result.text});
}

void MainWindow::fileclear_Click() {
    if (running_) return;
    port_.list1_clear();
}

void MainWindow::set_resample(std::int16_t factor) {
    options.resample_factor = factor;
    port_.set_menu_checked(Menu::resamp1_1, factor == 1);
    port_.set_menu_checked(Menu::resamp1_2, factor == 2);
    port_.set_menu_checked(Menu::resamp1_4, factor == 4);
}

void MainWindow::resamp1_1_Click() {
    if (!running_) set_resample(1);
}
void MainWindow::resamp1_2_Click() {
    if (!running_) set_resample(2);
}
void MainWindow::resamp1_4_Click() {
    if (!running_) set_resample(4);
}

void MainWindow::optiondelete_Click() {
    if (running_) return;
    options.delete_inputs = !options.delete_inputs;
    port_.set_menu_checked(Menu::optiondelete, options.delete_inputs);
}

void MainWindow::optionshorten_Click() {
    if (running_) return;
    const std::string answer = port_.input_prompt(
        {"Enter ending time(ms) of records. 0=original", "Modify Record Length", "0"});
    options.record_end_ms = to_record_end_ms(read_number(answer));
    if (options.record_end_ms != 0) {
        port_.set_menu_caption(Menu::optionshorten,
                               "Adjusted Length = " + number_text(options.record_end_ms) + " ms");
    } else {
        port_.set_menu_caption(Menu::optionshorten, shorten_caption);
    }
}

void MainWindow::List1_KeyDown(int key_code) {
    if (key_code == key_delete) remove_selected_input();
}

void MainWindow::List1_MouseDown(MouseButton button) {
    if (button == MouseButton::right) remove_selected_input();
}

void MainWindow::remove_selected_input() {
    if (running_) return;
    const int selected = port_.list1_selected();
    if (selected < 0 || selected >= port_.list1_count()) return;
    port_.list1_remove(selected);
    if (port_.list1_count() > 0) port_.list1_select(selected == 0 ? 0 : selected - 1);
}

void MainWindow::set_run_commands_enabled(bool enabled) {
    for (Menu menu :
         {Menu::fileopen, Menu::fileoutput, Menu::fileclear, Menu::resamp1_1, Menu::resamp1_2,
          Menu::resamp1_4, Menu::optiondelete, Menu::optionshorten, Menu::convert}) {
        port_.set_menu_enabled(menu, enabled);
    }
}

void MainWindow::convert_Click() {
    if (running_) return;
    RunRequest request;
    const int count = port_.list1_count();
    request.inputs.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) request.inputs.push_back(port_.list1_item(i));
    request.output_file_name = output_file_name;
    request.options = options;
    request.time_of_day = time_of_day;

    // The run yields to window events after each record: keep the operator from changing
    // what it reads (or starting a second run) until it has ended.
    running_ = true;
    close_requested_ = false;
    set_run_commands_enabled(false);
    RunPort run_port(port_, close_requested_);
    IgnoreHeaderStrings no_translation;
    HeaderStringReceiver& receiver = header_strings ? *header_strings : no_translation;
    (void)convert_run(request, run_port, log_, receiver);
    set_run_commands_enabled(true);
    running_ = false;

    if (close_requested_) {
        close_requested_ = false;
        port_.close_window();
    }
}

}  // namespace quarvent
