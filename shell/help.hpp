#pragma once
// The program's help: the help file QUARVENT.HLP, which lies in the program's own directory
// (not the working directory), shown by a help viewer. The program asks the viewer only to
// show the contents page, to show the topic of a context number (F1 on a menu or control)
// and to quit.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarvent {

inline constexpr std::string_view help_file_name = "QUARVENT.HLP";

// The topics of the help file that menus and controls lead to.
namespace help_context {
inline constexpr int filemenu = 5010;
inline constexpr int segoptions = 5020;
inline constexpr int optresamp = 5022;
inline constexpr int optiondelete = 5024;
inline constexpr int optionshorten = 5026;
inline constexpr int optionfresh = 5028;
inline constexpr int convert = 5030;
inline constexpr int help = 5040;
inline constexpr int viewmenu = 5050;
inline constexpr int List1 = 5100;
inline constexpr int Text1 = 5200;
}  // namespace help_context

struct HelpContextEntry {
    std::string_view object_name;  // the menu's or control's name
    int context;
};

// Every menu and control that carries a context number; the other menu items carry none.
std::span<const HelpContextEntry> help_contexts();
// The context number of a menu or control, or nullopt when it carries none.
std::optional<int> help_context_of(std::string_view object_name);

// Where the help file's topic of a context number begins: the anchor "context5010" and so on.
std::string help_topic_anchor(int context);

// The platform's help viewer, owned by the main window.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    virtual void show_contents(const std::string& help_file) = 0;
    virtual void show_topic(const std::string& help_file, int context) = 0;
    // The program no longer needs help_file: the viewer closes it.
    virtual void quit(const std::string& help_file) = 0;
};

// The help file as the program uses it: set up once at start-up, then shown on request.
class Help {
public:
    // Keeps the main window's viewer and builds the help file's path from the program's
    // directory as reported.
    void set_up_help(HelpViewer& viewer, std::string_view program_dir);
    // Shows the help file's contents page (the Help menu's Contents).
    void show_help_contents();
    // Shows the topic of a context number (context help, F1).
    void show_help_topic(int context);
    // Tells the viewer that the program is done with the help file. Safe to call more than
    // once, and before set_up_help.
    void close_help();

    const std::string& help_file_path() const { return help_file_path_; }
    bool is_set_up() const { return viewer_ != nullptr; }

private:
    HelpViewer* viewer_ = nullptr;
    std::string help_file_path_;
};

// The help file's path in program_dir: the directory, one separator (none is added when the
// directory, ignoring surrounding blanks, already ends with one) and "QUARVENT.HLP". The
// blanks are ignored only for that test; the path keeps the directory as given. An empty
// directory gives the bare name.
std::string help_file_path_in(std::string_view program_dir);

}  // namespace quarvent
