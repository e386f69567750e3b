#include "shell/startup.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "keywords/keyword_table.hpp"
#include "shell/main_window.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Reply;
using testing::ScriptedShellUi;
using testing::TempDir;

class RecordingViewer final : public HelpViewer {
public:
    void show_contents(const std::string& file) override { calls.push_back("contents " + file); }
    void show_topic(const std::string& file, int context) override {
        calls.push_back("topic " + std::to_string(context) + " " + file);
    }
    void quit(const std::string& file) override { calls.push_back("quit " + file); }
    std::vector<std::string> calls;
};

std::string read_text(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void write_text(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string settings_text(const std::string& head, const std::string& placeholder_value = " 0 ") {
    std::string text = head;
    for (int line = 9; line <= 22; ++line) text += placeholder_value + " place holder\r\n";
    return text;
}

const std::string saved_settings = settings_text(
    " 0  place holder quarvent.ini\r\n 0  place holder\r\n 600  form top\r\n 1200  form left\r\n"
    " 9000  form width\r\n 6000  form height\r\n/data/in\r\n/data/out\r\n");

// Each test starts the program in a directory of its own, with its keyword file in a
// system directory of its own.
class startup : public ::testing::Test {
protected:
    startup() : saved_dir_(std::filesystem::current_path()) {
        std::filesystem::current_path(start.path());
        write_text(system.path() / "QEXKEYWO.RD",
                   "* test keywords\r\nSAMPLE_INTERVAL 1 59 1000000\r\n");
        window.session.system_dir = system.path().string();
        window.session.program_dir = "/opt/quarvent";
        window.session.help_viewer = &viewer;
    }
    ~startup() override { std::filesystem::current_path(saved_dir_); }

    std::string start_file(const std::string& name) const { return start.file(name); }

    std::vector<std::string> files_in_start_dir() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(start.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempDir start;
    TempDir system;
    RecordingViewer viewer;
    ScriptedShellUi port;
    MainWindow window{port};

private:
    std::filesystem::path saved_dir_;
};

TEST_F(startup, without_a_settings_file_reports_it_and_starts_as_designed) {
    port.queue(Reply::button(Answer::ok));
    ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);

    ASSERT_EQ(port.ui().dialogs().size(), 1U);
    const auto& box = port.ui().dialogs()[0];
    EXPECT_EQ(box.text, "Can not find quarvent.INI file!\r\n");
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.buttons, Buttons::ok);
    EXPECT_EQ(box.icon, Icon::none);

    EXPECT_EQ(port.menu_caption(Menu::help), "\b&Help");
    EXPECT_TRUE(window.filelog.multi_select);
    EXPECT_TRUE(window.filelog.hide_read_only);
    EXPECT_FALSE(window.filelog.explorer);
    EXPECT_EQ(window.filelog.max_text_length, 3000U);
    EXPECT_TRUE(window.filelog.cancel_reported);
    EXPECT_EQ(window.session.help.help_file_path(), "/opt/quarvent/QUARVENT.HLP");
    EXPECT_EQ(window.session.start_dir, start.path().string());
    EXPECT_EQ(window.session.settings_file_name, "");
    EXPECT_EQ(port.window_width(), 7800);
    EXPECT_EQ(window.last_input_dir, "");
    EXPECT_TRUE(port.menu_checked(Menu::resamp1_1));
    EXPECT_EQ(window.options.resample_factor, 1);
    EXPECT_FALSE(port.program_ended());

    // The keyword table now translates the run's header strings.
    OutputTraceHeader header;
    double scale = 1.0;
    EXPECT_EQ(window.header_strings->header_string("SAMPLE_INTERVAL 0.00025", header, scale),
              HeaderStringReceiver::Result::go_on);
    EXPECT_EQ(header.word(59), 250);

    // The trace display's translation gives the same words, but what it warns about stays
    // out of the status report, which the run's translation writes to.
    OutputTraceHeader viewed;
    EXPECT_EQ(window.view_header_strings->header_string("SAMPLE_INTERVAL 0.00025", viewed, scale),
              HeaderStringReceiver::Result::go_on);
    EXPECT_EQ(viewed.word(59), 250);
    // Both hand on the interval before rounding, which a resampled record's word 59 is made
    // from: 62.5 µs at factor 2 is 125, not 2 x 62.
    for (HeaderStringReceiver* receiver :
         {window.header_strings.get(), window.view_header_strings.get()}) {
        (void)receiver->header_string("SAMPLE_INTERVAL 0.0000625", viewed, scale);
        EXPECT_EQ(receiver->unrounded_value(59), std::optional<float>(62.5F));
    }
    const std::string log_before = window.status_log().text();
    (void)window.view_header_strings->header_string("SAMPLE_INTERVAL 1000 ", viewed, scale);
    EXPECT_EQ(window.status_log().text(), log_before);
    (void)window.header_strings->header_string("SAMPLE_INTERVAL 1000 ", header, scale);
    EXPECT_THAT(window.status_log().text(), HasSubstr("Warning- Keyword->SAMPLE_INTERVAL 1000"));
    window.status_log().clear();

    // Exit creates the settings file.
    ASSERT_EQ(run_exit(window, window.session), ExitResult::ended);
    EXPECT_THAT(files_in_start_dir(), ElementsAre("quarvent.ini"));
    EXPECT_EQ(
        read_text(start_file("quarvent.ini")),
        settings_text(" 0  place holder quarvent.ini\r\n 0  place holder\r\n 0  form top\r\n"
                      " 0  form left\r\n 7800  form width\r\n 5400  form height\r\n\r\n\r\n"));
}

TEST_F(startup, reads_the_settings_file_in_order) {
    write_text(start_file("quarvent.ini"), saved_settings);
    std::vector<double> widths_at_resize;
    port.on_resize = [&] { widths_at_resize.push_back(port.window_width()); };

    ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);
    EXPECT_TRUE(port.ui().dialogs().empty());
    EXPECT_EQ(port.window_top(), 600);
    EXPECT_EQ(port.window_left(), 1200);
    EXPECT_EQ(port.window_width(), 9000);
    EXPECT_EQ(port.window_height(), 6000);
    EXPECT_THAT(widths_at_resize, ElementsAre(9000, 9000));  // width, then height
    EXPECT_EQ(window.last_input_dir, "/data/in");
    EXPECT_EQ(window.last_output_dir, "/data/out");
}

TEST_F(startup, exit_writes_the_settings_back_under_their_own_name_in_the_start_directory) {
    // Placeholders 5, 6 and 9 on the other lines, 7 on line 22.
    std::string saved = settings_text(
        " 5  place holder quarvent.ini\r\n 6  place holder\r\n 1\r\n 2\r\n 3000\r\n 4000\r\n"
        "/a\r\n/b\r\n",
        " 9 ");
    saved.replace(saved.rfind(" 9 "), 3, " 7 ");
    write_text(start_file("QUARVENT.INI"), saved);
    ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);
    EXPECT_EQ(window.session.settings_file_name, "QUARVENT.INI");
    EXPECT_EQ(window.session.placeholder_value, 7);

    // The operator moves the window, picks directories, and the working directory moves.
    port.set_window_left(-120);
    port.set_window_width(8400.5);
    window.last_output_dir = "/data/qex out";
    TempDir elsewhere;
    std::filesystem::current_path(elsewhere.path());

    ASSERT_EQ(run_exit(window, window.session), ExitResult::ended);
    EXPECT_EQ(std::filesystem::current_path(), start.path());
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
    EXPECT_THAT(files_in_start_dir(), ElementsAre("QUARVENT.INI"));
    EXPECT_EQ(read_text(start_file("QUARVENT.INI")),
              settings_text(" 7  place holder quarvent.ini\r\n 7  place holder\r\n 1  form top\r\n"
                            "-120  form left\r\n 8400.5  form width\r\n 4000  form height\r\n"
                            "/a\r\n/data/qex out\r\n",
                            " 7 "));
    EXPECT_THAT(viewer.calls, ElementsAre("quit /opt/quarvent/QUARVENT.HLP"));
    EXPECT_TRUE(port.program_ended());
}

TEST_F(startup, asks_for_the_keyword_file_until_one_is_found) {
    write_text(start_file("quarvent.ini"), saved_settings);
    std::filesystem::remove(system.path() / "QEXKEYWO.RD");
    const std::string tried = system.file("QEXKEYWO.RD");
    const std::string wrong = start_file("nothing.rd");
    const std::string right = start_file("keys.rd");
    write_text(right, "SAMPLE_INTERVAL 1 59 1000000\r\n");
    port.queue(Reply::button(Answer::ok));
    port.queue(Reply::text(wrong));
    port.queue(Reply::button(Answer::ok));
    port.queue(Reply::text(right));

    ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);
    const auto& dialogs = port.ui().dialogs();
    ASSERT_EQ(dialogs.size(), 4U);
    EXPECT_EQ(dialogs[0].title, "Keyword file not found");
    EXPECT_EQ(dialogs[0].text, "Unable to locate QEX-KEYWORD file:\r\n\r\n" + tried + "\r\n");
    EXPECT_EQ(dialogs[0].icon, Icon::information);
    EXPECT_EQ(dialogs[1].title, "Keyword Path?");
    EXPECT_EQ(dialogs[1].text, "Enter full path/file name for QEX-KEYWORD file");
    EXPECT_EQ(dialogs[1].proposed, tried);
    EXPECT_EQ(dialogs[2].text, "Unable to locate QEX-KEYWORD file:\r\n\r\n" + wrong + "\r\n");
    EXPECT_EQ(dialogs[3].proposed, wrong);
    EXPECT_EQ(window.session.keyword_file_path, right);
    EXPECT_FALSE(port.program_ended());
}

TEST_F(startup, an_empty_keyword_answer_or_an_unusable_keyword_file_ends_the_program) {
    struct Row {
        const char* name;
        const char* keyword_file;  // nullptr: none in the system directory
        std::vector<Reply> replies;
        std::vector<std::string> titles;
    };
    const Row rows[] = {
        {"cancelled",
         nullptr,
         {Reply::button(Answer::ok), Reply::text("")},
         {"Keyword file not found", "Keyword Path?"}},
        {"a directory is not a keyword file",
         "",
         {Reply::button(Answer::ok), Reply::text("")},
         {"Keyword file not found", "Keyword Path?"}},
        {"unusable", "KEY 99999 1\r\n", {Reply::button(Answer::ok)}, {keyword_file_error_title}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::filesystem::current_path(dir.path());
        write_text(dir.file("quarvent.ini"), saved_settings);
        TempDir keywords;
        if (row.keyword_file == nullptr) {
        } else if (*row.keyword_file == '\0') {
            std::filesystem::create_directory(keywords.path() / "QEXKEYWO.RD");
        } else {
            write_text(keywords.path() / "QEXKEYWO.RD", row.keyword_file);
        }
        ScriptedShellUi ui;
        for (const auto& reply : row.replies) ui.queue(reply);
        MainWindow program(ui);
        program.session.system_dir = keywords.path().string();

        EXPECT_EQ(run_startup(program, program.session), StartupResult::ended);
        EXPECT_TRUE(ui.program_ended());
        EXPECT_EQ(ui.ui().titles(), row.titles);
        EXPECT_NE(dynamic_cast<IgnoreHeaderStrings*>(program.header_strings.get()), nullptr);
        EXPECT_EQ(read_text(dir.file("quarvent.ini")), saved_settings);
        std::filesystem::current_path(start.path());
    }
}

TEST_F(startup, a_settings_file_that_cannot_be_written_asks_whether_to_exit) {
    struct Row {
        const char* name;
        bool disk_full;  // otherwise the name is taken by a directory
        Answer answer;
        ExitResult result;
    };
    const Row rows[] = {
        {"directory, stay", false, Answer::no, ExitResult::stayed},
        {"directory, exit", false, Answer::yes, ExitResult::ended},
        {"disk full, stay", true, Answer::no, ExitResult::stayed},
        {"disk full, exit", true, Answer::yes, ExitResult::ended},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::filesystem::current_path(dir.path());
        if (row.disk_full) {
            std::filesystem::create_symlink("/dev/full", dir.path() / "quarvent.ini");
        } else {
            std::filesystem::create_directory(dir.path() / "quarvent.ini");
        }
        ScriptedShellUi ui{Reply::button(Answer::ok)};  // no settings file found
        RecordingViewer help;
        MainWindow program(ui);
        program.session.system_dir = system.path().string();
        program.session.help_viewer = &help;
        ASSERT_EQ(run_startup(program, program.session), StartupResult::ready);

        ui.queue(Reply::button(row.answer));
        EXPECT_EQ(run_exit(program, program.session), row.result);
        ASSERT_EQ(ui.ui().dialogs().size(), 2U);
        const auto& question = ui.ui().dialogs()[1];
        EXPECT_EQ(question.text, "INI file can not be written. Exit Program?");
        EXPECT_EQ(question.title, "");
        EXPECT_EQ(question.buttons, Buttons::yes_no);
        EXPECT_EQ(question.icon, Icon::none);
        EXPECT_EQ(ui.program_ended(), row.result == ExitResult::ended);
        EXPECT_EQ(help.calls.size(), row.result == ExitResult::ended ? 1U : 0U);
        std::filesystem::current_path(start.path());
    }
}

// A disk that takes room bytes of the settings file it is given to write, and then is full.
struct FullDisk {
    std::FILE* file;
    std::size_t room;
};

ssize_t full_disk_write(void* cookie, const char* data, std::size_t size) {
    auto* disk = static_cast<FullDisk*>(cookie);
    const std::size_t taken = std::min(size, disk->room);
    if (taken > 0 && std::fwrite(data, 1, taken, disk->file) != taken) return -1;
    disk->room -= taken;
    if (taken < size) {
        errno = ENOSPC;
        if (taken == 0) return -1;
    }
    return static_cast<ssize_t>(taken);
}

int full_disk_close(void* cookie) {
    auto* disk = static_cast<FullDisk*>(cookie);
    const int result = std::fclose(disk->file);
    delete disk;
    return result;
}

// Opens the settings file for reading as the system does, and for writing on a disk with
// room bytes free.
FILEINFO::Opener full_disk_opener(std::size_t room) {
    return [room](const std::string& path, std::int16_t mode, std::error_code& error) {
        std::FILE* file = std::fopen(path.c_str(), mode == open_mode::input ? "rb" : "wb");
        if (file == nullptr) {
            error.assign(errno, std::generic_category());
            return static_cast<std::FILE*>(nullptr);
        }
        if (mode == open_mode::input) return file;
        cookie_io_functions_t functions{};
        functions.write = full_disk_write;
        functions.close = full_disk_close;
        return fopencookie(new FullDisk{file, room}, "w", functions);
    };
}

TEST_F(startup, a_failing_write_leaves_the_old_settings_file_whole) {
    struct Row {
        const char* name;
        const char* file_name;
        std::size_t room;
        bool written;
    };
    const Row rows[] = {
        {"the disk fills after 100 bytes", "quarvent.ini", 100, false},
        {"the disk is full", "QUARVENT.INI", 0, false},
        {"room enough: replaced under its own spelling", "QUARVENT.INI", 1 << 20, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::filesystem::current_path(dir.path());
        write_text(dir.file(row.file_name), saved_settings);
        ScriptedShellUi ui;
        MainWindow program(ui);
        program.session.system_dir = system.path().string();
        program.session.settings_opener = full_disk_opener(row.room);
        ASSERT_EQ(run_startup(program, program.session), StartupResult::ready);
        ASSERT_EQ(program.last_input_dir, "/data/in");
        program.last_input_dir = "/data/line 2";

        if (!row.written) ui.queue(Reply::button(Answer::no));
        EXPECT_EQ(run_exit(program, program.session),
                  row.written ? ExitResult::ended : ExitResult::stayed);
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            files.push_back(entry.path().filename().string());
        }
        EXPECT_THAT(files, ElementsAre(row.file_name));
        const std::string content = read_text(dir.file(row.file_name));
        if (row.written) {
            EXPECT_NE(content.find("\r\n/data/line 2\r\n"), std::string::npos);
            EXPECT_THAT(ui.ui().dialogs(), ::testing::IsEmpty());
        } else {
            EXPECT_EQ(content, saved_settings);
            ASSERT_EQ(ui.ui().dialogs().size(), 1U);
            EXPECT_EQ(ui.ui().dialogs()[0].text, "INI file can not be written. Exit Program?");
        }
        std::filesystem::current_path(start.path());
    }
}

TEST_F(startup, exit_replaces_the_file_a_linked_settings_file_leads_to_and_keeps_its_rights) {
    TempDir elsewhere;
    const std::string real = elsewhere.file("shared.ini");
    write_text(real, saved_settings);
    std::filesystem::permissions(
        real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::create_symlink(real, start_file("quarvent.ini"));
    ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);
    window.last_output_dir = "/data/line 3";

    ASSERT_EQ(run_exit(window, window.session), ExitResult::ended);
    EXPECT_TRUE(std::filesystem::is_symlink(start_file("quarvent.ini")));
    EXPECT_NE(read_text(real).find("\r\n/data/line 3\r\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(real).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_THAT(files_in_start_dir(), ElementsAre("quarvent.ini"));
    std::vector<std::string> beside_real;
    for (const auto& entry : std::filesystem::directory_iterator(elsewhere.path())) {
        beside_real.push_back(entry.path().filename().string());
    }
    EXPECT_THAT(beside_real, ElementsAre("shared.ini"));
}

TEST_F(startup, closing_the_window_only_closes_the_help_viewer) {
    write_text(start_file("quarvent.ini"), saved_settings);
    ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);
    port.set_window_width(5000);
    run_unload(window.session);
    EXPECT_THAT(viewer.calls, ElementsAre("quit /opt/quarvent/QUARVENT.HLP"));
    EXPECT_EQ(read_text(start_file("quarvent.ini")), saved_settings);
    EXPECT_FALSE(port.program_ended());
}

}  // namespace
}  // namespace quarvent
