#pragma once
// The main window's logic: the input list, the output file, the options and the commands
// of the menu bar, written against ShellPort. The Qt window only forwards its events here.
//
// While a conversion runs (inside convert_Click, which yields to window events after each
// record) the commands that would change what the run reads are disabled, and a request
// to close the window, or Exit, is held until the run has stopped after its current record.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/conversion_options.hpp"
#include "common/header_string_receiver.hpp"
#include "common/status_log.hpp"
#include "shell/preferences.hpp"
#include "shell/run_progress.hpp"
#include "shell/shell_port.hpp"
#include "shell/startup.hpp"

namespace quarvent {

// Key code of the Delete key in List1_KeyDown.
inline constexpr int key_delete = 46;

enum class MouseButton { left = 1, right = 2, middle = 4 };

class MainWindow {
public:
    explicit MainWindow(ShellPort& port);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // --- State that lives as long as the window -----------------------------------------
    std::string last_input_dir;    // where the input dialog opens
    std::string last_output_dir;   // where the output dialog opens
    std::string output_file_name;  // full path; empty until the operator names one
    // Read by the conversion run. Change it through the Options commands or
    // set_option_defaults, which keep the menu's check marks and caption in step.
    ConversionOptions options;
    // Receives the SEG-2 header strings during a run; start-up installs the keyword
    // translation here.
    std::unique_ptr<HeaderStringReceiver> header_strings;
    // Receives the header strings of files opened in the trace display: a translation of its
    // own, so that looking at a file neither writes to the status report nor uses up the
    // run's warnings. Start-up installs it beside header_strings.
    std::unique_ptr<HeaderStringReceiver> view_header_strings;
    // Local time of day as HH:MM:SS for the status log; empty: the real clock. Tests
    // replace it.
    std::function<std::string()> time_of_day;
    // Seconds on a steady clock, for the progress panel's times; empty: the real clock.
    std::function<double()> clock;
    // Local date and time for the run log's header; empty: the real clock. Tests replace it.
    std::function<std::string()> date_and_time;
    // Whether each run appends its run log to "<output>.log" beside the output (Options,
    // "Write Run Log Beside Output"); on unless the operator turned it off.
    bool write_run_log = true;
    // The last run's log entry as it was written to the run log (or would have been).
    const std::string& last_run_log() const { return last_run_log_; }
    // Where the remembered choices are kept; nullptr: nothing is remembered.
    PreferenceStore* preferences = nullptr;
    // Start-up's and Exit's state: the start-up directory, the settings file's name, the
    // help file, and the help viewer and About windows the platform layer provides.
    ShellSession session;

    // The file dialog's settings, kept from one use to the next: each command sets what it
    // needs and leaves the rest as the last use (or start-up) left it.
    FileDialogSettings filelog;

    // The status report (Text1); it lives as long as the window.
    StatusLog& status_log() { return log_; }
    const StatusLog& status_log() const { return log_; }

    ShellPort& port() { return port_; }

    // Sets the options to their start-up values (resample 1:1, keep inputs, original
    // record length, one header for the whole run) and the Options menu to match.
    void set_option_defaults();
    // Puts back the choices remembered from earlier starts (start-up calls it after the
    // defaults): resample factor, record length, fresh header per file, the output file, the
    // input list's width, and Delete Input Files when the operator asked for it to be
    // remembered.
    void restore_choices();

    // True while convert_Click is running a conversion.
    bool run_in_progress() const { return running_; }

    // --- Window events ------------------------------------------------------------------
    void Form_Load();
    // The window is about to close other than through Exit. Returns true when it may close
    // now; during a run the close is held, the run stops after its current record, and
    // the window is then closed through the port.
    bool Form_QueryUnload();
    // The window closes other than through Exit.
    void Form_Unload();
    // Lays the controls out for the window's current size.
    void Form_Resize();

    // --- Menu commands ------------------------------------------------------------------
    void fileopen_Click();
    void fileoutput_Click();
    void fileclear_Click();
    void fileexit_Click();
    void resamp1_1_Click();
    void resamp1_2_Click();
    void resamp1_4_Click();
    void optiondelete_Click();
    void optionshorten_Click();
    void convert_Click();
    // Stops a run after its current record (the Stop item and the Esc key).
    void convertstop_Click();
    void optionremember_Click();
    // Fresh Header for Each File: whether each input file starts with a cleared trace header.
    void optionfresh_Click();
    void optionrunlog_Click();
    // Files, "Save Status Log...": saves what the status report shows to a file.
    void filesavelog_Click();
    // Shows the options that differ from their defaults in the status bar.
    void show_options_in_force();
    void helpcontent_Click();
    void fileabout_Click();
    // View: the trace display of the selected input, or of the output file.
    void viewinput_Click();
    void viewoutput_Click();

    // --- List1 events -------------------------------------------------------------------
    void List1_KeyDown(int key_code);
    void List1_MouseDown(MouseButton button);
    // Entry index (0-based) was double-clicked: its trace display opens.
    void List1_DblClick(int index);
    // Files and folders dropped on the list. include_subfolders: the drop itself says
    // whether a folder's subfolders count; without it the operator is asked when a dropped
    // folder has any.
    void List1_Drop(const std::vector<std::string>& paths, std::optional<bool> include_subfolders);
    // The operator dragged the divider between the list and the status report.
    void List1_SetWidth(double twips);

private:
    void set_resample(std::int16_t factor);
    // Sets what Select Inputs and Output share (folder, filter, title, first filter, "dat").
    FileDialogSettings& prepare_filelog(const std::string& directory, std::string_view filter,
                                        std::string_view title);
    // Shows filelog. A failing dialog is reported, its file name cleared, and it gives
    // nothing, as a cancel does.
    std::optional<FileDialogResult> show_filelog(FileDialogMode mode);
    void remove_selected_input();
    // The "stop and close?" question of a close or Exit during a run; true once the operator
    // has said yes (then the run stops after its current record).
    bool ask_to_stop_and_close();
    void set_run_commands_enabled(bool enabled);
    void remember(std::string_view key, std::string_view value);
    // Opens the trace display of path, or tells the operator why it cannot.
    void open_trace_display(const std::string& path);
    void set_record_end(float ms);
    void show_delete_note();
    // Lays out what the designed rule leaves alone: the status report and its caption follow
    // the list's right edge, and the two path labels reach the status report's right edge.
    void follow_list_width();
    double now_seconds() const;

    ShellPort& port_;
    StatusLog log_;
    bool running_ = false;
    bool close_requested_ = false;
    bool exit_requested_ = false;  // the close asked for during the run came from Exit
    bool stop_requested_ = false;
    bool remember_delete_ = false;
    std::string last_run_log_;
    // The save dialog of the status log keeps its own settings, so that the input and
    // output selections find filelog as they left it.
    FileDialogSettings save_log_dialog_;
};

}  // namespace quarvent
