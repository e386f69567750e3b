#include "common/status_log.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/scripted_ui.hpp"

namespace quarvent {
namespace {

using ::testing::EndsWith;
using testing::ScriptedUi;

std::string line(char c, std::size_t length) { return std::string(length - 2, c) + "\r\n"; }

// Either way of keeping, the window receives every character, and the length the run's
// 32000 rule reads counts them; only the text-keeping log can give its text back.
TEST(status_log, keeping_the_length_only_holds_no_text) {
    for (const StatusLog::Keeping keeping :
         {StatusLog::Keeping::text, StatusLog::Keeping::length_only}) {
        const bool keeps_text = keeping == StatusLog::Keeping::text;
        SCOPED_TRACE(keeps_text ? "text" : "length only");
        ScriptedUi ui;
        StatusLog log(ui, keeping);
        log.append(std::string("ab\0c", 4));
        log.append(line('x', 40'000));
        EXPECT_EQ(log.size(), 40'003u);
        EXPECT_EQ(ui.text1(), "abc" + line('x', 40'000));
        EXPECT_EQ(log.text(), keeps_text ? ui.text1() : "");
        log.clear();
        EXPECT_EQ(log.size(), 0u);
        EXPECT_EQ(log.text(), "");
    }
}

// One file's header string messages are shown up to 1000 lines or 100,000 characters; the
// rest are counted, and the end of the file's messages gives the count.
TEST(status_log, header_string_messages_beyond_the_limit_are_counted) {
    struct Row {
        const char* name;
        std::size_t lines;
        std::size_t line_length;
        std::size_t shown;
    };
    const Row rows[] = {
        {"a few", 3, 30, 3},
        {"exactly the line limit", 1000, 30, 1000},
        {"past the line limit", 1500, 30, 1000},
        {"long lines: the character limit first", 300, 1000, 100},
        {"one line longer than the character limit", 2, 150'000, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedUi ui;
        StatusLog log(ui);
        for (std::size_t i = 0; i < row.lines; ++i) {
            log.append_header_string_message(line('m', row.line_length));
        }
        log.end_header_string_messages();
        std::string expected;
        for (std::size_t i = 0; i < row.shown; ++i) expected += line('m', row.line_length);
        if (row.shown < row.lines) {
            expected += "... " + std::to_string(row.lines - row.shown) +
                        " more header string messages of this file not shown\r\n";
        }
        EXPECT_EQ(log.text(), expected);

        // The next file's messages are shown afresh; other entries are never held back.
        log.clear();
        log.append_header_string_message("next file\r\n");
        log.append("entry\r\n");
        log.end_header_string_messages();
        EXPECT_EQ(log.text(), "next file\r\nentry\r\n");
    }
}

// However much one file's turn appends, the log and the window are emptied before they hold
// more than the hard limit.
TEST(status_log, a_log_growing_without_end_stays_bounded) {
    ScriptedUi ui;
    StatusLog log(ui);
    const std::string entry = line('e', 4000);
    std::size_t largest = 0;
    for (int i = 0; i < 1000; ++i) {
        log.append(entry);
        largest = std::max(largest, log.text().size());
        ASSERT_LE(ui.text1().size(), StatusLog::hard_limit);
    }
    EXPECT_LE(largest, StatusLog::hard_limit);
    EXPECT_GE(ui.text1_clears(), 3);
    EXPECT_EQ(log.size(), log.text().size());
    EXPECT_THAT(log.text(), EndsWith(entry));
}

}  // namespace
}  // namespace quarvent
