#include "common/numbers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace quarvent {
namespace {

TEST(read_number, reads_the_leading_number_of_a_text) {
    struct Row {
        std::string text;
        double expected;
    };
    const Row rows[] = {
        {"", 0},
        {"abc", 0},
        {"12abc", 12},
        {"7.5", 7.5},
        {"-3", -3},
        {"+4.25", 4.25},
        {".5", 0.5},
        {"-.5", -0.5},
        {"1.2.3", 1.2},
        {"1 2 3", 123},    // blanks anywhere are ignored
        {"1\t0\n0", 100},  // so are tabs and line feeds
        {"1\r0", 1},       // a carriage return is not
        {"  -  42", -42},
        {"1e3", 1000},
        {"2.5E-1", 0.25},
        {"1e", 1},  // an exponent letter without digits ends the number
        {"1e+", 1},
        {"3d2", 3},  // only E marks an exponent
        {"0.000125", 0.000125},
        {"-", 0},
        {".", 0},
        {"+.", 0},
        {"10:30:00", 10},
        {"0.25\0", 0.25},
        {"1e400", std::numeric_limits<double>::infinity()},
        {"-1e400", -std::numeric_limits<double>::infinity()},
        {"1e-400", 0},
        {"0.0000e999", 0},
        // leading zeros do not make an overflowing number look small, nor the reverse
        {"0" + std::string(400, '9') + "e-7", std::numeric_limits<double>::infinity()},
        {"000.00" + std::string(400, '9') + "e-400", 0.0},
        {"00" + std::string(320, '9'), std::numeric_limits<double>::infinity()},
        {"0.000" + std::string(10, '1') + "e-330", 0.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(read_number(row.text), row.expected);
    }
}

TEST(round_half_even, halves_go_to_the_even_neighbour) {
    const double rows[][2] = {{2.5, 2},   {3.5, 4},   {500.5, 500}, {501.5, 502},
                              {-2.5, -2}, {-3.5, -4}, {0.49, 0},    {0.51, 1},
                              {-0.5, 0},  {6.5, 6},   {7.5, 8},     {1e20, 1e20}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(round_half_even(row[0]), row[1]);
    }
}

TEST(round_half_even, narrowing_refuses_values_that_do_not_fit) {
    EXPECT_EQ(to_int16(32767.4), std::optional<std::int16_t>(32767));
    EXPECT_EQ(to_int16(32767.5), std::nullopt);  // rounds to 32768
    EXPECT_EQ(to_int16(-32768.5), std::optional<std::int16_t>(-32768));
    EXPECT_EQ(to_int16(-32769), std::nullopt);
    EXPECT_EQ(to_int16(std::nan("")), std::nullopt);
    EXPECT_EQ(to_int32(2147483647.0), std::optional<std::int32_t>(2147483647));
    EXPECT_EQ(to_int32(2147483648.0), std::nullopt);
    EXPECT_EQ(to_int32(-2147483648.0), std::optional<std::int32_t>(-2147483648LL));
}

TEST(to_float, holds_values_beyond_the_float_range_at_an_infinity) {
    constexpr double largest = std::numeric_limits<float>::max();
    constexpr float inf = std::numeric_limits<float>::infinity();
    const double rows[][2] = {{0, 0},
                              {250.5, 250.5F},
                              {-1, -1},
                              {largest, largest},
                              {largest * 2, inf},
                              {-largest * 2, -inf},
                              {1e300, inf},
                              {-1e300, -inf}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(to_float(row[0]), static_cast<float>(row[1]));
    }
    EXPECT_TRUE(std::isnan(to_float(std::nan(""))));
}

TEST(number_text, blank_for_not_negative_minus_otherwise) {
    struct Row {
        double value;
        const char* expected;
    };
    const Row rows[] = {{0, " 0"},       {-0.0, " 0"},      {2.5, " 2.5"},
                        {-7, "-7"},      {32768, " 32768"}, {0.001199, " 0.001199"},
                        {1e20, " 1E+20"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(number_text(row.value), row.expected);
    }
    EXPECT_EQ(number_text(0.1F), " 0.1");  // a 32-bit real shows its own seven digits
    EXPECT_EQ(number_text(250.0F), " 250");
    EXPECT_EQ(number_text(static_cast<std::int16_t>(-32768)), "-32768");
}

}  // namespace
}  // namespace quarvent
