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

// The About window as it stood when it was shown.
struct Shown {
    double client_width, client_height, command1_top, left, top;
    std::string title;
};

// An About window with a frame of 8 by 30 pixels at 15 twips per pixel; show_modal runs the
// operator's clicks.
class FakeAboutWindow final : public AboutWindowPort {
public:
    FakeAboutWindow(std::map<std::string, PictureLoad> pictures, std::vector<std::string>& events,
                    std::function<void(About&)> clicks, std::vector<Shown>* shown = nullptr)
        : pictures_(std::move(pictures)), events_(events), clicks_(std::move(clicks)),
          shown_log_(shown) {}

    PictureLoad load_picture(const std::string& path) override {
        events_.push_back("load " + path);
        const auto it = pictures_.find(path);
        const PictureLoad result = it == pictures_.end() ? PictureLoad::not_found : it->second;
        if (result == PictureLoad::loaded) picture_ = path;
        return result;
    }
    bool has_picture() const override { return !picture_.empty(); }
    double twips_per_pixel_x() const override { return 15; }
    double twips_per_pixel_y() const override { return 15; }
    double outer_width() const override { return width_ + 8 * 15; }
    double outer_height() const override { return height_ + 30 * 15; }
    double client_width() const override { return width_; }
    double client_height() const override { return height_; }
    void set_outer_size(double width, double height) override {
        width_ = width - 8 * 15;
        height_ = height - 30 * 15;
    }
    double left() const override { return left_; }
    double top() const override { return top_; }
    void set_position(double left, double top) override {
        left_ = left;
        top_ = top;
    }
    void set_title(std::string_view title) override { title_ = title; }
    std::string title() const override { return title_; }
    double command1_height() const override { return 25 * 15; }
    double command1_top() const override { return command1_top_; }
    void set_command1_top(double top) override { command1_top_ = top; }
    void show_modal(About& about) override {
        events_.push_back("shown at " + std::to_string(int(left_)) + "," +
                          std::to_string(int(top_)) + " as " + title_);
        if (shown_log_ != nullptr) {
            shown_log_->push_back({width_, height_, command1_top_, left_, top_, title_});
        }
        shown_ = true;
        if (clicks_) clicks_(about);
        shown_ = false;
    }
    void unload() override { events_.push_back(shown_ ? "unload while shown" : "unload"); }

    std::string picture_;
    double width_ = 4500, height_ = 3000, left_ = 0, top_ = 0, command1_top_ = 0;

private:
    std::map<std::string, PictureLoad> pictures_;
    std::vector<std::string>& events_;
    std::function<void(About&)> clicks_;
    std::vector<Shown>* shown_log_;
    std::string title_;
    bool shown_ = false;
};

class FakeFactory final : public AboutWindowFactory {
public:
    std::unique_ptr<AboutWindowPort> load_about() override {
        ++loads;
        return std::make_unique<FakeAboutWindow>(pictures, events, clicks, &shown);
    }
    std::map<std::string, PictureLoad> pictures;
    std::function<void(About&)> clicks;
    std::vector<std::string> events;
    std::vector<Shown> shown;
    int loads = 0;
};

TEST(about, looks_for_the_picture_in_the_system_directory_then_the_working_directory) {
    struct Row {
        const char* name;
        std::map<std::string, PictureLoad> pictures;
        std::vector<std::string> loads;
        std::string picture;
    };
    const Row rows[] = {
        {"in the system directory", {{"/sys/qexabout.bmp", PictureLoad::loaded}},
         {"load /sys/qexabout.bmp"}, "/sys/qexabout.bmp"},
        {"only in the working directory", {{"qexabout.bmp", PictureLoad::loaded}},
         {"load /sys/qexabout.bmp", "load qexabout.bmp"}, "qexabout.bmp"},
        {"damaged in the system directory",
         {{"/sys/qexabout.bmp", PictureLoad::failed}, {"qexabout.bmp", PictureLoad::loaded}},
         {"load /sys/qexabout.bmp"}, ""},
        {"nowhere", {}, {"load /sys/qexabout.bmp", "load qexabout.bmp"}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> events;
        FakeAboutWindow window(row.pictures, events, {});
        ScriptedUi ui;  // no message in any case
        About about(window, ui, "/sys/");
        about.Form_Load();
        EXPECT_EQ(events, row.loads);
        EXPECT_EQ(window.picture_, row.picture);
    }
}

TEST(about, opens_centred_with_a_388_by_253_pixel_client_area_each_time) {
    FakeFactory factory;
    ScriptedUi ui;
    show_about(factory, ui, {1000, 2000, 9000, 6000}, "/sys/");
    show_about(factory, ui, {-3000, 0, 7800, 5400}, "/sys/");

    EXPECT_EQ(factory.loads, 2);
    ASSERT_EQ(factory.shown.size(), 2U);
    for (const Shown& window : factory.shown) {
        EXPECT_EQ(window.client_width, 388 * 15);
        EXPECT_EQ(window.client_height, 253 * 15);
        EXPECT_EQ(window.command1_top, (253 - 25) * 15);  // OK sits on the bottom edge
        EXPECT_EQ(window.title, "QUARVENT  Ver. 4.1.32b");
    }
    // Outer size 5940 x 4245 twips.
    EXPECT_EQ(factory.shown[0].left, 1000 + (9000 - 5940) / 2.0);
    EXPECT_EQ(factory.shown[0].top, 2000 + (6000 - 4245) / 2.0);
    EXPECT_EQ(factory.shown[1].left, -3000 + (7800 - 5940) / 2.0);
    EXPECT_EQ(factory.shown[1].top, (5400 - 4245) / 2.0);
}

TEST(about, body_click_shows_the_credits_and_ok_the_disclaimer_before_closing) {
    FakeFactory factory;
    ScriptedUi ui{Reply::button(Answer::ok), Reply::button(Answer::ok)};
    factory.clicks = [&](About& about) {
        about.Form_Click();
        factory.events.push_back("after the credits");
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
    EXPECT_NE(disclaimer.text.find("errors or"), std::string::npos);
    EXPECT_NE(disclaimer.text.find("liability"), std::string::npos);

    // The window closes only once the disclaimer has been answered, and stays closed.
    EXPECT_THAT(factory.events,
                ElementsAre("load /sys/qexabout.bmp", "load qexabout.bmp",
                            "shown at 930,577 as QUARVENT  Ver. 4.1.32b", "after the credits",
                            "unload while shown", "unload"));
}

}  // namespace
}  // namespace quarvent
