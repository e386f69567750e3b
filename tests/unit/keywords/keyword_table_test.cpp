#include "keywords/keyword_table.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/enum_printing.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::TempDir;

std::string write_text(const TempDir& dir, const std::string& content) {
    const std::string path = dir.file("QEXKEYWO.RD");
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

struct Expected {
    std::string keyword;
    std::int16_t code;
    std::int32_t p1;
    std::int32_t p2;
    std::int32_t p10 = 0;
};

TEST(load_keyword_table, splits_lines_into_fields) {
    struct Row {
        const char* name;
        std::string content;
        std::vector<Expected> entries;
    };
    const Row rows[] = {
        {"empty file", "", {}},
        {"comments only", "* one\r\n*two\r\n*\r\n", {}},
        {"full entry", "K 1 59 1000\r\n", {{"K ", 1, 59, 1000}}},
        {"short entry", "K 2 5\r\n", {{"K ", 2, 5, 0}}},
        {"code with a blank after it", "K 7 \r\n", {{"K ", 7, 0, 0}}},
        {"code without a blank is P1", "K 7\r\n", {{"K ", 0, 7, 0}}},
        {"empty line", "\r\n", {{"", 0, 0, 0}}},
        {"no blank: whole line is P1", "42abc\r\n", {{"", 0, 42, 0}}},
        {"two blanks: empty code field", "K  1 12\r\n", {{"K ", 0, 1, 12}}},
        {"fields each ending in a blank", "K 1 12 1000 \r\n", {{"K ", 1, 12, 1000}}},
        {"tab is part of the keyword", "K\t1 12\r\n", {{"K\t1 ", 0, 12, 0}}},
        {"halves round to even", "K 2.5 3.5 \r\n", {{"K ", 2, 4, 0}}},
        {"twelve fields keep eleven", "K 1 2 3 4 5 6 7 8 9 10 11 12 13\r\n", {{"K ", 1, 2, 3, 11}}},
        {"leading blank is the keyword", " 1 5\r\n", {{" ", 1, 5, 0}}},
        {"blank then star is an entry", " *\r\n", {{" ", 0, 0, 0}}},
        {"keyword case kept", "Sample_Interval 1 59 1\r\n", {{"Sample_Interval ", 1, 59, 1}}},
        {"not a number reads 0", "K x 59\r\n", {{"K ", 0, 59, 0}}},
        {"comment between entries",
         "A 1 1 1\r\n* note\r\nB 1 2 2\r\n",
         {{"A ", 1, 1, 1}, {"B ", 1, 2, 2}}},
        {"LF line ends", "A 1 1 1\nB 1 2 2\n", {{"A ", 1, 1, 1}, {"B ", 1, 2, 2}}},
        {"last line without line end", "A 1 1 1\r\nB 1 2 2", {{"A ", 1, 1, 1}, {"B ", 1, 2, 2}}},
        {"cut-off CR at the end is no line", "A 1 1 1\r\n\r", {{"A ", 1, 1, 1}}},
        {"lone CR stays in the line", "A 1 1 1\r\r\n", {{"A ", 1, 1, 1}}},
        {"ending with an empty line", "A 1 1 1\r\n\r\n", {{"A ", 1, 1, 1}, {"", 0, 0, 0}}},
        {"32-bit ends", "K 1 -2147483648 2147483647\r\n", {{"K ", 1, -2147483648, 2147483647}}},
        {"16-bit code ends",
         "K -32768 1\r\nL 32767 1\r\n",
         {{"K ", -32768, 1, 0}, {"L ", 32767, 1, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const KeywordLoadResult result = load_keyword_table(write_text(dir, row.content));
        ASSERT_TRUE(result.table.has_value()) << result.error_text;
        EXPECT_EQ(result.error, KeywordFileError::none);
        const KeywordTable& table = *result.table;
        ASSERT_EQ(table.entry_count(), static_cast<std::int16_t>(row.entries.size()));
        for (std::size_t i = 0; i < row.entries.size(); ++i) {
            const KeywordEntry& entry = table.entry(static_cast<int>(i) + 1);
            const Expected& expected = row.entries[i];
            EXPECT_EQ(entry.keyword, expected.keyword) << "entry " << i + 1;
            EXPECT_EQ(entry.function_code, expected.code) << "entry " << i + 1;
            EXPECT_EQ(entry.p1(), expected.p1) << "entry " << i + 1;
            EXPECT_EQ(entry.p2(), expected.p2) << "entry " << i + 1;
            EXPECT_EQ(entry.params[9], expected.p10) << "entry " << i + 1;
        }
    }
}

TEST(load_keyword_table, refuses_values_that_do_not_fit_and_names_file_and_line) {
    struct Row {
        const char* name;
        std::string content;
        KeywordFileError error;
        int line;
        const char* shown;  // text the message must hold besides the path and line
    };
    const Row rows[] = {
        {"code too large", "* c\r\nK 32768 1\r\n", KeywordFileError::code_out_of_range, 2, "32768"},
        {"code rounds too small", "K -32768.6 1\r\n", KeywordFileError::code_out_of_range, 1,
         "-32768.6"},
        {"code infinite", "A 1 1 1\r\nK 1e999 1\r\n", KeywordFileError::code_out_of_range, 2,
         "1e999"},
        {"P1 too large", "K 1 2147483648 1\r\n", KeywordFileError::parameter_out_of_range, 1,
         "P1 = 2147483648"},
        {"P10 too small", "K 1 0 0 0 0 0 0 0 0 0 -2147483649\r\n",
         KeywordFileError::parameter_out_of_range, 1, "P10 = -2147483649"},
        {"last field read whole", "\r\n\r\nK 1 5 9e99", KeywordFileError::parameter_out_of_range, 3,
         "P2 = 9e99"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string path = write_text(dir, row.content);
        const KeywordLoadResult result = load_keyword_table(path);
        EXPECT_FALSE(result.table.has_value());
        EXPECT_EQ(result.error, row.error);
        EXPECT_EQ(result.line_number, row.line);
        EXPECT_EQ(result.error_title, "Keyword File Error");
        EXPECT_NE(result.error_text.find(path), std::string::npos) << result.error_text;
        EXPECT_NE(result.error_text.find("line " + std::to_string(row.line) + " "),
                  std::string::npos)
            << result.error_text;
        EXPECT_NE(result.error_text.find(row.shown), std::string::npos) << result.error_text;
    }
}

TEST(load_keyword_table, fields_after_p10_are_not_checked) {
    TempDir dir;
    const auto result = load_keyword_table(write_text(dir, "K 1 1 2 3 4 5 6 7 8 9 10 9e99\r\n"));
    ASSERT_TRUE(result.table.has_value()) << result.error_text;
    EXPECT_EQ(result.table->entry(1).params[9], 10);
}

TEST(load_keyword_table, unreadable_file_is_an_error) {
    TempDir dir;
    struct Row {
        const char* name;
        std::string path;
    };
    const Row rows[] = {{"missing", dir.file("absent.rd")}, {"directory", dir.path().string()}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const KeywordLoadResult result = load_keyword_table(row.path);
        EXPECT_FALSE(result.table.has_value());
        EXPECT_EQ(result.error, KeywordFileError::cannot_read);
        EXPECT_EQ(result.error_title, "Keyword File Error");
        EXPECT_NE(result.error_text.find(row.path), std::string::npos) << result.error_text;
        EXPECT_NE(result.error_text.find("line 1"), std::string::npos) << result.error_text;
    }
}

std::string entry_lines(int count) {
    std::string text = "* many entries\r\n";
    for (int i = 1; i <= count; ++i) {
        text += "K" + std::to_string(i) + " 1 " + std::to_string(i % 121) + " " +
                std::to_string(i) + "\r\n";
        if (i % 1000 == 0) text += "* comments do not count\r\n";
    }
    return text;
}

TEST(load_keyword_table, growth_keeps_every_earlier_entry) {
    // Across the steps of 10 and well beyond: every entry keeps its own values.
    for (const int count : {9, 10, 11, 21, 105}) {
        SCOPED_TRACE(count);
        TempDir dir;
        const auto result = load_keyword_table(write_text(dir, entry_lines(count)));
        ASSERT_TRUE(result.table.has_value()) << result.error_text;
        ASSERT_EQ(result.table->entry_count(), count);
        for (int i = 1; i <= count; ++i) {
            const KeywordEntry& entry = result.table->entry(i);
            ASSERT_EQ(entry.keyword, "K" + std::to_string(i) + " ");
            ASSERT_EQ(entry.p2(), i);
            ASSERT_EQ(entry.params[2], 0);
        }
    }
}

TEST(load_keyword_table, holds_32760_entries_and_refuses_the_32761st) {
    TempDir dir;
    const auto full = load_keyword_table(write_text(dir, entry_lines(32760)));
    ASSERT_TRUE(full.table.has_value()) << full.error_text;
    EXPECT_EQ(full.table->entry_count(), 32760);
    EXPECT_EQ(full.table->entry(32760).keyword, "K32760 ");

    const auto over = load_keyword_table(write_text(dir, entry_lines(32761)));
    EXPECT_FALSE(over.table.has_value());
    EXPECT_EQ(over.error, KeywordFileError::too_many_entries);
    // 1 heading comment and 32 comments among the entries come before the 32,761st entry.
    EXPECT_EQ(over.line_number, 32761 + 1 + 32);
    EXPECT_NE(over.error_text.find("32760"), std::string::npos) << over.error_text;
}

TEST(keyword_file_error_text, every_error_has_a_text) {
    const KeywordFileError errors[] = {
        KeywordFileError::cannot_read, KeywordFileError::code_out_of_range,
        KeywordFileError::parameter_out_of_range, KeywordFileError::too_many_entries};
    for (const KeywordFileError error : errors) {
        SCOPED_TRACE(::testing::PrintToString(error));
        const std::string text = keyword_file_error_text(error, "/x/QEXKEYWO.RD", 7, "9", 2);
        EXPECT_NE(text.find("/x/QEXKEYWO.RD"), std::string::npos) << text;
        EXPECT_NE(text.find("line 7"), std::string::npos) << text;
    }
    EXPECT_EQ(keyword_file_error_text(KeywordFileError::none, "p", 1, ""), "");
}

}  // namespace
}  // namespace quarvent
