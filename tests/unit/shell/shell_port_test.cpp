#include "shell/shell_port.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "shell/settings_file.hpp"

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
        {"several names in order",
         "/data",
         {"a.dat", "b.dat", "c.dat"},
         3000,
         "/data\0a.dat\0b.dat\0c.dat"s},
        {"the names after one that does not fit are dropped",
         "/d",
         {"a", "bbbbbb", "c"},
         6,
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

// A window size in pixels, saved in twips to the settings file and read back, gives the same
// pixels at any screen resolution.
TEST(shell_port, pixels_survive_twips_and_the_settings_file) {
    for (const int dpi : {72, 96, 110, 120, 144, 157, 192, 240}) {
        const double twips_per_pixel = 1440.0 / dpi;
        for (const int pixels : {-1200, -1, 0, 1, 7, 333, 640, 1919, 3840, 7680}) {
            SCOPED_TRACE(::testing::Message() << dpi << " dpi, " << pixels << " px");
            Settings settings;
            settings.window_top = pixels_to_twips(pixels, twips_per_pixel);
            settings.window_left = pixels_to_twips(pixels, twips_per_pixel);
            settings.window_width = pixels_to_twips(std::abs(pixels) + 1, twips_per_pixel);
            const SettingsItems read = parse_settings(format_settings(settings));
            ASSERT_TRUE(read.window_top && read.window_left && read.window_width);
            EXPECT_EQ(twips_to_pixels(*read.window_top, twips_per_pixel), pixels);
            EXPECT_EQ(twips_to_pixels(*read.window_left, twips_per_pixel), pixels);
            EXPECT_EQ(twips_to_pixels(*read.window_width, twips_per_pixel), std::abs(pixels) + 1);
        }
    }
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
