#include "shell/fileinfo.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::Reply;
using testing::ScriptedUi;
using testing::TempDir;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string system_text(int error) { return std::generic_category().message(error); }

TEST(fileinfo, report_file_error_shows_each_rows_message_and_maps_the_answer) {
    struct Case {
        std::int32_t number;
        Answer answer;
        std::string text;
        Buttons buttons;
        Icon icon;
        FileAction action;
    };
    const std::string details = "Details of the error";
    const std::string internal = "Internal disk error.\r\n" + details;
    const std::string illegal = "That file name is illegal.\r\n" + details;
    const Case cases[] = {
        {52, Answer::ok, illegal, Buttons::ok_cancel, Icon::exclamation, FileAction::retry},
        {53, Answer::ok, "That file name is not found.", Buttons::ok_cancel, Icon::exclamation,
         FileAction::retry},
        {53, Answer::cancel, "That file name is not found.", Buttons::ok_cancel, Icon::exclamation,
         FileAction::give_up},
        {54, Answer::ok, "Can't open the file for that type of access", Buttons::ok,
         Icon::exclamation, FileAction::retry},
        {55, Answer::cancel, "This file is already open.", Buttons::ok_cancel, Icon::exclamation,
         FileAction::give_up},
        {57, Answer::yes, internal, Buttons::yes_no, Icon::exclamation, FileAction::retry},
        {57, Answer::no, internal, Buttons::yes_no, Icon::exclamation, FileAction::give_up},
        {61, Answer::yes, "Disk is full. Continue?", Buttons::yes_no_cancel, Icon::question,
         FileAction::retry},
        {61, Answer::no, "Disk is full. Continue?", Buttons::yes_no_cancel, Icon::question,
         FileAction::give_up},
        {61, Answer::cancel, "Disk is full. Continue?", Buttons::yes_no_cancel, Icon::question,
         FileAction::give_up},
        {62, Answer::ok,
         "This file has nonstandard end-of-file marker, or an attempt was made to read beyond "
         "the end-of-file marker.",
         Buttons::ok, Icon::exclamation, FileAction::retry},
        {64, Answer::cancel, illegal, Buttons::ok_cancel, Icon::exclamation, FileAction::give_up},
        {67, Answer::yes, internal, Buttons::yes_no, Icon::exclamation, FileAction::retry},
        {68, Answer::no, "That device appears unavaiable.\r\n" + details, Buttons::yes_no,
         Icon::exclamation, FileAction::give_up},
        {71, Answer::ok, "Insert ad disk in drive and close door.", Buttons::ok, Icon::exclamation,
         FileAction::retry},
        {74, Answer::yes, internal, Buttons::yes_no, Icon::exclamation, FileAction::retry},
        {75, Answer::no, internal, Buttons::yes_no, Icon::exclamation, FileAction::give_up},
        {76, Answer::ok, "That path does not exist", Buttons::ok_cancel, Icon::exclamation,
         FileAction::retry},
        // Answers no row offers, should a platform give them anyway.
        {76, Answer::retry, "That path does not exist", Buttons::ok_cancel, Icon::exclamation,
         FileAction::retry},
        {76, Answer::ignore, "That path does not exist", Buttons::ok_cancel, Icon::exclamation,
         FileAction::skip},
        {76, Answer::abort, "That path does not exist", Buttons::ok_cancel, Icon::exclamation,
         FileAction::give_up},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("error " + std::to_string(c.number));
        ScriptedUi ui{Reply::button(c.answer)};
        FILEINFO fileinfo(ui);
        EXPECT_EQ(fileinfo.report_file_error(c.number, details), c.action);
        ASSERT_EQ(ui.dialogs().size(), 1U);
        const auto& shown = ui.dialogs().front();
        EXPECT_EQ(shown.title, "File Error");
        EXPECT_EQ(shown.text, c.text);
        EXPECT_EQ(shown.buttons, c.buttons);
        EXPECT_EQ(shown.icon, c.icon);
    }
}

TEST(fileinfo, every_row_of_the_table_is_covered_and_complete) {
    std::vector<std::int32_t> numbers;
    for (const auto& row : file_error_rows()) {
        SCOPED_TRACE(row.number);
        EXPECT_FALSE(row.message.empty());
        EXPECT_EQ(find_file_error(row.number), &row);
        numbers.push_back(row.number);
    }
    EXPECT_THAT(numbers,
                ::testing::ElementsAre(52, 53, 54, 55, 57, 61, 62, 64, 67, 68, 71, 74, 75, 76));
}

TEST(fileinfo, an_error_outside_the_table_shows_nothing) {
    for (std::int32_t number : {0, 5, 51, 56, 58, 77, -1}) {
        SCOPED_TRACE(number);
        ScriptedUi ui;
        FILEINFO fileinfo(ui);
        EXPECT_EQ(fileinfo.report_file_error(number, "details"), FileAction::unrecognised);
        EXPECT_TRUE(ui.dialogs().empty());
    }
}

TEST(fileinfo, system_errors_map_onto_the_tables_numbers) {
    TempDir dir;
    const std::string in_existing_dir = dir.file("absent.ini");
    const std::string in_missing_dir = dir.file("no-such-dir/absent.ini");
    struct Case {
        int error;
        std::string path;
        std::int32_t number;
    };
    const Case cases[] = {
        {ENOENT, in_existing_dir, 53},  {ENOENT, "bare-name.ini", 53},
        {ENOENT, in_missing_dir, 76},   {ENOTDIR, in_missing_dir, 76},
        {EACCES, in_existing_dir, 75},  {EPERM, in_existing_dir, 75},
        {EROFS, in_existing_dir, 75},   {ENOSPC, in_existing_dir, 61},
        {EMFILE, in_existing_dir, 67},  {ENFILE, in_existing_dir, 67},
        {EIO, in_existing_dir, 57},     {ENXIO, in_existing_dir, 68},
        {ENODEV, in_existing_dir, 68},  {ENAMETOOLONG, in_existing_dir, 64},
        {EINVAL, in_existing_dir, 64},  {EBUSY, in_existing_dir, 55},
        {ETXTBSY, in_existing_dir, 55}, {EISDIR, in_existing_dir, 0},
        {EEXIST, in_existing_dir, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(system_text(c.error) + " on " + c.path);
        EXPECT_EQ(file_error_number({c.error, std::generic_category()}, c.path), c.number);
    }
    EXPECT_EQ(file_error_number(make_file_error(62), in_existing_dir), 62);
}

TEST(fileinfo, opening_in_a_missing_directory_reports_the_path_and_retries_on_ok) {
    TempDir dir;
    ScriptedUi ui{Reply::button(Answer::ok), Reply::button(Answer::cancel)};
    FILEINFO fileinfo(ui);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("missing/quarvent.ini"), open_mode::output), 0);
    ASSERT_EQ(ui.dialogs().size(), 2U);
    for (const auto& shown : ui.dialogs()) {
        EXPECT_EQ(shown.title, "File Error");
        EXPECT_EQ(shown.text, "That path does not exist");
        EXPECT_EQ(shown.buttons, Buttons::ok_cancel);
    }
}

TEST(fileinfo, opening_a_missing_file_for_input_reports_it_not_found) {
    TempDir dir;
    ScriptedUi ui{Reply::button(Answer::cancel)};
    FILEINFO fileinfo(ui);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("quarvent.ini"), open_mode::input), 0);
    EXPECT_THAT(ui.dialogs(), ::testing::SizeIs(1));
    EXPECT_EQ(ui.dialogs().front().text, "That file name is not found.");
}

TEST(fileinfo, an_illegal_name_shows_the_systems_text) {
    TempDir dir;
    ScriptedUi ui{Reply::button(Answer::cancel)};
    FILEINFO fileinfo(ui);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file(std::string(300, 'x')), open_mode::output), 0);
    ASSERT_EQ(ui.dialogs().size(), 1U);
    EXPECT_EQ(ui.dialogs().front().text,
              "That file name is illegal.\r\n" + system_text(ENAMETOOLONG));
}

TEST(fileinfo, a_write_to_a_read_only_file_is_a_path_or_file_access_error) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write to any file";
    TempDir dir;
    const std::string path = dir.file("locked.ini");
    write_file(path, "x");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    ScriptedUi ui{Reply::button(Answer::no)};
    FILEINFO fileinfo(ui);
    EXPECT_EQ(fileinfo.open_file_checked(path, open_mode::output), 0);
    ASSERT_EQ(ui.dialogs().size(), 1U);
    EXPECT_EQ(ui.dialogs().front().text, "Internal disk error.\r\n" + system_text(EACCES));
}

TEST(fileinfo, a_retry_that_succeeds_returns_the_file) {
    TempDir dir;
    const std::string path = dir.file("quarvent.ini");
    ScriptedUi ui{Reply::button(Answer::yes)};
    FILEINFO fileinfo(ui);
    int opens = 0;
    fileinfo.set_opener([&](const std::string& p, std::int16_t, std::error_code& error) {
        if (++opens == 1) {
            error = {ENOSPC, std::generic_category()};
            return static_cast<std::FILE*>(nullptr);
        }
        return std::fopen(p.c_str(), "wb");
    });
    EXPECT_EQ(fileinfo.open_file_checked(path, open_mode::output), 1);
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(ui.dialogs().front().text, "Disk is full. Continue?");
    EXPECT_TRUE(fileinfo.close_file(1));
}

TEST(fileinfo, an_error_with_only_an_ok_button_is_retried_three_times_then_given_up) {
    ScriptedUi ui{Reply::button(Answer::ok), Reply::button(Answer::ok), Reply::button(Answer::ok)};
    FILEINFO fileinfo(ui);
    int opens = 0;
    fileinfo.set_opener([&](const std::string&, std::int16_t, std::error_code& error) {
        ++opens;
        error = make_file_error(71);
        return static_cast<std::FILE*>(nullptr);
    });
    EXPECT_EQ(fileinfo.open_file_checked("/media/floppy/quarvent.ini", open_mode::input), 0);
    EXPECT_EQ(opens, 4);
    EXPECT_EQ(ui.dialogs().size(), 3U);
}

TEST(fileinfo, an_unknown_error_gives_up_at_once_without_a_message) {
    TempDir dir;
    ScriptedUi ui;
    FILEINFO fileinfo(ui);
    // Opening a directory for writing fails with an error the table does not know.
    EXPECT_EQ(fileinfo.open_file_checked(dir.path().string(), open_mode::output), 0);
    EXPECT_TRUE(ui.dialogs().empty());
}

TEST(fileinfo, modes_one_to_four_open_the_file_the_modes_way) {
    struct Case {
        const char* name;
        std::int16_t mode;
        const char* before;  // nullptr: no file
        const char* write;
        const char* after;
    };
    const Case cases[] = {
        {"output creates", open_mode::output, nullptr, "new", "new"},
        {"output replaces", open_mode::output, "old contents", "new", "new"},
        {"append creates", open_mode::append, nullptr, "new", "new"},
        {"append adds at the end", open_mode::append, "old", "new", "oldnew"},
        {"random creates", open_mode::random, nullptr, "new", "new"},
        {"random keeps and overwrites from the start", open_mode::random, "old contents", "new",
         "new contents"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("file.ini");
        if (c.before != nullptr) write_file(path, c.before);
        ScriptedUi ui;
        FILEINFO fileinfo(ui);
        const std::int16_t number = fileinfo.open_file_checked(path, c.mode);
        ASSERT_EQ(number, 1);
        ASSERT_NE(fileinfo.file(number), nullptr);
        std::fputs(c.write, fileinfo.file(number));
        EXPECT_TRUE(fileinfo.close_file(number));
        EXPECT_EQ(read_file(path), c.after);
    }
}

TEST(fileinfo, input_mode_reads_an_existing_file) {
    TempDir dir;
    const std::string path = dir.file("quarvent.ini");
    write_file(path, " 0  place holder quarvent.ini\r\n");
    ScriptedUi ui;
    FILEINFO fileinfo(ui);
    const std::int16_t number = fileinfo.open_file_checked(path, open_mode::input);
    ASSERT_EQ(number, 1);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, fileinfo.file(number)), nullptr);
    EXPECT_STREQ(line, " 0  place holder quarvent.ini\r\n");
}

TEST(fileinfo, file_numbers_are_the_lowest_not_in_use) {
    TempDir dir;
    ScriptedUi ui;
    FILEINFO fileinfo(ui);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("a"), open_mode::output), 1);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("b"), open_mode::output), 2);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("c"), open_mode::output), 3);
    EXPECT_TRUE(fileinfo.close_file(2));
    EXPECT_EQ(fileinfo.file(2), nullptr);
    EXPECT_FALSE(fileinfo.close_file(2));
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("d"), open_mode::output), 2);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("e"), open_mode::output), 4);
}

TEST(fileinfo, running_out_of_file_numbers_is_too_many_files) {
    TempDir dir;
    ScriptedUi ui{Reply::button(Answer::no)};
    FILEINFO fileinfo(ui);
    fileinfo.set_opener(
        [](const std::string&, std::int16_t, std::error_code&) { return std::tmpfile(); });
    for (int i = 1; i <= FILEINFO::max_files; ++i) {
        ASSERT_EQ(fileinfo.open_file_checked(dir.file("f"), open_mode::output), i);
    }
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("f"), open_mode::output), 0);
    ASSERT_EQ(ui.dialogs().size(), 1U);
    EXPECT_THAT(ui.dialogs().front().text, ::testing::StartsWith("Internal disk error.\r\n"));
}

TEST(fileinfo, other_modes_open_nothing) {
    TempDir dir;
    for (std::int16_t mode : {0, 6, -1, 100}) {
        SCOPED_TRACE(mode);
        ScriptedUi ui;
        FILEINFO fileinfo(ui);
        EXPECT_EQ(fileinfo.open_file_checked(dir.file("x"), mode), 0);
        EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
    }
}

TEST(fileinfo, handle_mode_opens_read_write_without_a_message) {
    TempDir dir;
    const std::string path = dir.file("data.raw");
    write_file(path, "abc");
    ScriptedUi ui;
    FILEINFO fileinfo(ui);
    const std::int16_t fd = fileinfo.open_file_checked(path, open_mode::handle);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "X", 1), 1);
    ::close(fd);
    EXPECT_EQ(read_file(path), "Xbc");
}

TEST(fileinfo, handle_mode_falls_back_to_read_only_and_says_so) {
    // A directory opens for reading but never for writing, even for root.
    TempDir dir;
    ScriptedUi ui{Reply::button(Answer::ok)};
    FILEINFO fileinfo(ui);
    const std::int16_t fd = fileinfo.open_file_checked(dir.path().string(), open_mode::handle);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(ui.dialogs().size(), 1U);
    const auto& shown = ui.dialogs().front();
    EXPECT_EQ(shown.text,
              "File opened for READ ONLY. If this is not correct check/change attributes of file "
              "and try again.");
    EXPECT_EQ(shown.title, "");
    EXPECT_EQ(shown.buttons, Buttons::ok);
    EXPECT_EQ(shown.icon, Icon::none);
}

TEST(fileinfo, handle_mode_gives_the_failure_value_when_nothing_opens) {
    TempDir dir;
    ScriptedUi ui;
    FILEINFO fileinfo(ui);
    EXPECT_EQ(fileinfo.open_file_checked(dir.file("absent.raw"), open_mode::handle), -1);
    EXPECT_TRUE(ui.dialogs().empty());
}

}  // namespace
}  // namespace quarvent
