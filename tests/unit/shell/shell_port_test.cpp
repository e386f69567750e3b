#include "shell/shell_port.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace quarvent {
namespace {

using namespace std::string_literals;

TEST(shell_port, composed_dialog_text_keeps_whole_names_within_the_limit) {
    struct Case {
        const char* name;
        std::string directory;
        std::vector<std::string> names;
        std::size_t limit;
        std::string expected;
    };
    const Case cases[] = {
        {"no name", "/data", {}, 3000, ""},
        {"one name gives its full path", "/data", {"a.dat"}, 3000, "/data/a.dat"},
        {"one name in the root directory", "/", {"a.dat"}, 3000, "/a.dat"},
        {"one path exactly at the limit", "/data", {"a.dat"}, 11, "/data/a.dat"},
        {"one path over the limit is dropped", "/data", {"a.dat"}, 10, ""},
        {"several names in order", "/data", {"a.dat", "b.dat", "c.dat"}, 3000,
         "/data\0a.dat\0b.dat\0c.dat"s},
        {"the names after one that does not fit are dropped", "/d", {"a", "bbbbbb", "c"}, 6,
         "/d\0a"s},
        {"a text exactly at the limit keeps every name", "/d", {"a", "b"}, 6, "/d\0a\0b"s},
        {"no name fits: nothing, not the bare directory", "/d", {"aaaa", "b"}, 5, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(compose_file_dialog_text(c.directory, c.names, c.limit), c.expected);
    }
}

TEST(shell_port, join_path_never_doubles_the_separator) {
    EXPECT_EQ(join_path("/data", "a.dat"), "/data/a.dat");
    EXPECT_EQ(join_path("/data/", "a.dat"), "/data/a.dat");
    EXPECT_EQ(join_path("/", "a.dat"), "/a.dat");
}

TEST(shell_port, every_menu_and_control_has_its_own_name) {
    std::set<std::string> names;
    for (int i = 0; i < menu_count; ++i) {
        const auto name = menu_name(static_cast<Menu>(i));
        EXPECT_FALSE(name.empty()) << "menu " << i;
        names.emplace(name);
    }
    for (Control control :
         {Control::Label1, Control::Label2, Control::Label3, Control::List1, Control::Text1}) {
        names.emplace(control_name(control));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(menu_count) + 5);
    EXPECT_EQ(menu_name(Menu::optionshorten), "optionshorten");
    EXPECT_EQ(control_name(Control::Text1), "Text1");
}

}  // namespace
}  // namespace quarvent
