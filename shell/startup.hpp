#pragma once
// Start-up, Exit and unload: the program as a whole.
//
// Start-up (the main window's load) puts the Help menu at the right-hand end of the menu
// bar, sets up the help file, configures the file dialog, reads quarvent.ini from the
// working directory, finds the keyword file (in the system directory, or wherever the
// operator says), loads the keyword table, installs the keyword translation as the run's
// header-string receiver and sets the option defaults. An empty answer for the keyword file
// or a keyword file that cannot be loaded ends the program there.
//
// Exit writes quarvent.ini back into the start-up directory, closes the help viewer and ends
// the program. Closing the window otherwise only closes the help viewer.

#include <cstdint>
#include <string>

#include "shell/fileinfo.hpp"
#include "shell/help.hpp"

namespace quarvent {

class AboutWindowFactory;
class MainWindow;

// What start-up and Exit keep for the life of the program, and what the platform layer
// provides before the window loads.
struct ShellSession {
    // Provided by the platform layer (none of them is required).
    HelpViewer* help_viewer = nullptr;
    AboutWindowFactory* about_windows = nullptr;
    // The program's own directory, where the help file lies; empty: the running program's.
    std::string program_dir;
    // Where the keyword file and the About picture are looked for first; empty:
    // system_directory().
    std::string system_dir;
    // Opens the settings file at start-up and the file Exit writes; empty: the system's
    // open. Tests use it to make reading or writing fail.
    FILEINFO::Opener settings_opener;

    // Kept by start-up.
    std::string start_dir;           // the working directory at start-up
    std::string settings_file_name;  // as the directory listed it; empty when not found
    std::int16_t placeholder_value = 0;
    std::string keyword_file_path;
    Help help;
};

// The texts start-up and Exit show.
inline constexpr std::string_view settings_missing_text = "Can not find quarvent.INI file!\r\n";
inline constexpr std::string_view keyword_missing_title = "Keyword file not found";
inline constexpr std::string_view keyword_prompt_title = "Keyword Path?";
inline constexpr std::string_view keyword_prompt_text =
    "Enter full path/file name for QEX-KEYWORD file";
inline constexpr std::string_view settings_unwritable_text =
    "INI file can not be written. Exit Program?";

enum class StartupResult { ready, ended };
enum class ExitResult { ended, stayed };

// The window's load. ended: the program has been ended through the port.
StartupResult run_startup(MainWindow& window, ShellSession& session);
// Exit. stayed: the settings file could not be written and the operator chose to go on.
ExitResult run_exit(MainWindow& window, ShellSession& session);
// The window closes other than through Exit.
void run_unload(ShellSession& session);

// The system directory the session uses (its own, else system_directory()).
std::string session_system_dir(const ShellSession& session);

}  // namespace quarvent
