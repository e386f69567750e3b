#include "shell/main_window.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/numbers.hpp"
#include "common/title_watch.hpp"
#include "engine/conversion_run.hpp"
#include "engine/file_probe.hpp"
#include "engine/qex_reader.hpp"
#include "shell/input_drop.hpp"
#include "shell/run_log.hpp"

namespace quarvent {

namespace {

// SEG-2 recordings come first, under the names field crews give them; the platform's file
// names are case-sensitive, so both spellings are listed.
constexpr std::string_view input_filter =
    "SEG-2 recordings (*.sg2 *.seg2 *.dat *.SG2 *.SEG2 *.DAT)|"
    "*.sg2;*.seg2;*.dat;*.SG2;*.SEG2;*.DAT|"
    "Data (*.dat)|*.dat|Raw Data (*.raw)|*.raw|All Data (*.*)|*.*";
constexpr std::string_view output_filter = "Data (*.dat)|*.dat|All Data (*.*)|*.*";
constexpr std::string_view error_title = "Quarvent ERROR";
constexpr std::string_view shorten_caption = "Adjust Record Length";

// The layout's margins in twips: beside and below the status report.
constexpr double text1_right_margin_twips = 350;
constexpr double text1_bottom_margin_twips = 1300;
// The gap between the input list and the status report, and the narrowest each may become
// when the operator drags the divider between them or the window shrinks.
constexpr double list1_gap_twips = 108;
constexpr double list1_designed_width_twips = 2892;
constexpr double list1_min_width_twips = 1500;
constexpr double text1_min_width_twips = 2000;

constexpr std::string_view close_question_title = "Conversion in progress";
constexpr std::string_view close_question_text =
    "A conversion is running.\r\nStop it after the current record and close the window?";
constexpr std::string_view subfolder_question_title = "Add Folders";
constexpr std::string_view subfolder_question_text =
    "The dropped folders hold folders of their own.\r\n"
    "Add the SEG-2 recordings inside those too?";
constexpr std::string_view delete_note =
    "Delete Input Files is on: inputs are deleted after "
    "their conversion";

std::string float_text(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::optional<double> parse_double(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text->c_str(), &end);
    if (end == text->c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The port as the conversion run sees it: the window itself, except that a close asked for
// during the run stops the run after its current record.
class RunPort final : public UiPort {
public:
    RunPort(ShellPort& port, const bool& close_requested, const bool& stop_requested,
            RunProgress& progress, const std::vector<std::string>& inputs,
            std::function<double()> now)
        : port_(port),
          close_requested_(close_requested),
          stop_requested_(stop_requested),
          progress_(progress),
          inputs_(inputs),
          now_(std::move(now)) {}

    Answer message_box(const MessageBoxRequest& request) override {
        return port_.message_box(request);
    }
    std::string input_prompt(const PromptRequest& request) override {
        return port_.input_prompt(request);
    }
    void text1_append(std::string_view text) override { port_.text1_append(text); }
    void text1_clear() override { port_.text1_clear(); }
    // The progress panel stands in for the status report while the run hides it.
    void set_text1_visible(bool visible) override {
        port_.set_text1_visible(visible);
        port_.set_progress_visible(!visible);
        if (!visible) port_.show_progress(progress_.view(inputs_, now_()));
    }
    void set_label3_caption(std::string_view caption) override {
        port_.set_label3_caption(caption);
    }
    void set_label3_visible(bool visible) override { port_.set_label3_visible(visible); }
    void list1_select(int index) override {
        port_.list1_select(index);
        progress_.file_started(index, now_());
        refresh();
    }
    void set_mouse_pointer(MousePointer pointer) override { port_.set_mouse_pointer(pointer); }
    // Called once for every record written.
    bool yield_events() override {
        progress_.trace_written(now_());
        refresh();
        if (close_requested_ || stop_requested_) return false;
        return port_.yield_events() && !close_requested_ && !stop_requested_;
    }
    // Called while the run checks the output before it writes: no record is counted.
    bool keep_responsive() override {
        if (close_requested_ || stop_requested_) return false;
        return port_.yield_events() && !close_requested_ && !stop_requested_;
    }

private:
    void refresh() {
        const double now = now_();
        if (progress_.take_refresh(now)) port_.show_progress(progress_.view(inputs_, now));
    }

    ShellPort& port_;
    const bool& close_requested_;
    const bool& stop_requested_;
    RunProgress& progress_;
    const std::vector<std::string>& inputs_;
    std::function<double()> now_;
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

// The status bar's word on files the list names more than once: the run converts each entry,
// so such a file goes into the output twice. Empty when every file is named once.
std::string repeated_note(const std::vector<std::string>& inputs) {
    const std::vector<RepeatedInput> repeated = repeated_inputs(inputs);
    if (repeated.empty()) return {};
    if (repeated.size() == 1) {
        return repeated.front().path + " is in the list " + std::to_string(repeated.front().times) +
               " times and is converted each time.";
    }
    return std::to_string(repeated.size()) +
           " files are in the list more than once and are converted each time, the first " +
           repeated.front().path + ".";
}

// Why an existing file is not one a run could append to (judged by its first record only, so
// that it costs one read whatever its size); nothing for a QEX file, an empty one, or a name
// that names no file yet.
std::optional<std::string> not_qex_reason(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    if (!S_ISREG(info.st_mode)) return std::string("it is not a regular file");
    FileSource file;
    if (file.open(path)) return std::nullopt;  // the run says why it cannot open it
    const QexWalk first = judge_qex(file);
    if (first.kind != QexKind::not_qex) return std::nullopt;
    return first.reason;
}

std::string unexpected_error_text(const std::string& error_text) {
    std::string text = "Unexpected error";
    text += line_break;
    text += error_text;
    return text;
}

}  // namespace

MainWindow::MainWindow(ShellPort& port)
    : header_strings(std::make_unique<IgnoreHeaderStrings>()),
      view_header_strings(std::make_unique<IgnoreHeaderStrings>()),
      port_(port),
      log_(port) {}

MainWindow::~MainWindow() = default;

void MainWindow::set_option_defaults() {
    options = ConversionOptions{};
    set_resample(1);
    port_.set_menu_checked(Menu::optiondelete, options.delete_inputs);
    port_.set_menu_checked(Menu::optionfresh, options.fresh_header_per_file);
    port_.set_menu_caption(Menu::optionshorten, shorten_caption);
    port_.set_menu_checked(Menu::optionrunlog, write_run_log);
    show_delete_note();
}

bool MainWindow::Form_QueryUnload() {
    if (running_) {
        ask_to_stop_and_close();
        return false;
    }
    close_requested_ = false;
    return true;
}

bool MainWindow::ask_to_stop_and_close() {
    // Asked once: the run stops after its current record and the window then closes, or
    // the run goes on.
    if (!close_requested_ &&
        port_.message_box({Dialog::close_during_run, std::string(close_question_text),
                           std::string(close_question_title), Buttons::yes_no, Icon::question}) ==
            Answer::yes) {
        close_requested_ = true;
    }
    return close_requested_;
}

void MainWindow::Form_Resize() {
    // A list the operator widened gives way first when the window narrows, down to its
    // designed width, so that the status report stays usable.
    const double list_width = port_.control_width(Control::List1);
    const double room = port_.window_width() - text1_right_margin_twips - text1_min_width_twips;
    if (list_width > list1_designed_width_twips && list_width > room) {
        port_.set_control_width(Control::List1, std::max(room, list1_designed_width_twips));
    }
    // A size that would be negative (the window is too small) is skipped, and the next
    // step is still done.
    const double text1_width =
        port_.window_width() - port_.control_width(Control::List1) - text1_right_margin_twips;
    if (text1_width >= 0) port_.set_control_width(Control::Text1, text1_width);
    const double text1_height = port_.window_height() - text1_bottom_margin_twips;
    if (text1_height >= 0) port_.set_control_height(Control::Text1, text1_height);
    port_.set_control_height(Control::List1, port_.control_height(Control::Text1));
    follow_list_width();
}

void MainWindow::follow_list_width() {
    const double text_left =
        port_.control_left(Control::List1) + port_.control_width(Control::List1) + list1_gap_twips;
    port_.set_control_left(Control::Text1, text_left);
    port_.set_control_left(Control::Label3, text_left);
    const double right = text_left + port_.control_width(Control::Text1);
    for (Control label : {Control::Label2, Control::Label3}) {
        const double width = right - port_.control_left(label);
        if (width > 0) port_.set_control_width(label, width);
    }
}

void MainWindow::List1_SetWidth(double twips) {
    if (!std::isfinite(twips)) return;
    const double widest = port_.window_width() - text1_right_margin_twips - text1_min_width_twips -
                          port_.control_left(Control::List1) - list1_gap_twips;
    const double width = std::max(list1_min_width_twips, std::min(twips, widest));
    port_.set_control_width(Control::List1, width);
    Form_Resize();
    remember(preference_key::list_width, float_text(port_.control_width(Control::List1)));
}

void MainWindow::remember(std::string_view key, std::string_view value) {
    if (preferences != nullptr) preferences->set_value(key, value);
}

void MainWindow::restore_choices() {
    if (preferences == nullptr) return;
    PreferenceStore& stored = *preferences;
    if (const auto factor = parse_double(stored.value(preference_key::resample_factor))) {
        if (*factor == 1 || *factor == 2 || *factor == 4) {
            set_resample(static_cast<std::int16_t>(*factor));
        }
    }
    if (const auto ms = parse_double(stored.value(preference_key::record_end_ms))) {
        set_record_end(to_float(*ms));
    }
    if (const auto fresh = stored.value(preference_key::fresh_header)) {
        options.fresh_header_per_file = *fresh == "1";
        port_.set_menu_checked(Menu::optionfresh, options.fresh_header_per_file);
    }
    remember_delete_ = stored.value(preference_key::remember_delete) == "1";
    port_.set_menu_checked(Menu::optionremember, remember_delete_);
    if (remember_delete_ && stored.value(preference_key::delete_inputs) == "1") {
        options.delete_inputs = true;
        port_.set_menu_checked(Menu::optiondelete, true);
    }
    if (const auto output = stored.value(preference_key::output_file); output && !output->empty()) {
        output_file_name = *output;
        port_.set_label_caption(Control::Label2, "Output file: " + output_file_name);
    }
    if (const auto width = parse_double(stored.value(preference_key::list_width))) {
        List1_SetWidth(*width);
    }
    if (const auto run_log = stored.value(preference_key::run_log)) {
        write_run_log = *run_log != "0";
        port_.set_menu_checked(Menu::optionrunlog, write_run_log);
    }
    show_delete_note();
}

void MainWindow::show_delete_note() {
    port_.set_status_note(options.delete_inputs ? delete_note : std::string_view{});
    show_options_in_force();
}

void MainWindow::show_options_in_force() {
    port_.set_options_in_force(options_in_force_text(options, " \u00b7 "));
}

void MainWindow::optionrunlog_Click() {
    if (running_) return;
    write_run_log = !write_run_log;
    port_.set_menu_checked(Menu::optionrunlog, write_run_log);
    remember(preference_key::run_log, write_run_log ? "1" : "0");
}

void MainWindow::filesavelog_Click() {
    if (running_) return;
    FileDialogSettings& dialog = save_log_dialog_;
    dialog.initial_dir = last_output_dir;
    dialog.filter = "Text (*.txt *.log)|*.txt;*.log|All Files (*.*)|*.*";
    dialog.title = "Save Status Log";
    dialog.filter_index = 1;
    dialog.default_ext = "txt";
    dialog.file_name.clear();
    dialog.multi_select = false;
    dialog.cancel_reported = true;
    const FileDialogResult result = port_.filelog_show(FileDialogMode::save, dialog);
    if (result.outcome == FileDialogResult::Outcome::failed) {
        (void)port_.message_box({Dialog::unexpected_error, unexpected_error_text(result.error_text),
                                 std::string(error_title), Buttons::ok, Icon::none});
        return;
    }
    if (result.outcome != FileDialogResult::Outcome::chosen || result.text.empty()) return;
    if (const std::error_code reason = save_text_file(result.text, log_.text())) {
        port_.set_status_message("The status log was not saved: " + reason.message());
    } else {
        port_.set_status_message("Status log saved to " + result.text);
    }
}

double MainWindow::now_seconds() const {
    if (clock) return clock();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FileDialogSettings& MainWindow::prepare_filelog(const std::string& directory,
                                                std::string_view filter, std::string_view title) {
    FileDialogSettings& dialog = filelog;
    dialog.initial_dir = directory;
    dialog.filter = filter;
    dialog.title = title;
    dialog.filter_index = 1;
    dialog.default_ext = "dat";
    return dialog;
}

std::optional<FileDialogResult> MainWindow::show_filelog(FileDialogMode mode) {
    FileDialogResult result = port_.filelog_show(mode, filelog);
    switch (result.outcome) {
        case FileDialogResult::Outcome::cancelled:
            return std::nullopt;
        case FileDialogResult::Outcome::failed:
            (void)port_.message_box({Dialog::unexpected_error,
                                     unexpected_error_text(result.error_text),
                                     std::string(error_title), Buttons::ok, Icon::none});
            filelog.file_name.clear();
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
        // "choosen" is the message's long-standing spelling, kept as operators know it.
        for (std::string_view line : {"Due to an uncorrectable flaw in the File dialog",
                                      "box, all of the files you have choosen may not",
                                      "be in the listing. To select more files please ",
                                      "reselect the INPUT FILES menu item and start selecting",
                                      "files where they left off."}) {
            if (!text.empty()) text += line_break;
            text += line;
        }
        (void)port_.message_box({Dialog::too_many_files, std::move(text),
                                 "QUARVENT TOO MANY FILES AT ONCE", Buttons::ok,
                                 Icon::information});
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
    // A file that holds something other than QEX records (a field recording among the
    // *.dat files, a text) is never taken as the output: the run would refuse it anyway.
    if (!result.text.empty()) {
        if (const std::optional<std::string> why = not_qex_reason(result.text)) {
            (void)port_.message_box(output_not_qex_message(result.text, *why));
            return;
        }
    }
    if (!result.text.empty()) {
        output_file_name = result.text;
        remember(preference_key::output_file, output_file_name);
    }
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
    show_options_in_force();
}

void MainWindow::resamp1_1_Click() {
    if (running_) return;
    set_resample(1);
    remember(preference_key::resample_factor, "1");
}
void MainWindow::resamp1_2_Click() {
    if (running_) return;
    set_resample(2);
    remember(preference_key::resample_factor, "2");
}
void MainWindow::resamp1_4_Click() {
    if (running_) return;
    set_resample(4);
    remember(preference_key::resample_factor, "4");
}

void MainWindow::optiondelete_Click() {
    if (running_) return;
    options.delete_inputs = !options.delete_inputs;
    port_.set_menu_checked(Menu::optiondelete, options.delete_inputs);
    if (remember_delete_)
        remember(preference_key::delete_inputs, options.delete_inputs ? "1" : "0");
    show_delete_note();
}

void MainWindow::optionremember_Click() {
    if (running_) return;
    remember_delete_ = !remember_delete_;
    port_.set_menu_checked(Menu::optionremember, remember_delete_);
    remember(preference_key::remember_delete, remember_delete_ ? "1" : "0");
    if (remember_delete_) {
        remember(preference_key::delete_inputs, options.delete_inputs ? "1" : "0");
    } else if (preferences != nullptr) {
        preferences->remove(preference_key::delete_inputs);
    }
}

void MainWindow::optionfresh_Click() {
    if (running_) return;
    options.fresh_header_per_file = !options.fresh_header_per_file;
    port_.set_menu_checked(Menu::optionfresh, options.fresh_header_per_file);
    remember(preference_key::fresh_header, options.fresh_header_per_file ? "1" : "0");
    show_options_in_force();
}

void MainWindow::optionshorten_Click() {
    if (running_) return;
    const std::string answer =
        port_.input_prompt({Dialog::record_length, "Enter ending time(ms) of records. 0=original",
                            "Modify Record Length", "0"});
    set_record_end(to_float(read_number(answer)));
    remember(preference_key::record_end_ms, float_text(options.record_end_ms));
}

void MainWindow::set_record_end(float ms) {
    options.record_end_ms = ms;
    if (options.record_end_ms != 0) {
        port_.set_menu_caption(Menu::optionshorten,
                               "Adjusted Length = " + number_text(options.record_end_ms) + " ms");
    } else {
        port_.set_menu_caption(Menu::optionshorten, shorten_caption);
    }
    show_options_in_force();
}

void MainWindow::convertstop_Click() {
    if (running_) stop_requested_ = true;
}

void MainWindow::List1_KeyDown(int key_code) {
    if (key_code == key_delete) remove_selected_input();
}

void MainWindow::List1_MouseDown(MouseButton button) {
    if (button == MouseButton::right) remove_selected_input();
}

// Removes every selected item; then the item just before the first one removed is selected,
// or the first item when the first was among them.
void MainWindow::remove_selected_input() {
    if (running_) return;
    std::vector<int> selected = port_.list1_selection();
    const int count = port_.list1_count();
    std::erase_if(selected, [count](int index) { return index < 0 || index >= count; });
    if (selected.empty()) return;
    std::sort(selected.begin(), selected.end());
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) port_.list1_remove(*it);
    const int first = selected.front();
    if (port_.list1_count() > 0) {
        port_.list1_select(std::min(first == 0 ? 0 : first - 1, port_.list1_count() - 1));
    }
}

void MainWindow::List1_Drop(const std::vector<std::string>& paths,
                            std::optional<bool> include_subfolders) {
    if (running_ || paths.empty()) return;
    if (!include_subfolders) {
        include_subfolders =
            drop_has_subfolders(paths) &&
            port_.message_box({Dialog::add_subfolders, std::string(subfolder_question_text),
                               std::string(subfolder_question_title), Buttons::yes_no,
                               Icon::question}) == Answer::yes;
    }
    const DropContents contents = drop_contents(paths, *include_subfolders);
    for (const std::string& path : contents.recordings) port_.list1_add(path);
    std::string note = "Added " + std::to_string(contents.recordings.size()) +
                       (contents.recordings.size() == 1 ? " SEG-2 recording" : " SEG-2 recordings");
    if (contents.left_out > 0) {
        note += "; left out " + std::to_string(contents.left_out) +
                (contents.left_out == 1 ? " file that is not SEG-2" : " files that are not SEG-2");
    }
    port_.set_status_message(note + ".");
}

void MainWindow::set_run_commands_enabled(bool enabled) {
    for (Menu menu : {Menu::fileopen, Menu::fileoutput, Menu::fileclear, Menu::resamp1_1,
                      Menu::resamp1_2, Menu::resamp1_4, Menu::optiondelete, Menu::optionremember,
                      Menu::optionshorten, Menu::convert, Menu::viewinput, Menu::viewoutput,
                      Menu::optionfresh, Menu::filesavelog, Menu::optionrunlog}) {
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
    request.propose_next_ssn = true;

    // The progress bar counts the traces the inputs declare, read from their descriptors.
    std::vector<int> trace_counts;
    trace_counts.reserve(request.inputs.size());
    for (const std::string& input : request.inputs) {
        trace_counts.push_back(seg2_trace_count(input).value_or(0));
    }
    RunProgress progress(std::move(trace_counts));
    // The last run's summary and kept files belong to it alone.
    port_.set_status_message({});
    port_.set_kept_files({});
    const std::string repeated = repeated_note(request.inputs);
    if (!repeated.empty()) port_.set_status_message(repeated);

    // The run yields to window events after each record: keep the operator from changing
    // what it reads (or starting a second run) until it has ended.
    running_ = true;
    close_requested_ = false;
    stop_requested_ = false;
    set_run_commands_enabled(false);
    port_.set_menu_visible(Menu::convertstop, true);
    port_.set_menu_enabled(Menu::convertstop, true);
    RunPort run_port(port_, close_requested_, stop_requested_, progress, request.inputs,
                     [this] { return now_seconds(); });
    TitleWatch titles(run_port, TitleWatch::Counts::message_boxes_and_prompts);
    IgnoreHeaderStrings no_translation;
    HeaderStringReceiver& receiver = header_strings ? *header_strings : no_translation;
    // The run log keeps the whole status log, also what the report's emptying drops.
    std::string whole_log;
    log_.copy_to(&whole_log);
    RunLogHeader log_header;
    log_header.date_time = date_and_time ? date_and_time() : local_date_and_time();
    log_header.program = "quarvent";
    log_header.output = output_file_name;
    log_header.options = options;
    log_header.keyword_file = session.keyword_file_path;
    const RunReport report = convert_run_reporting(request, titles, log_, receiver);
    const RunOutcome outcome = report.outcome;
    port_.show_progress(progress.view(request.inputs, now_seconds()));
    port_.set_progress_visible(false);
    port_.set_menu_enabled(Menu::convertstop, false);
    port_.set_menu_visible(Menu::convertstop, false);
    set_run_commands_enabled(true);
    running_ = false;

    if (outcome == RunOutcome::stopped && (stop_requested_ || close_requested_)) {
        const std::string time = time_of_day ? time_of_day() : local_time_of_day();
        log_.append("Conversion stopped by the operator @ " + time + std::string(line_break));
    }
    log_.copy_to(nullptr);
    const RunEnding ending =
        run_ending(outcome, stop_requested_ || close_requested_, titles.last_title());
    stop_requested_ = false;
    // A run that ended at a check wrote nothing, and leaves no run log either.
    std::string log_problem;
    if (outcome != RunOutcome::ended_at_check) {
        last_run_log_ = run_log_text(log_header, whole_log, report, ending);
        if (write_run_log) {
            const std::string log_path = run_log_path_for(output_file_name);
            if (const std::error_code reason = append_run_log(log_path, last_run_log_)) {
                log_problem = "; the run log " + log_path + " was not written: " + reason.message();
            }
        }
    }
    if (outcome != RunOutcome::ended_at_check) {
        // Inputs the run deleted leave the list, last first so the indices hold.
        if (port_.list1_count() == static_cast<int>(request.inputs.size())) {
            for (std::size_t i = report.inputs.size(); i-- > 0;) {
                if (report.inputs[i].deleted) port_.list1_remove(static_cast<int>(i));
            }
        }
        RunSummary summary;
        summary.stopped = outcome == RunOutcome::stopped;
        const RunTotals totals = run_totals(report);
        summary.files_complete = totals.converted;
        const std::vector<KeptFile> kept = kept_files(report);
        summary.files_not_seg2 = static_cast<int>(std::count_if(
            kept.begin(), kept.end(), [](const KeptFile& file) { return file.not_seg2; }));
        summary.files_incomplete = totals.partial + totals.skipped - summary.files_not_seg2;
        summary.traces_written = totals.traces_written;
        summary.bytes_written = static_cast<long long>(report.bytes_written);
        summary.elapsed_seconds =
            progress.start_seconds() < 0 ? 0 : now_seconds() - progress.start_seconds();
        summary.files_changed = static_cast<int>(std::count_if(
            report.inputs.begin(), report.inputs.end(),
            [](const InputResult& input) { return input.reason == changed_after_conversion; }));
        port_.set_status_message(summary_text(summary) + log_problem +
                                 (repeated.empty() ? std::string() : ". " + repeated));
        port_.set_kept_files(kept);
    }

    if (close_requested_) {
        close_requested_ = false;
        if (exit_requested_) {
            exit_requested_ = false;
            fileexit_Click();
        } else {
            port_.close_window();
        }
    }
}

}  // namespace quarvent
