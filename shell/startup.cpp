#include "shell/startup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "common/numbers.hpp"
#include "common/system_directory.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "shell/fileinfo.hpp"
#include "shell/main_window.hpp"
#include "shell/settings_file.hpp"

namespace quarvent {

namespace {

// The keyword translation together with the table it reads, so that the table lives exactly
// as long as the receiver that refers to it.
class KeywordTranslation final : public HeaderStringReceiver {
public:
    KeywordTranslation(KeywordTable table, StatusLog& log, UiPort& ui)
        : table_(std::move(table)), translator_(table_, log, ui) {}
    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        return translator_.header_string(s, header, trace_scale_factor);
    }
    void file_begins() override { translator_.file_begins(); }
    std::optional<float> unrounded_value(int n) const override {
        return translator_.unrounded_value(n);
    }

private:
    KeywordTable table_;
    HeaderTranslator translator_;
};

// The translation for the trace display: the same table, with a status log of its own that
// nobody reads, so that looking at a file leaves the status report and the run's warning
// count as they were. A keyword file error still reaches the operator.
class ViewTranslation final : public HeaderStringReceiver {
public:
    ViewTranslation(KeywordTable table, UiPort& ui)
        : quiet_(ui),
          log_(quiet_, StatusLog::Keeping::length_only),
          table_(std::move(table)),
          translator_(table_, log_, quiet_) {}
    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        return translator_.header_string(s, header, trace_scale_factor);
    }
    std::optional<float> unrounded_value(int n) const override {
        return translator_.unrounded_value(n);
    }

private:
    // Message boxes go to the window; the status report's text goes nowhere.
    class QuietPort final : public WindowlessPort {
    public:
        explicit QuietPort(UiPort& ui) : ui_(ui) {}
        Answer message_box(const MessageBoxRequest& request) override {
            return ui_.message_box(request);
        }
        std::string input_prompt(const PromptRequest& request) override {
            return ui_.input_prompt(request);
        }

    private:
        UiPort& ui_;
    };

    QuietPort quiet_;
    StatusLog log_;
    KeywordTable table_;
    HeaderTranslator translator_;
};

std::string current_directory() {
    std::error_code error;
    auto dir = std::filesystem::current_path(error);
    return error ? std::string{} : dir.string();
}

// The settings file's path: the bare name when the start-up directory is not known.
std::string settings_path(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : join_path(dir, name);
}

void read_settings(MainWindow& window, ShellSession& session) {
    ShellPort& port = window.port();
    FILEINFO files(port);
    if (session.settings_opener) files.set_opener(session.settings_opener);
    const std::int16_t number = files.open_file_checked(
        settings_path(session.start_dir, session.settings_file_name), open_mode::input);
    if (number == 0) return;  // the operator gave up; every item counts as unreadable
    const std::string content = read_settings_text(files.file(number));
    (void)files.close_file(number);

    const SettingsItems items = parse_settings(content);
    if (items.placeholder_value) session.placeholder_value = *items.placeholder_value;
    if (items.window_top) port.set_window_top(*items.window_top);
    if (items.window_left) port.set_window_left(*items.window_left);
    if (items.window_width) port.set_window_width(*items.window_width);
    if (items.window_height) port.set_window_height(*items.window_height);
    if (items.last_input_dir) window.last_input_dir = *items.last_input_dir;
    if (items.last_output_dir) window.last_output_dir = *items.last_output_dir;
}

bool is_existing_file(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && !error;
}

// Finds the keyword file, asking the operator while it is missing. False when the operator
// gave an empty answer.
bool locate_keyword_file(UiPort& ui, ShellSession& session) {
    session.keyword_file_path = session_system_dir(session) + std::string(keyword_file_name);
    while (!is_existing_file(session.keyword_file_path)) {
        std::string text = "Unable to locate QEX-KEYWORD file:";
        text += line_break;
        text += line_break;
        text += session.keyword_file_path;
        text += line_break;
        ui.message_box({Dialog::keyword_file_missing, text, std::string(keyword_missing_title),
                        Buttons::ok, Icon::information});
        session.keyword_file_path =
            ui.input_prompt({Dialog::keyword_path, std::string(keyword_prompt_text),
                             std::string(keyword_prompt_title), session.keyword_file_path});
        if (session.keyword_file_path.empty()) return false;
    }
    return true;
}

// Where Exit puts the settings file. An ordinary file (or none yet) is replaced whole: the
// new content goes to a temporary file beside it, which then takes its name, so that a write
// that fails leaves the old file as it was. When the name is a symbolic link, the file it
// leads to is replaced and the link stays. What cannot be replaced that way is written in
// place, as the only way left: a name taken by something that is not an ordinary file (a
// directory, a device), where the write fails and is reported, or a file in a folder in
// which no new file may be made. A file that may not be written is not replaced either:
// writing it in place fails and is reported, as its protection asks.
struct SettingsTarget {
    std::filesystem::path path;
    bool replace = false;
};

SettingsTarget settings_target(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(target, error)) {
        target = fs::canonical(target, error);
        if (error) return {path, false};  // a link that leads nowhere is written through
    }
    const fs::file_type type = fs::status(target, error).type();
    if (type != fs::file_type::regular && type != fs::file_type::not_found) return {path, false};
    if (type == fs::file_type::regular && ::access(target.c_str(), W_OK) != 0) {
        return {path, false};
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return {path, false};
    return {target, true};
}

// A name beside target that nothing has yet, for the temporary file; empty when there is none.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
    namespace fs = std::filesystem;
    for (int n = 0; n < 100; ++n) {
        fs::path candidate = target;
        candidate += n == 0 ? std::string(".new") : ".new" + std::to_string(n);
        std::error_code error;
        if (fs::symlink_status(candidate, error).type() == fs::file_type::not_found) {
            return candidate;
        }
    }
    return {};
}

// Writes text as the whole content of path. True when all of it was written and, with sync,
// has reached the disk.
bool write_file(FILEINFO& files, const std::string& path, const std::string& text, bool sync) {
    const std::int16_t number = files.open_file_checked(path, open_mode::output);
    if (number == 0) return false;
    std::FILE* stream = files.file(number);
    bool written = stream != nullptr &&
                   std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
                   std::fflush(stream) == 0;
    if (written && sync) {
        const int descriptor = fileno(stream);
        written = descriptor < 0 || ::fsync(descriptor) == 0;
    }
    // The close reports data that could not be written as well.
    const bool closed = files.close_file(number);
    return written && closed;
}

// Makes a rename in folder last through a power failure; where that cannot be done the
// rename still stands.
void sync_folder(const std::filesystem::path& folder) {
    const int descriptor =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    (void)::fsync(descriptor);
    ::close(descriptor);
}

bool write_settings(MainWindow& window, const ShellSession& session, const std::string& path) {
    namespace fs = std::filesystem;
    ShellPort& port = window.port();
    FILEINFO files(port);
    if (session.settings_opener) files.set_opener(session.settings_opener);

    Settings settings;
    settings.placeholder_value = session.placeholder_value;
    const WindowRect saved = port.window_rect_to_save();
    settings.window_top = saved.top;
    settings.window_left = saved.left;
    settings.window_width = saved.width;
    settings.window_height = saved.height;
    settings.last_input_dir = window.last_input_dir;
    settings.last_output_dir = window.last_output_dir;
    const std::string text = format_settings(settings);

    const SettingsTarget target = settings_target(path);
    if (!target.replace) return write_file(files, path, text, false);

    const fs::path temporary = temporary_beside(target.path);
    if (temporary.empty()) return false;
    std::error_code error;
    if (!write_file(files, temporary.string(), text, true)) {
        fs::remove(temporary, error);
        return false;
    }
    // The new file keeps the access rights the old one had.
    const fs::file_status old_status = fs::status(target.path, error);
    if (!error) fs::permissions(temporary, old_status.permissions(), error);
    fs::rename(temporary, target.path, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    sync_folder(target.path.parent_path());
    return true;
}

}  // namespace

std::string session_system_dir(const ShellSession& session) {
    if (session.system_dir.empty()) return system_directory();
    std::string dir = session.system_dir;
    if (dir.back() != '/') dir.push_back('/');
    return dir;
}

StartupResult run_startup(MainWindow& window, ShellSession& session) {
    ShellPort& port = window.port();

    // A caption that starts with a backspace puts the item at the right-hand end of the bar.
    const std::string help_caption = port.menu_caption(Menu::help);
    if (help_caption.empty() || help_caption.front() != '\b') {
        port.set_menu_caption(Menu::help, "\b" + help_caption);
    }

    if (session.help_viewer != nullptr) {
        const std::string program_dir =
            session.program_dir.empty() ? program_directory().string() : session.program_dir;
        session.help.set_up_help(*session.help_viewer, program_dir);
    }

    window.filelog.configure_for_startup();

    session.start_dir = current_directory();
    session.settings_file_name =
        find_settings_file(session.start_dir.empty() ? std::filesystem::path(".")
                                                     : std::filesystem::path(session.start_dir));
    if (!session.settings_file_name.empty()) {
        read_settings(window, session);
    } else {
        port.message_box({Dialog::settings_missing, std::string(settings_missing_text), "",
                          Buttons::ok, Icon::none});
    }

    if (!locate_keyword_file(port, session)) {
        port.end_program();
        return StartupResult::ended;
    }

    KeywordLoadResult loaded = load_keyword_table(session.keyword_file_path);
    if (!loaded.table) {
        port.message_box({Dialog::keyword_file_error, loaded.error_text, loaded.error_title,
                          Buttons::ok, Icon::critical});
        port.end_program();
        return StartupResult::ended;
    }
    window.view_header_strings = std::make_unique<ViewTranslation>(*loaded.table, port);
    window.header_strings =
        std::make_unique<KeywordTranslation>(std::move(*loaded.table), window.status_log(), port);

    window.set_option_defaults();
    window.restore_choices();
    return StartupResult::ready;
}

ExitResult run_exit(MainWindow& window, ShellSession& session) {
    ShellPort& port = window.port();

    // The file dialogs may have moved the working directory; the settings belong where the
    // program started. The file is opened by its full path all the same, so a start-up
    // directory that cannot be entered any more is reported rather than the settings
    // landing in some other directory.
    if (!session.start_dir.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(session.start_dir, ignored);
    }
    const std::string name = session.settings_file_name.empty() ? std::string(settings_file_name)
                                                                : session.settings_file_name;

    if (!write_settings(window, session, settings_path(session.start_dir, name))) {
        const Answer answer =
            port.message_box({Dialog::settings_unwritable, std::string(settings_unwritable_text),
                              "", Buttons::yes_no, Icon::none});
        if (answer != Answer::yes) return ExitResult::stayed;
    }
    session.help.close_help();
    port.end_program();
    return ExitResult::ended;
}

void run_unload(ShellSession& session) { session.help.close_help(); }

}  // namespace quarvent
