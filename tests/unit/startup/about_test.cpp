#include "shell/about.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "tests/support/scripted_ui.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using testing::Reply;
using testing::ScriptedUi;

// An About window at 15 twips per pixel with a frame of 8 by 30 pixels. It logs what
// happens to it, and show_modal runs the operator's clicks.
struct FakeAboutWindow final : AboutWindowPort {
    std::map<std::string, PictureLoad> pictures;
    std::vector<std::string>* log = nullptr;
    std::function<void(About&)> clicks;
    std::string picture, title_text;
    double width = 4500, height = 3000, x = 0, y = 0, button_top = 0;
    bool shown = false;

    PictureLoad load_picture(const std::string& path) override {
        log->push_back("load " + path);
        const auto it = pictures.find(path);
        const PictureLoad result = it == pictures.end() ? PictureLoad::not_found : it->second;
        if (result == PictureLoad::loaded) picture = path;
        return result;
    }
    bool has_picture() const override { return !picture.empty(); }
    double twips_per_pixel_x() const override { return 15; }
    double twips_per_pixel_y() const override { return 15; }
    double outer_width() const override { return width + 8 * 15; }
    double outer_height() const override { return height + 30 * 15; }
    double client_width() const override { return width; }
    double client_height() const override { return height; }
    void set_outer_size(double w, double h) override { width = w - 8 * 15, height = h - 30 * 15; }
    double left() const override { return x; }
    double top() const override { return y; }
    void set_position(double l, double t) override { x = l, y = t; }
    void set_title(std::string_view t) override { title_text = t; }
    std::string title() const override { return title_text; }
    double command1_height() const override { return 25 * 15; }
    double command1_top() const override { return button_top; }
    void set_command1_top(double t) override { button_top = t; }
    void show_modal(About& about) override {
        log->push_back("shown " + std::to_string(int(client_width() / 15)) + "x" +
                       std::to_string(int(client_height() / 15)) + " at " + std::to_string(int(x)) +
                       "," + std::to_string(int(y)) + ", OK at " +
                       std::to_string(int(button_top / 15)) + ": " + title_text);
        shown = true;
        if (clicks) clicks(about);
        shown = false;
    }
    void unload() override { log->push_back(shown ? "unload while shown" : "unload"); }
};

struct FakeFactory final : AboutWindowFactory {
    std::function<void(About&)> clicks;
    std::vector<std::string> log;
    std::unique_ptr<AboutWindowPort> load_about() override {
        auto window = std::make_unique<FakeAboutWindow>();
        window->log = &log;
        window->clicks = clicks;
        window->pictures = {{"qexabout.bmp", PictureLoad::loaded}};
        return window;
    }
};

TEST(about, looks_for_the_picture_in_the_system_directory_then_the_working_directory) {
    struct Row {
        const char* name;
        std::map<std::string, PictureLoad> pictures;
        std::vector<std::string> loads;
        std::string picture;
    };
    const Row rows[] = {
        {"in the system directory",
         {{"/sys/qexabout.bmp", PictureLoad::loaded}},
         {"load /sys/qexabout.bmp"},
         "/sys/qexabout.bmp"},
        {"only in the working directory",
         {{"qexabout.bmp", PictureLoad::loaded}},
         {"load /sys/qexabout.bmp", "load qexabout.bmp"},
         "qexabout.bmp"},
        {"damaged in the system directory",
         {{"/sys/qexabout.bmp", PictureLoad::failed}, {"qexabout.bmp", PictureLoad::loaded}},
         {"load /sys/qexabout.bmp"},
         ""},
        {"nowhere", {}, {"load /sys/qexabout.bmp", "load qexabout.bmp"}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> log;
        FakeAboutWindow window;
        window.log = &log;
        window.pictures = row.pictures;
        ScriptedUi ui;  // no message in any case
        About about(window, ui, "/sys/");
        about.Form_Load();
        EXPECT_EQ(log, row.loads);
        EXPECT_EQ(window.picture, row.picture);
    }
}

TEST(about, opens_centred_over_the_main_window_each_time_with_a_388_by_253_client_area) {
    FakeFactory factory;
    ScriptedUi ui;
    show_about(factory, ui, {1000, 2000, 9000, 6000}, "/sys/");
    show_about(factory, ui, {-3000, 0, 7800, 5400}, "/sys/");
    // Outer size 396 x 283 pixels, 5940 x 4245 twips; OK on the client area's bottom edge.
    EXPECT_THAT(
        factory.log,
        ElementsAre("load /sys/qexabout.bmp", "load qexabout.bmp",
                    "shown 388x253 at 2530,2877, OK at 228: QUARVENT  Ver. 4.1.32b", "unload",
                    "load /sys/qexabout.bmp", "load qexabout.bmp",
                    "shown 388x253 at -2070,577, OK at 228: QUARVENT  Ver. 4.1.32b", "unload"));
}

TEST(about, body_click_shows_the_credits_and_ok_the_disclaimer_before_closing) {
    FakeFactory factory;
    ScriptedUi ui{Reply::button(Answer::ok), Reply::button(Answer::ok)};
    factory.clicks = [&](About& about) {
        about.Form_Click();
        factory.log.push_back("after the credits");
        about.Command1_Click();
    };
    show_about(factory, ui, {0, 0, 7800, 5400}, "/sys/");

    ASSERT_EQ(ui.dialogs().size(), 2U);
    const auto& credits = ui.dialogs()[0];
    EXPECT_EQ(credits.title, "About");
    EXPECT_EQ(credits.icon, Icon::information);
    EXPECT_EQ(credits.buttons, Buttons::ok);
    EXPECT_EQ(credits.text.substr(0, 24), "QUARVENT  Ver. 4.1.32b\r\n");
    EXPECT_EQ(std::count(credits.text.begin(), credits.text.end(), '\n'), 2);
    EXPECT_NE(credits.text.back(), '\n');

    const auto& disclaimer = ui.dialogs()[1];
    EXPECT_EQ(disclaimer.title, "");
    EXPECT_EQ(disclaimer.icon, Icon::none);
    EXPECT_EQ(disclaimer.buttons, Buttons::ok);
    EXPECT_EQ(std::count(disclaimer.text.begin(), disclaimer.text.end(), '\n'), 6);
    EXPECT_EQ(disclaimer.text.substr(disclaimer.text.size() - 2), "\r\n");
    EXPECT_NE(disclaimer.text.find("liability"), std::string::npos);

    // The window closes only once the disclaimer has been answered.
    EXPECT_EQ(factory.log[3], "after the credits");
    EXPECT_EQ(factory.log[4], "unload while shown");
}

}  // namespace
}  // namespace quarvent
