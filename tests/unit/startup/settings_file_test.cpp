#include "shell/settings_file.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::TempDir;

std::string placeholder_lines(int count, const char* value = " 0 ") {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += value;
        text += " place holder\r\n";
    }
    return text;
}

TEST(settings_file, writes_the_22_lines_exactly) {
    Settings settings;
    settings.placeholder_value = -7;
    settings.window_top = 1234.5678;  // at most seven significant digits
    settings.window_left = -15;
    settings.window_width = 7245.5;
    settings.window_height = 5400;
    settings.last_input_dir = "/data/line 1, raw";
    settings.last_output_dir = "/data/out";
    const std::string expected =
        "-7  place holder quarvent.ini\r\n"
        "-7  place holder\r\n"
        " 1234.568  form top\r\n"
        "-15  form left\r\n"
        " 7245.5  form width\r\n"
        " 5400  form height\r\n"
        "/data/line 1, raw\r\n"
        "/data/out\r\n" +
        placeholder_lines(14, "-7 ");
    EXPECT_EQ(format_settings(settings), expected);
}

TEST(settings_file, a_directory_with_a_line_break_is_not_written_into_the_file) {
    Settings settings;
    settings.last_input_dir = "/data/a\nb";
    settings.last_output_dir = "/data/c\rd";
    const std::string text = format_settings(settings);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 22U);
    const SettingsItems items = parse_settings(text);
    EXPECT_EQ(items.last_input_dir, "");
    EXPECT_EQ(items.last_output_dir, "");
}

TEST(settings_file, damaged_or_missing_items_are_skipped_one_by_one) {
    struct Row {
        const char* name;
        std::string content;
        std::optional<std::int16_t> placeholder;
        std::optional<double> top, left, width, height;
        std::optional<std::string> input_dir, output_dir;
    };
    const std::string good_head = " 3  place holder quarvent.ini\r\n 3  place holder\r\n";
    const Row rows[] = {
        {"empty file", "", {}, {}, {}, {}, {}, {}, {}},
        {"short file",
         good_head + " 600  form top\r\n 700  form left\r\n",
         3,
         600,
         700,
         {},
         {},
         {},
         {}},
        {"LF line ends and no last line end", " 1\n 2\n 10\n 20\n 30\n 40\n/in\n/out", 2, 10, 20,
         30, 40, "/in", "/out"},
        {"text instead of numbers reads as 0",
         " 5\r\n y\r\n form top\r\n--5 form left\r\n 30\r\n 40\r\n/in\r\n/out\r\n", 0, 0, 0, 30, 40,
         "/in", "/out"},
        {"empty numeric lines read as 0, which no size takes",
         good_head + "\r\n 2\r\n 3\r\n\r\n",
         3,
         0,
         2,
         3,
         {},
         {},
         {}},
        {"sizes must be positive",
         good_head + " 1\r\n 2\r\n 0  form width\r\n-400  form height\r\n\r\n\r\n",
         3,
         1,
         2,
         {},
         {},
         "",
         ""},
        {"values beyond the types are skipped",
         "99999\r\n 4\r\n 1e400\r\n-1e999\r\n 5\r\n 6\r\n/in\r\n/out\r\n 40000\r\n",
         4,
         {},
         {},
         5,
         6,
         "/in",
         "/out"},
        {"a directory is taken whole, commas and blanks included",
         good_head + " 1\r\n 2\r\n 3\r\n 4\r\n  /data/a, b  \r\nC:\\x\r\n", 3, 1, 2, 3, 4,
         "  /data/a, b  ", "C:\\x"},
        {"the last readable placeholder line wins",
         good_head + " 1\r\n 2\r\n 3\r\n 4\r\n/in\r\n/out\r\n" + placeholder_lines(13, " 9 ") +
             " 21  place holder\r\n",
         21, 1, 2, 3, 4, "/in", "/out"},
        {"a last placeholder line of text reads as 0",
         good_head + " 1\r\n 2\r\n 3\r\n 4\r\n/in\r\n/out\r\n" + placeholder_lines(13, " 9 ") +
             "junk\r\n",
         0, 1, 2, 3, 4, "/in", "/out"},
        {"an unreadable last placeholder keeps the one before",
         good_head + " 1\r\n 2\r\n 3\r\n 4\r\n/in\r\n/out\r\n" + placeholder_lines(13, " 9 ") +
             " 1e999\r\n",
         9, 1, 2, 3, 4, "/in", "/out"},
        {"placeholders round halves to even", " 2.5\r\n", 2, {}, {}, {}, {}, {}, {}},
        {"lines after the 22nd are ignored",
         good_head + " 1\r\n 2\r\n 3\r\n 4\r\n/in\r\n/out\r\n" + placeholder_lines(14) + " 8\r\n",
         0, 1, 2, 3, 4, "/in", "/out"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SettingsItems items = parse_settings(row.content);
        EXPECT_EQ(items.placeholder_value, row.placeholder);
        EXPECT_EQ(items.window_top, row.top);
        EXPECT_EQ(items.window_left, row.left);
        EXPECT_EQ(items.window_width, row.width);
        EXPECT_EQ(items.window_height, row.height);
        EXPECT_EQ(items.last_input_dir, row.input_dir);
        EXPECT_EQ(items.last_output_dir, row.output_dir);
    }
}

TEST(settings_file, reading_stops_after_22_lines_or_the_byte_limit) {
    const std::string lines_22 = placeholder_lines(22);
    struct Row {
        const char* name;
        std::string content;
        std::uintmax_t size;  // the file is grown to this size with zero bytes (sparse)
        std::string expected;
    };
    const Row rows[] = {
        {"a gigabyte without a line break", "", std::uintmax_t{1} << 30, ""},
        {"22 lines, then a gigabyte of zero bytes", lines_22, std::uintmax_t{1} << 30, lines_22},
        {"lines after the 22nd", lines_22 + placeholder_lines(8000), 0, lines_22},
        {"a line longer than the limit leaves it and the lines after it out",
         placeholder_lines(6) + std::string(settings_read_limit + 100, 'x') + "\r\n/out\r\n", 0,
         placeholder_lines(6)},
        {"a short file without a last line break is read whole", " 1\r\n 2", 0, " 1\r\n 2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string path = dir.file("quarvent.ini");
        std::ofstream(path, std::ios::binary) << row.content;
        if (row.size > 0) std::filesystem::resize_file(path, row.size);
        std::FILE* stream = std::fopen(path.c_str(), "rb");
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(read_settings_text(stream), row.expected);
        EXPECT_LE(std::ftell(stream), static_cast<long>(settings_read_limit));
        std::fclose(stream);
    }
}

TEST(settings_file, is_found_by_name_without_regard_to_case) {
    struct Row {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::string> dirs;
        std::string expected;
    };
    const Row rows[] = {
        {"none", {"other.ini"}, {}, ""},
        {"exact", {"quarvent.ini"}, {}, "quarvent.ini"},
        {"capitals keep their spelling", {"QUARVENT.INI"}, {}, "QUARVENT.INI"},
        {"the exact spelling wins",
         {"QUARVENT.INI", "quarvent.ini", "Quarvent.ini"},
         {},
         "quarvent.ini"},
        {"otherwise the first in byte order",
         {"quarvent.INI", "Quarvent.ini", "QUARVENT.INI"},
         {},
         "QUARVENT.INI"},
        {"only ordinary files", {}, {"quarvent.ini"}, ""},
        {"a directory beside a file", {"Quarvent.Ini"}, {"quarvent.ini"}, "Quarvent.Ini"},
        {"no longer names", {"quarvent.ini.bak", "my_quarvent.ini"}, {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        for (const auto& file : row.files) std::ofstream(dir.file(file)) << " 0\r\n";
        for (const auto& sub : row.dirs) std::filesystem::create_directory(dir.path() / sub);
        EXPECT_EQ(find_settings_file(dir.path()), row.expected);
    }
}

TEST(settings_file, a_directory_that_cannot_be_listed_has_none) {
    TempDir dir;
    EXPECT_EQ(find_settings_file(dir.path() / "missing"), "");
}

}  // namespace
}  // namespace quarvent
