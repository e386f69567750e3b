#include "common/trace_header.hpp"

#include <gtest/gtest.h>

#include "common/status_log.hpp"
#include "tests/support/scripted_ui.hpp"

namespace quarvent {
namespace {

TEST(trace_header, words_are_written_little_endian_in_order_without_the_scratch_word) {
    OutputTraceHeader header;
    header.word(0) = 0x7777;
    header.word(1) = 0x0102;
    header.word(60) = 21930;
    header.word(120) = -2;
    const auto bytes = header.to_bytes();
    ASSERT_EQ(bytes.size(), 240U);
    EXPECT_EQ(bytes[0], 0x02);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[118], 0xAA);  // word 60 at byte 2 * 59
    EXPECT_EQ(bytes[119], 0x55);
    EXPECT_EQ(bytes[238], 0xFE);
    EXPECT_EQ(bytes[239], 0xFF);
}

TEST(trace_header, clear_zeroes_words_1_to_120_and_keeps_the_scratch_word) {
    OutputTraceHeader header;
    for (int n = 0; n <= 120; ++n) header.word(n) = static_cast<std::int16_t>(n + 1);
    header.clear();
    EXPECT_EQ(header.word(0), 1);
    for (int n = 1; n <= 120; ++n) EXPECT_EQ(header.word(n), 0) << n;
}

TEST(status_log, leaves_out_nul_characters_and_mirrors_into_text1) {
    testing::ScriptedUi ui;
    StatusLog log(ui);
    log.append(std::string_view("abc\0\0", 5));
    log.append("\r\n");
    EXPECT_EQ(log.text(), "abc\r\n");
    EXPECT_EQ(ui.text1(), "abc\r\n");
    log.clear();
    EXPECT_EQ(log.size(), 0U);
    EXPECT_EQ(ui.text1(), "");
}

}  // namespace
}  // namespace quarvent
