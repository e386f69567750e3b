#include "shell/main_window.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::Reply;
using testing::ScriptedShellUi;

const std::string too_many_files_text =
    "Due to an uncorrectable flaw in the File dialog\r\n"
    "box, all of the files you have choosen may not\r\n"
    "be in the listing. To select more files please \r\n"
    "reselect the INPUT FILES menu item and start selecting\r\n"
    "files where they left off.";

class main_window : public ::testing::Test {
protected:
    main_window() { window.set_option_defaults(); }

    void fill_list(std::initializer_list<const char*> items) {
        for (const char* item : items) ui.list1_add(item);
    }

    ScriptedShellUi ui;
    MainWindow window{ui};
};

// A selection of names in /data whose dialog text is exactly length characters long.
std::string selection_of_length(std::size_t length) {
    std::string text = "/data";
    int n = 0;
    while (text.size() + 1 + 12 <= length) {
        text += '\0';
        std::string name = "file" + std::to_string(1000 + n++) + ".dat";
        text += name;
    }
    text += '\0';
    text += std::string(length - text.size(), 'x');
    return text;
}

TEST_F(main_window, select_inputs_adds_the_chosen_paths_in_order) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> items;
        std::string folder = "/data";  // the folder remembered for the next selection
    };
    const Case cases[] = {
        {"one file adds its full path", "/data/line1.dat", {"/data/line1.dat"}},
        {"three files in one directory",
         "/data\0b.dat\0a.dat\0c.dat"s,
         {"/data/b.dat", "/data/a.dat", "/data/c.dat"}},
        {"files in the root directory", "/\0a.dat\0b.dat"s, {"/a.dat", "/b.dat"}, "/"},
        {"an empty name adds nothing for it",
         "/data\0a.dat\0\0b.dat"s,
         {"/data/a.dat", "/data/b.dat"}},
        {"nothing returned adds nothing", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedShellUi scripted;
        MainWindow w(scripted);
        scripted.queue_filelog(ScriptedShellUi::chosen(c.text, "/data"));
        w.fileopen_Click();
        EXPECT_EQ(scripted.list1_items(), c.items);
        EXPECT_EQ(w.last_input_dir, c.folder);
        EXPECT_THAT(scripted.ui().dialogs(), IsEmpty());
    }
}

TEST_F(main_window, select_inputs_shows_the_dialog_with_the_input_settings) {
    window.last_input_dir = "/field/day1";
    window.filelog.file_name = "left over";
    window.filelog.multi_select = false;
    ui.queue_filelog(ScriptedShellUi::cancelled());
    window.fileopen_Click();
    ASSERT_EQ(ui.filelog_calls().size(), 1U);
    const auto& call = ui.filelog_calls().front();
    EXPECT_EQ(call.mode, FileDialogMode::open);
    EXPECT_EQ(call.settings.initial_dir, "/field/day1");
    // SEG-2 recordings first; the designed pairs follow unchanged.
    EXPECT_EQ(call.settings.filter,
              "SEG-2 recordings (*.sg2 *.seg2 *.dat *.SG2 *.SEG2 *.DAT)|"
              "*.sg2;*.seg2;*.dat;*.SG2;*.SEG2;*.DAT|"
              "Data (*.dat)|*.dat|Raw Data (*.raw)|*.raw|All Data (*.*)|*.*");
    EXPECT_EQ(call.settings.title, "Quarvent File OPEN");
    EXPECT_EQ(call.settings.filter_index, 1);
    EXPECT_EQ(call.settings.default_ext, "dat");
    EXPECT_EQ(call.settings.file_name, " ");
    EXPECT_TRUE(call.settings.multi_select);
    EXPECT_TRUE(call.settings.explorer);
    EXPECT_EQ(call.settings.max_text_length, 3000U);
}

TEST_F(main_window, input_selection_replaces_the_dialogs_options_and_output_keeps_them) {
    struct Step {
        const char* name;
        void (MainWindow::*click)();
        bool multi_select, hide_read_only, explorer;
    };
    // As start-up leaves it: multiple selection and the read-only box hidden, nothing else.
    const Step steps[] = {
        {"output right after start-up", &MainWindow::fileoutput_Click, true, true, false},
        {"input: explorer style and multiple selection", &MainWindow::fileopen_Click, true, false,
         true},
        {"output after an input selection", &MainWindow::fileoutput_Click, true, false, true},
        {"input again", &MainWindow::fileopen_Click, true, false, true},
    };
    window.filelog.configure_for_startup();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ui.queue_filelog(ScriptedShellUi::cancelled());
        (window.*step.click)();
        const auto& seen = ui.filelog_calls().back().settings;
        EXPECT_EQ(seen.multi_select, step.multi_select);
        EXPECT_EQ(seen.hide_read_only, step.hide_read_only);
        EXPECT_EQ(seen.explorer, step.explorer);
    }
}

TEST_F(main_window, selecting_the_same_file_twice_lists_it_twice_at_the_end) {
    fill_list({"/old/z.dat"});
    ui.queue_filelog(ScriptedShellUi::chosen("/data/a.dat", "/data"));
    ui.queue_filelog(ScriptedShellUi::chosen("/data/a.dat", "/data"));
    window.fileopen_Click();
    window.fileopen_Click();
    EXPECT_THAT(ui.list1_items(), ElementsAre("/old/z.dat", "/data/a.dat", "/data/a.dat"));
}

// The warning says that chosen files may be missing: it comes when the dialog reports lost
// names, whatever the length of what it returned, and every returned name is still added.
TEST_F(main_window, the_warning_comes_when_the_dialog_lost_names_and_every_name_is_added) {
    struct Case {
        std::size_t length;
        bool names_lost;
        bool warned;
    };
    for (const Case c : {Case{1999, false, false}, Case{2000, false, false},
                         Case{2001, false, false}, Case{2999, false, false}, Case{2001, true, true},
                         Case{2999, true, true}, Case{40, true, true}}) {
        SCOPED_TRACE(::testing::Message() << c.length << (c.names_lost ? " lost" : ""));
        ScriptedShellUi scripted;
        if (c.warned) scripted.queue(Reply::button(Answer::ok));
        MainWindow w(scripted);
        const std::string text = selection_of_length(c.length);
        ASSERT_EQ(text.size(), c.length);
        scripted.queue_filelog(ScriptedShellUi::chosen(text, "/data", c.names_lost));
        w.fileopen_Click();
        const auto parts = std::count(text.begin(), text.end(), '\0');
        EXPECT_EQ(scripted.list1_count(), parts);
        if (c.warned) {
            ASSERT_EQ(scripted.ui().dialogs().size(), 1U);
            const auto& shown = scripted.ui().dialogs().front();
            EXPECT_EQ(shown.title, "QUARVENT TOO MANY FILES AT ONCE");
            EXPECT_EQ(shown.text, too_many_files_text);
            EXPECT_EQ(shown.buttons, Buttons::ok);
            EXPECT_EQ(shown.icon, Icon::information);
        } else {
            EXPECT_THAT(scripted.ui().dialogs(), IsEmpty());
        }
    }
}

TEST_F(main_window, a_long_selection_reaches_the_list_whole_without_a_warning) {
    // 300 names of 20 characters: far beyond the 3000 characters of the old dialog's
    // buffer, and every one of them was returned.
    std::string text = "/field/line2/shots";
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "shot_" + std::to_string(10000 + i) + "_raw.dat";
        text += '\0';
        text += name;
        expected.push_back("/field/line2/shots/" + name);
    }
    ui.queue_filelog(ScriptedShellUi::chosen(text, "/field/line2/shots"));
    window.fileopen_Click();
    EXPECT_EQ(ui.list1_items(), expected);
    EXPECT_THAT(ui.ui().dialogs(), IsEmpty());
}

TEST_F(main_window, the_remembered_folder_is_the_one_holding_the_chosen_file) {
    // The dialog showed /data/line1 while the operator typed a path into another folder.
    struct Case {
        const char* name;
        void (MainWindow::*click)();
        std::string text;
        std::string input_dir, output_dir;
    };
    const Case cases[] = {
        {"output typed into another folder", &MainWindow::fileoutput_Click, "/data/line2/out.dat",
         "/in", "/data/line2"},
        {"output in the root folder", &MainWindow::fileoutput_Click, "/out.dat", "/in", "/"},
        {"output of nothing keeps the folder shown", &MainWindow::fileoutput_Click, "", "/in",
         "/data/line1"},
        {"one input typed into another folder", &MainWindow::fileopen_Click, "/data/line2/a.dat",
         "/data/line2", "/out"},
        {"several inputs in another folder", &MainWindow::fileopen_Click,
         "/data/line2\0a.dat\0b.dat"s, "/data/line2", "/out"},
        {"inputs typed with folders of their own", &MainWindow::fileopen_Click,
         "/\0data/line3/a.dat\0data/line4/b.dat"s, "/data/line3", "/out"},
        {"input of nothing keeps the folder shown", &MainWindow::fileopen_Click, "", "/data/line1",
         "/out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedShellUi scripted;
        MainWindow w(scripted);
        w.last_input_dir = "/in";
        w.last_output_dir = "/out";
        scripted.queue_filelog(ScriptedShellUi::chosen(c.text, "/data/line1"));
        (w.*c.click)();
        EXPECT_EQ(w.last_input_dir, c.input_dir);
        EXPECT_EQ(w.last_output_dir, c.output_dir);
    }
}

TEST_F(main_window, cancelling_select_inputs_changes_nothing) {
    fill_list({"/data/a.dat"});
    window.last_input_dir = "/data";
    ui.queue_filelog(ScriptedShellUi::cancelled());
    window.fileopen_Click();
    EXPECT_THAT(ui.list1_items(), ElementsAre("/data/a.dat"));
    EXPECT_EQ(window.last_input_dir, "/data");
    EXPECT_THAT(ui.ui().dialogs(), IsEmpty());
}

TEST_F(main_window, a_failing_input_dialog_reports_and_resets_its_file_name) {
    ui.queue(Reply::button(Answer::ok));
    ui.queue_filelog(ScriptedShellUi::failed("The dialog could not be created"));
    window.last_input_dir = "/data";
    window.fileopen_Click();
    ASSERT_EQ(ui.ui().dialogs().size(), 1U);
    const auto& shown = ui.ui().dialogs().front();
    EXPECT_EQ(shown.title, "Quarvent ERROR");
    EXPECT_EQ(shown.text, "Unexpected error\r\nThe dialog could not be created");
    EXPECT_EQ(shown.buttons, Buttons::ok);
    EXPECT_EQ(shown.icon, Icon::none);
    EXPECT_EQ(window.filelog.file_name, "");
    EXPECT_EQ(ui.list1_count(), 0);
    EXPECT_EQ(window.last_input_dir, "/data");
}

TEST_F(main_window, output_names_the_output_file_and_captions_label2) {
    window.last_output_dir = "/out";
    window.filelog.file_name = "something";
    ui.queue_filelog(ScriptedShellUi::chosen("/qex/line1.dat", "/qex"));
    window.fileoutput_Click();
    ASSERT_EQ(ui.filelog_calls().size(), 1U);
    const auto& call = ui.filelog_calls().front();
    EXPECT_EQ(call.mode, FileDialogMode::save);
    EXPECT_EQ(call.settings.initial_dir, "/out");
    EXPECT_EQ(call.settings.filter, "Data (*.dat)|*.dat|All Data (*.*)|*.*");
    EXPECT_EQ(call.settings.title, "QUARVENT Output File Name");
    EXPECT_EQ(call.settings.filter_index, 1);
    EXPECT_EQ(call.settings.default_ext, "dat");
    EXPECT_EQ(call.settings.file_name, "");

    EXPECT_EQ(window.output_file_name, "/qex/line1.dat");
    EXPECT_EQ(ui.label_caption(Control::Label2), "Output file: /qex/line1.dat");
    EXPECT_EQ(window.last_output_dir, "/qex");
}

TEST_F(main_window, output_outcomes) {
    struct Case {
        const char* name;
        FileDialogResult result;
        std::string output_file_name;
        std::string label2;
        std::string last_output_dir;
        bool message;
    };
    const Case cases[] = {
        {"cancel keeps everything", ScriptedShellUi::cancelled(), "/old/out.dat",
         "OutPut File:", "/old", false},
        {"an empty choice keeps the name but captions it", ScriptedShellUi::chosen("", "/new"),
         "/old/out.dat", "Output file: /old/out.dat", "/new", false},
        {"a failure reports and keeps everything", ScriptedShellUi::failed("no memory"),
         "/old/out.dat", "OutPut File:", "/old", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedShellUi scripted;
        if (c.message) scripted.queue(Reply::button(Answer::ok));
        MainWindow w(scripted);
        w.output_file_name = "/old/out.dat";
        w.last_output_dir = "/old";
        scripted.queue_filelog(c.result);
        w.fileoutput_Click();
        EXPECT_EQ(w.output_file_name, c.output_file_name);
        EXPECT_EQ(scripted.label_caption(Control::Label2), c.label2);
        EXPECT_EQ(w.last_output_dir, c.last_output_dir);
        if (c.message) {
            ASSERT_EQ(scripted.ui().dialogs().size(), 1U);
            EXPECT_EQ(scripted.ui().dialogs().front().title, "Quarvent ERROR");
            EXPECT_EQ(scripted.ui().dialogs().front().text, "Unexpected error\r\nno memory");
        } else {
            EXPECT_THAT(scripted.ui().dialogs(), IsEmpty());
        }
    }
}

TEST_F(main_window, clear_list_empties_the_list_only) {
    fill_list({"/a", "/b"});
    window.output_file_name = "/out.dat";
    window.resamp1_4_Click();
    window.fileclear_Click();
    EXPECT_EQ(ui.list1_count(), 0);
    EXPECT_EQ(window.output_file_name, "/out.dat");
    EXPECT_EQ(window.options.resample_factor, 4);
}

TEST_F(main_window, delete_key_and_right_button_remove_the_selected_input) {
    enum class Event { delete_key, other_key, right_button, left_button };
    struct Case {
        const char* name;
        int items;
        int selected;
        Event event;
        std::vector<std::string> remaining;
        int selected_after;
    };
    const Case cases[] = {
        {"third removed, second selected", 3, 2, Event::delete_key, {"/a", "/b"}, 1},
        {"first removed, new first selected", 3, 0, Event::delete_key, {"/b", "/c"}, 0},
        {"middle removed, first selected", 3, 1, Event::right_button, {"/a", "/c"}, 0},
        {"the last item leaves an empty list", 1, 0, Event::delete_key, {}, -1},
        {"nothing selected does nothing", 3, -1, Event::delete_key, {"/a", "/b", "/c"}, -1},
        {"nothing selected, right button", 3, -1, Event::right_button, {"/a", "/b", "/c"}, -1},
        {"an empty list does nothing", 0, -1, Event::delete_key, {}, -1},
        {"another key does nothing", 3, 1, Event::other_key, {"/a", "/b", "/c"}, 1},
        {"the left button does nothing", 3, 1, Event::left_button, {"/a", "/b", "/c"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedShellUi scripted;
        MainWindow w(scripted);
        for (int i = 0; i < c.items; ++i) scripted.list1_add(std::string("/") + char('a' + i));
        scripted.list1_select(c.selected);
        switch (c.event) {
            case Event::delete_key:
                w.List1_KeyDown(key_delete);
                break;
            case Event::other_key:
                w.List1_KeyDown(8);
                break;
            case Event::right_button:
                w.List1_MouseDown(MouseButton::right);
                break;
            case Event::left_button:
                w.List1_MouseDown(MouseButton::left);
                break;
        }
        EXPECT_EQ(scripted.list1_items(), c.remaining);
        EXPECT_EQ(scripted.list1_selected(), c.selected_after);
    }
}

TEST_F(main_window, resample_checks_exactly_the_chosen_item) {
    struct Step {
        void (MainWindow::*click)();
        std::int16_t factor;
        bool one, two, four;
    };
    const Step steps[] = {
        {&MainWindow::resamp1_2_Click, 2, false, true, false},
        {&MainWindow::resamp1_4_Click, 4, false, false, true},
        {&MainWindow::resamp1_4_Click, 4, false, false, true},
        {&MainWindow::resamp1_1_Click, 1, true, false, false},
        {&MainWindow::resamp1_2_Click, 2, false, true, false},
    };
    EXPECT_TRUE(ui.menu_checked(Menu::resamp1_1));
    int n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(++n);
        (window.*step.click)();
        EXPECT_EQ(window.options.resample_factor, step.factor);
        EXPECT_EQ(ui.menu_checked(Menu::resamp1_1), step.one);
        EXPECT_EQ(ui.menu_checked(Menu::resamp1_2), step.two);
        EXPECT_EQ(ui.menu_checked(Menu::resamp1_4), step.four);
    }
}

TEST_F(main_window, delete_input_files_toggles_with_its_check_mark) {
    EXPECT_FALSE(ui.menu_checked(Menu::optiondelete));
    for (bool expected : {true, false, true}) {
        window.optiondelete_Click();
        EXPECT_EQ(window.options.delete_inputs, expected);
        EXPECT_EQ(ui.menu_checked(Menu::optiondelete), expected);
    }
}

TEST_F(main_window, adjust_record_length_sets_the_value_and_its_caption) {
    struct Case {
        std::string answer;
        float record_end_ms;
        std::string caption;
    };
    const Case cases[] = {
        {"250", 250.0F, "Adjusted Length =  250 ms"},
        {"500", 500.0F, "Adjusted Length =  500 ms"},
        {"12.5", 12.5F, "Adjusted Length =  12.5 ms"},
        {" 1 000", 1000.0F, "Adjusted Length =  1000 ms"},
        {"2E3", 2000.0F, "Adjusted Length =  2000 ms"},
        {"-40", -40.0F, "Adjusted Length = -40 ms"},
        {"0", 0.0F, "Adjust Record Length"},
        {"", 0.0F, "Adjust Record Length"},  // also a cancelled prompt
        {"abc", 0.0F, "Adjust Record Length"},
        {"0.1", 0.1F, "Adjusted Length =  0.1 ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("answer \"" + c.answer + "\"");
        // Start from a value already set, so that a 0 answer visibly restores the caption.
        ui.queue(Reply::text("300"));
        window.optionshorten_Click();
        ui.queue(Reply::text(c.answer));
        window.optionshorten_Click();
        EXPECT_EQ(window.options.record_end_ms, c.record_end_ms);
        EXPECT_EQ(ui.menu_caption(Menu::optionshorten), c.caption);
        const auto& prompt = ui.ui().dialogs().back();
        EXPECT_EQ(prompt.kind, testing::Dialog::Kind::prompt);
        EXPECT_EQ(prompt.text, "Enter ending time(ms) of records. 0=original");
        EXPECT_EQ(prompt.title, "Modify Record Length");
        EXPECT_EQ(prompt.proposed, "0");
    }
}

TEST_F(main_window, a_record_length_beyond_a_float_becomes_infinite_not_undefined) {
    ui.queue(Reply::text("1e60"));
    window.optionshorten_Click();
    EXPECT_TRUE(std::isinf(window.options.record_end_ms));
    EXPECT_GT(window.options.record_end_ms, 0);
}

TEST_F(main_window, option_defaults_restore_every_option_and_its_menu) {
    window.resamp1_4_Click();
    window.optiondelete_Click();
    window.optionfresh_Click();
    ui.queue(Reply::text("250"));
    window.optionshorten_Click();
    window.set_option_defaults();
    EXPECT_EQ(window.options.resample_factor, 1);
    EXPECT_FALSE(window.options.delete_inputs);
    EXPECT_EQ(window.options.record_end_ms, 0.0F);
    EXPECT_TRUE(ui.menu_checked(Menu::resamp1_1));
    EXPECT_FALSE(ui.menu_checked(Menu::resamp1_4));
    EXPECT_FALSE(ui.menu_checked(Menu::optiondelete));
    EXPECT_FALSE(window.options.fresh_header_per_file);
    EXPECT_FALSE(ui.menu_checked(Menu::optionfresh));
    EXPECT_EQ(ui.menu_caption(Menu::optionshorten), "Adjust Record Length");
}

TEST_F(main_window, resizing_lays_out_the_status_report_and_the_list) {
    struct Case {
        const char* name;
        double width, height;
        double text1_width, text1_height, list1_height;
    };
    // List1 is 2892 twips wide; Text1 starts at 2052 x 3132.
    const Case cases[] = {
        {"a roomy window", 9000, 6000, 9000 - 2892 - 350, 4700, 4700},
        {"exactly no room beside the list", 3242, 6000, 0, 4700, 4700},
        {"too narrow: width skipped, heights done", 3000, 6000, 2052, 4700, 4700},
        {"too low: height skipped, list takes Text1's", 9000, 1000, 5758, 3132, 3132},
        {"too small in both", 100, 100, 2052, 3132, 3132},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedShellUi scripted;
        MainWindow w(scripted);
        scripted.set_window_width(c.width);
        scripted.set_window_height(c.height);
        w.Form_Resize();
        EXPECT_EQ(scripted.control_width(Control::Text1), c.text1_width);
        EXPECT_EQ(scripted.control_height(Control::Text1), c.text1_height);
        EXPECT_EQ(scripted.control_height(Control::List1), c.list1_height);
        EXPECT_EQ(scripted.control_width(Control::List1), 2892);
    }
}

TEST_F(main_window, each_size_change_lays_the_window_out_again) {
    ui.on_resize = [this] { window.Form_Resize(); };
    ui.set_window_width(8000);
    EXPECT_EQ(ui.control_width(Control::Text1), 8000 - 2892 - 350);
    ui.set_window_height(7000);
    EXPECT_EQ(ui.control_height(Control::Text1), 5700);
    EXPECT_EQ(ui.control_height(Control::List1), 5700);
}

TEST_F(main_window, the_window_closes_at_once_when_no_run_is_in_progress) {
    EXPECT_FALSE(window.run_in_progress());
    EXPECT_TRUE(window.Form_QueryUnload());
    EXPECT_EQ(ui.close_window_calls(), 0);
}

// A batch of SEG-2 files on disk for the Convert tests, each with three 4-sample traces, and
// the answers a run asks for: the starting SSN and, since no keyword translation sets it,
// the sample interval.
class main_window_convert : public main_window {
protected:
    static constexpr std::size_t record_bytes = 240 + 4 * 4;

    main_window_convert() {
        window.time_of_day = [] { return std::string("12:34:56"); };
        window.output_file_name = dir.file("out.dat");
    }

    std::string seg2_file(const std::string& name) {
        testing::Seg2Builder file;
        for (int t = 0; t < 3; ++t) file.add_trace(testing::Seg2Trace::int16({1, -2, 3, -4}));
        const std::string path = dir.file(name);
        testing::write_file(path, file.build());
        return path;
    }
    void queue_run_answers() {
        ui.queue(Reply::text("1"));  // SSN
        ui.queue(Reply::text("1"));  // sample interval, ms
    }
    std::size_t output_size() const { return testing::read_file(dir.file("out.dat")).size(); }

    testing::TempDir dir;
};

TEST_F(main_window_convert, converts_the_list_in_order_into_the_output_file) {
    const std::string first = seg2_file("b.sg2");
    const std::string second = seg2_file("a.sg2");
    ui.list1_add(first);
    ui.list1_add(second);
    queue_run_answers();
    window.convert_Click();

    EXPECT_EQ(ui.ui().titles(), (std::vector<std::string>{"SSN Value?", "Missing Sampling Rate"}));
    EXPECT_EQ(output_size(), 6 * record_bytes);
    const std::string& log = window.status_log().text();
    const auto first_at = log.find("\r\nConversion of " + first + " begun at 12:34:56\r\n");
    const auto second_at = log.find("\r\nConversion of " + second + " begun at 12:34:56\r\n");
    EXPECT_NE(first_at, std::string::npos) << log;
    EXPECT_NE(second_at, std::string::npos) << log;
    EXPECT_LT(first_at, second_at);
    EXPECT_NE(log.find("Conversion complete @ 12:34:56\r\n"), std::string::npos) << log;
    // The window mirrors the log, and the list keeps its entries.
    EXPECT_EQ(ui.ui().text1(), log);
    EXPECT_THAT(ui.list1_items(), ElementsAre(first, second));
    EXPECT_FALSE(window.run_in_progress());
}

TEST_F(main_window_convert, the_run_gets_the_output_name_and_the_options) {
    // With no output named, the run's own check stops it before anything else.
    window.output_file_name.clear();
    ui.list1_add(seg2_file("a.sg2"));
    ui.queue(Reply::button(Answer::ok));
    window.convert_Click();
    EXPECT_EQ(ui.ui().titles(), std::vector<std::string>{"No Output File Selected"});

    // Deleting inputs is confirmed by the run before anything is written.
    window.output_file_name = dir.file("out.dat");
    window.optiondelete_Click();
    ui.queue(Reply::button(Answer::no));
    window.convert_Click();
    EXPECT_EQ(ui.ui().titles().back(), "Input Files Will Be Deleted");
}

TEST_F(main_window_convert, header_strings_go_to_the_installed_receiver) {
    struct Counting final : HeaderStringReceiver {
        int* count;
        explicit Counting(int* c) : count(c) {}
        Result header_string(std::string_view, OutputTraceHeader&, double&) override {
            ++*count;
            return Result::go_on;
        }
    };
    int strings = 0;
    window.header_strings = std::make_unique<Counting>(&strings);
    testing::Seg2Builder file;
    file.file_string("ACQUISITION_DATE 07/MAR/2018");
    file.add_trace(testing::Seg2Trace::int16({1, 2}).with_string("CHANNEL_NUMBER 1"));
    testing::write_file(dir.file("a.sg2"), file.build());
    ui.list1_add(dir.file("a.sg2"));
    queue_run_answers();
    window.convert_Click();
    EXPECT_EQ(strings, 2);
}

// A file in the list twice is converted twice, and the status bar says so, also after the run.
TEST_F(main_window_convert, a_file_in_the_list_twice_is_said_in_the_status_bar) {
    const std::string a = seg2_file("a.sg2");
    ui.list1_add(a);
    ui.list1_add(seg2_file("b.sg2"));
    ui.list1_add(a);
    queue_run_answers();
    std::string during;
    ui.on_yield() = [&](int call) {
        if (call == 1) during = ui.status_message();
        return true;
    };
    window.convert_Click();
    const std::string note = a + " is in the list 2 times and is converted each time.";
    EXPECT_EQ(during, note);
    EXPECT_THAT(ui.status_message(), HasSubstr(note));
    EXPECT_EQ(output_size(), 9 * record_bytes);
}

TEST_F(main_window_convert, commands_that_change_the_runs_inputs_wait_for_its_end) {
    const Menu blocked[] = {Menu::fileopen,     Menu::fileoutput,    Menu::fileclear,
                            Menu::resamp1_1,    Menu::resamp1_2,     Menu::resamp1_4,
                            Menu::optiondelete, Menu::optionshorten, Menu::convert,
                            Menu::viewinput,    Menu::viewoutput,    Menu::optionfresh};
    ui.list1_add(seg2_file("a.sg2"));
    ui.list1_add(seg2_file("b.sg2"));
    queue_run_answers();
    bool checked = false;
    ui.on_yield() = [&](int call) {
        if (call != 1) return true;
        checked = true;
        EXPECT_TRUE(window.run_in_progress());
        for (Menu menu : blocked) EXPECT_FALSE(ui.menu_enabled(menu)) << menu_name(menu);
        EXPECT_TRUE(ui.menu_enabled(Menu::fileexit));
        EXPECT_TRUE(ui.menu_enabled(Menu::fileabout));
        // Events that still arrive change nothing (and show no dialog).
        ui.list1_select(1);
        window.fileopen_Click();
        window.fileoutput_Click();
        window.fileclear_Click();
        window.List1_KeyDown(key_delete);
        window.List1_MouseDown(MouseButton::right);
        window.resamp1_4_Click();
        window.optiondelete_Click();
        window.optionshorten_Click();
        window.optionfresh_Click();
        window.convert_Click();
        window.viewinput_Click();
        window.viewoutput_Click();
        window.List1_DblClick(0);
        EXPECT_THAT(ui.trace_displays(), IsEmpty());
        EXPECT_EQ(ui.list1_count(), 2);
        EXPECT_EQ(window.options.resample_factor, 1);
        EXPECT_FALSE(window.options.delete_inputs);
        EXPECT_FALSE(window.options.fresh_header_per_file);
        return true;
    };
    window.convert_Click();
    EXPECT_TRUE(checked);
    EXPECT_EQ(output_size(), 6 * record_bytes);
    for (Menu menu : blocked) EXPECT_TRUE(ui.menu_enabled(menu)) << menu_name(menu);
    EXPECT_FALSE(window.run_in_progress());
}

TEST_F(main_window_convert, closing_during_a_run_stops_it_after_the_record_then_closes) {
    ui.list1_add(seg2_file("a.sg2"));
    ui.list1_add(seg2_file("b.sg2"));
    queue_run_answers();
    ui.queue(Reply::button(Answer::yes));  // stop after the current record and close
    ui.on_yield() = [&](int call) {
        // The operator closes the window while the first record is being yielded on.
        if (call == 1) {
            EXPECT_FALSE(window.Form_QueryUnload());
        }
        return true;
    };
    window.convert_Click();
    EXPECT_EQ(ui.ui().yields(), 1);
    EXPECT_NE(window.status_log().text().find("Conversion stopped by the operator @ "),
              std::string::npos);
    EXPECT_EQ(output_size(), record_bytes);
    EXPECT_EQ(ui.close_window_calls(), 1);
    EXPECT_EQ(window.status_log().text().find("Conversion complete"), std::string::npos);
    // The close asked for again now goes through.
    EXPECT_TRUE(window.Form_QueryUnload());
}

TEST_F(main_window_convert, ending_the_program_during_a_run_stops_it_after_the_record) {
    ui.list1_add(seg2_file("a.sg2"));
    queue_run_answers();
    ui.on_yield() = [&](int call) {
        if (call == 1) window.port().end_program();
        return true;
    };
    window.convert_Click();
    EXPECT_EQ(output_size(), record_bytes);
    EXPECT_EQ(ui.close_window_calls(), 0);
}

// The status bar's summary tells what the output holds: the record written before a stop
// counts, and an input changed after its conversion is kept with that reason.
TEST_F(main_window_convert, the_summary_counts_what_the_output_holds) {
    struct Row {
        const char* name;
        bool delete_inputs;
        std::function<bool(MainWindow&, const std::string&, int)> on_yield;
        std::string summary;  // up to the time taken
        std::string tail;     // after it
    };
    const std::vector<Row> rows = {
        {"stopped after the first record", false,
         [](MainWindow& w, const std::string&, int call) {
             if (call == 1) w.convertstop_Click();
             return true;
         },
         "Stopped: 0 files converted, 1 kept incomplete, 1 trace, 256 bytes in ", ""},
        {"the first input rewritten after its conversion", true,
         [](MainWindow&, const std::string& first, int call) {
             if (call == 4) testing::write_file(first, {1, 2, 3});
             return true;
         },
         "Complete: 2 files converted, 0 kept incomplete, 6 traces, 1,536 bytes in ",
         "; 1 file changed after it was converted; kept"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedShellUi row_ui;
        MainWindow row_window{row_ui};
        row_window.set_option_defaults();
        row_window.time_of_day = [] { return std::string("12:34:56"); };
        testing::TempDir row_dir;
        row_window.output_file_name = row_dir.file("out.dat");
        std::vector<std::string> inputs;
        for (const char* name : {"a.sg2", "b.sg2"}) {
            testing::Seg2Builder file;
            for (int t = 0; t < 3; ++t) file.add_trace(testing::Seg2Trace::int16({1, -2, 3, -4}));
            inputs.push_back(row_dir.file(name));
            testing::write_file(inputs.back(), file.build());
            row_ui.list1_add(inputs.back());
        }
        if (row.delete_inputs) {
            row_window.optiondelete_Click();
            row_ui.queue(Reply::button(Answer::yes));  // "Input Files Will Be Deleted"
        }
        row_ui.queue(Reply::text("1"));  // SSN
        row_ui.queue(Reply::text("1"));  // sample interval, ms
        row_ui.on_yield() = [&](int call) { return row.on_yield(row_window, inputs[0], call); };
        row_window.convert_Click();
        EXPECT_THAT(row_ui.status_message(), ::testing::StartsWith(row.summary));
        EXPECT_THAT(row_ui.status_message(), ::testing::EndsWith(row.tail));
        if (row.delete_inputs) {
            EXPECT_TRUE(std::filesystem::exists(inputs[0]));
        }
    }
}

}  // namespace
}  // namespace quarvent
