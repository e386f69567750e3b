#include "common/enum_names.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/ui_port.hpp"
#include "tests/support/enum_printing.hpp"

namespace quarvent {
namespace {

enum class Colour : unsigned char { red, green, blue };
constexpr auto colour_names = enum_names<Colour::blue>("red", "green", "blue");

enum class Signed : short { low, high };
constexpr auto signed_names = enum_names<Signed::high>("low", "high");

TEST(enum_names, looks_up_inside_the_table_and_falls_back_outside_it) {
    struct Case {
        std::string_view found;
        std::string_view expected;
    };
    const Case cases[] = {
        {name_in(colour_names, Colour::red), "red"},
        {name_in(colour_names, Colour::blue), "blue"},
        {name_in(colour_names, static_cast<Colour>(3)), ""},
        {name_in(colour_names, static_cast<Colour>(255), "?"), "?"},
        {name_in(signed_names, Signed::high), "high"},
        {name_in(signed_names, static_cast<Signed>(-1), "?"), "?"},
        {name_in(signed_names, static_cast<Signed>(2), "?"), "?"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.found, c.expected);
}

// Every value of the port's enums has its own name, and GoogleTest shows it by that name.
template <typename Enum>
void expect_named(Enum last) {
    std::set<std::string_view> names;
    for (int i = 0; i <= static_cast<int>(last); ++i) {
        const auto value = static_cast<Enum>(i);
        EXPECT_FALSE(name_of(value).empty()) << i;
        names.insert(name_of(value));
        EXPECT_EQ(::testing::PrintToString(value), std::string(name_of(value)));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(last) + 1);
}

TEST(enum_names, port_enums_have_distinct_names_that_tests_print) {
    expect_named(Buttons::yes_no_cancel);
    expect_named(Icon::question);
    expect_named(Answer::abort);
}

TEST(enum_names, tests_print_a_value_without_a_name_by_its_number) {
    EXPECT_EQ(::testing::PrintToString(static_cast<Answer>(42)), "(unnamed value 42)");
}

}  // namespace
}  // namespace quarvent
