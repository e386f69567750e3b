#pragma once
// The main window as the shell's logic sees it: everything of UiPort, plus the file dialog
// `filelog` (shown with settings the logic keeps), the menu bar, the label captions, the input list
// List1 and the window's geometry in twips. The Qt window implements it; ScriptedShellUi
// (tests/support) scripts it.
//
// Texts are 8-bit strings. Paths that come back from the file dialog are the file system's
// own bytes, so that they open the file the operator chose.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/enum_names.hpp"
#include "common/ui_port.hpp"
#include "shell/about.hpp"
#include "shell/run_log.hpp"
#include "shell/run_progress.hpp"

namespace quarvent {

struct FileReport;
class HeaderStringReceiver;

// The menu bar's items. menu_name gives each one's object name (also the name used in
// messages about them).
enum class Menu {
    filemenu,
    fileopen,
    fileoutput,
    fileclear,
    filesep,
    fileexit,
    segoptions,
    optresamp,
    resamp1_1,
    resamp1_2,
    resamp1_4,
    optiondelete,
    optionshorten,
    convert,
    help,
    helpcontent,
    fileabout,
    // Items of the desktop program's own, after the designed ones.
    convertstop,     // stops a run after its current record; shown only during a run
    optionremember,  // remember Delete Input Files from one start to the next
    viewmenu,        // View, before Help: the trace display of an input or the output
    viewinput,
    viewoutput,
    optionfresh,   // clear the trace header at the start of each input file
    filesavelog,   // Files: save what the status report shows to a file
    optionrunlog,  // Options: write the run log beside the output
};
inline constexpr int menu_count = static_cast<int>(Menu::optionrunlog) + 1;
std::string_view menu_name(Menu menu);

// The window's controls that the logic sizes or captions.
enum class Control { Label1, Label2, Label3, List1, Text1 };
constexpr std::string_view control_name(Control control) {
    constexpr auto names =
        enum_names<Control::Text1>("Label1", "Label2", "Label3", "List1", "Text1");
    return name_in(names, control);
}

enum class FileDialogMode { open, save };

// The file dialog's settings. Like a dialog control's properties they stay as they were
// left from one use to the next (MainWindow keeps them); each command sets the ones it
// needs before showing the dialog.
struct FileDialogSettings {
    std::string initial_dir;
    // Pairs of a description and a pattern, all separated by '|':
    // "Data (*.dat)|*.dat|All Data (*.*)|*.*".
    std::string filter;
    std::string title;
    int filter_index = 1;     // 1-based number of the pair shown first
    std::string default_ext;  // added to a typed name that has no extension ("dat")
    std::string file_name;    // the name proposed in the name box
    bool multi_select = true;
    bool hide_read_only = true;  // no "open read-only" check box
    bool explorer = true;
    // The longest text a dialog with a fixed buffer for the names returns; names that
    // would make it longer are dropped whole (with every name after them) and the result
    // says so (names_lost). A dialog without such a buffer returns every name.
    std::size_t max_text_length = 3000;
    // true: a cancel comes back as FileDialogResult::cancelled. false: as a choice of
    // nothing (chosen, empty text), which is how an unconfigured dialog reports it.
    bool cancel_reported = true;

    // The configuration the program gives the dialog at start-up; its options are exactly
    // multiple selection and the hidden read-only box.
    void configure_for_startup() {
        multi_select = true;
        hide_read_only = true;
        explorer = false;
        max_text_length = 3000;
        cancel_reported = true;
    }
};

struct FileDialogResult {
    enum class Outcome { chosen, cancelled, failed };
    Outcome outcome = Outcome::cancelled;
    // chosen: one full path; or, for several files chosen in an open with multiple
    // selection, the directory followed by the bare file names, each part separated by
    // a NUL character.
    std::string text;
    // chosen: the folder of the chosen file, or the one the dialog showed when nothing
    // was chosen.
    std::string directory;
    // failed: the platform's text for the error.
    std::string error_text;
    // chosen: the dialog could not return every name the operator chose.
    bool names_lost = false;
};

// Builds the text the file dialog returns for the names chosen in directory: the one full
// path for a single name, otherwise the directory and the names separated by NULs. Names
// are kept in order until one would make the text longer than max_text_length; that name
// and those after it are dropped whole. The Qt dialog and the tests share it.
std::string compose_file_dialog_text(std::string_view directory,
                                     const std::vector<std::string>& names,
                                     std::size_t max_text_length);

// Twips and whole pixels at twips_per_pixel (1440 / dots per inch). A pixel count turned
// into twips and back is the same count, also after the settings file has kept the twips
// to seven significant digits.
double pixels_to_twips(int pixels, double twips_per_pixel);
int twips_to_pixels(double twips, double twips_per_pixel);

// Joins a directory and a file name with the platform's separator, without doubling a
// separator the directory already ends with.
std::string join_path(std::string_view directory, std::string_view name);
inline constexpr char path_separator = '/';

// A trace display to open: traces first to last (1-based, both included) of an examined
// file, whose SEG-2 header strings go through receiver, in a window called title.
struct TraceDisplayRequest {
    const FileReport* report = nullptr;
    HeaderStringReceiver* receiver = nullptr;
    std::uint64_t first = 1;
    std::uint64_t last = 1;
    std::string title;
};

class ShellPort : public UiPort {
public:
    // Shows filelog modally in the given mode with settings as they stand, and reports how
    // it ended. A dialog that keeps the chosen text as its proposed name for next time
    // writes it to settings.file_name.
    virtual FileDialogResult filelog_show(FileDialogMode mode, FileDialogSettings& settings) = 0;

    // Menu items: caption ('&' marks the access key; a caption starting with the backspace
    // character puts that menu-bar item at the right-hand end of the bar), check mark and
    // enabled state.
    virtual void set_menu_caption(Menu menu, std::string_view caption) = 0;
    virtual std::string menu_caption(Menu menu) const = 0;
    virtual void set_menu_checked(Menu menu, bool checked) = 0;
    virtual bool menu_checked(Menu menu) const = 0;
    virtual void set_menu_enabled(Menu menu, bool enabled) = 0;
    virtual bool menu_enabled(Menu menu) const = 0;

    // Captions of Label1 to Label3 (other controls are ignored / give "").
    virtual void set_label_caption(Control label, std::string_view caption) = 0;
    virtual std::string label_caption(Control label) const = 0;

    // List1, the input list. Indices are 0-based; list1_select (UiPort) selects one item,
    // -1 clears the selection.
    virtual void list1_add(std::string_view item) = 0;
    virtual void list1_remove(int index) = 0;
    virtual void list1_clear() = 0;
    virtual int list1_count() const = 0;
    virtual std::string list1_item(int index) const = 0;
    virtual int list1_selected() const = 0;  // -1: nothing selected
    // Every selected item, ascending.
    virtual std::vector<int> list1_selection() const = 0;

    // The window's position and size in twips (1440 per inch): one rectangle, which is
    // read back as it was set, at start-up as later. Changing the size makes the window lay
    // itself out again (MainWindow::Form_Resize).
    virtual double window_left() const = 0;
    virtual double window_top() const = 0;
    virtual double window_width() const = 0;
    virtual double window_height() const = 0;
    virtual void set_window_left(double twips) = 0;
    virtual void set_window_top(double twips) = 0;
    virtual void set_window_width(double twips) = 0;
    virtual void set_window_height(double twips) = 0;
    // The position and size Exit saves: the window's own, unless the window was only moved
    // and shrunk to fit a smaller screen than the settings were made on and the operator has
    // not moved or sized it since; the settings then keep the values they were read with.
    virtual WindowRect window_rect_to_save() const {
        return {window_left(), window_top(), window_width(), window_height()};
    }

    // A control's size in twips. The setters return false when the size is refused (it
    // is negative, or not a number); the control then keeps its size.
    virtual double control_width(Control control) const = 0;
    virtual double control_height(Control control) const = 0;
    virtual bool set_control_width(Control control, double twips) = 0;
    virtual bool set_control_height(Control control, double twips) = 0;

    // A control's left edge in twips, within the window's client area.
    virtual double control_left(Control control) const = 0;
    virtual bool set_control_left(Control control, double twips) = 0;

    // The progress panel, shown in Text1's place while a run hides the status report.
    virtual void set_progress_visible(bool visible) = 0;
    virtual void show_progress(const ProgressView& progress) = 0;
    // The status bar: a passing message (the summary of the last run), and a standing note
    // (empty: none) that stays until it is replaced.
    virtual void set_status_message(std::string_view text) = 0;
    virtual void set_status_note(std::string_view text) = 0;
    // The files the last run kept, with their reasons, shown behind the status bar's
    // summary; empty: none (and a new run clears them).
    virtual void set_kept_files(const std::vector<KeptFile>& kept) { (void)kept; }
    // The options in force that differ from their start-up values, shown in a part of the
    // status bar of its own; empty: all at their defaults.
    virtual void set_options_in_force(std::string_view text) { (void)text; }
    // Makes a menu item visible or hidden.
    virtual void set_menu_visible(Menu menu, bool visible) = 0;

    // Reads the traces of request and opens a display window of its own for them, which the
    // operator closes. Returns empty when it is open, otherwise why it could not be.
    virtual std::string show_trace_display(const TraceDisplayRequest& request) = 0;

    // The screen's twips per pixel, from its logical resolution (1440 / dots per inch).
    virtual double twips_per_pixel_x() const = 0;
    virtual double twips_per_pixel_y() const = 0;

    // Closes the main window as its close control would (the close is asked for again,
    // so Form_QueryUnload and Form_Unload run).
    virtual void close_window() = 0;
    // Ends the program at once: no further window events run. yield_events returns false
    // from then on, so a run in progress stops after its current record.
    virtual void end_program() = 0;
};

}  // namespace quarvent
