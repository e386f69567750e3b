// The View menu and the double-click on an input: which file the trace display opens, how
// many of its traces, and what the operator is told when there is nothing to show.

#include "shell/trace_view.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/main_window.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::IsEmpty;
using testing::Reply;
using testing::ScriptedShellUi;

// A QEX file of records whole records of four samples each.
void write_qex(const std::string& path, int records) {
    std::vector<std::uint8_t> bytes;
    for (int r = 0; r < records; ++r) {
        std::vector<std::uint8_t> record(240 + 16, 0);
        record[(58 - 1) * 2] = 4;  // word 58: four samples
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    testing::write_file(path, bytes);
}

std::string seg2_file(const testing::TempDir& dir, const std::string& name, int traces) {
    testing::Seg2Builder file;
    for (int t = 0; t < traces; ++t) file.add_trace(testing::Seg2Trace::int16({1, -2, 3, -4}));
    testing::write_file(dir.file(name), file.build());
    return dir.file(name);
}

// Counts the header strings it is given.
class CountingStrings final : public HeaderStringReceiver {
public:
    int count = 0;
    Result header_string(std::string_view, OutputTraceHeader&, double&) override {
        ++count;
        return Result::go_on;
    }
};

class trace_view : public ::testing::Test {
protected:
    trace_view() { window.set_option_defaults(); }

    testing::TempDir dir;
    ScriptedShellUi ui;
    MainWindow window{ui};
};

TEST_F(trace_view, tells_why_nothing_can_be_shown) {
    const std::string text_file = dir.file("notes.txt");
    testing::write_file(text_file, std::vector<std::uint8_t>(300, 'x'));
    const std::string empty_output = dir.file("empty.dat");
    testing::write_file(empty_output, {});
    const std::string missing = dir.file("missing.dat");
    const std::string empty_seg2 = seg2_file(dir, "none.sg2", 0);

    struct Case {
        const char* name;
        std::vector<std::string> inputs;
        int selected;
        std::string output;
        bool view_output;
        std::string expected_text;
    };
    const Case cases[] = {
        {"no inputs", {}, -1, "", false, std::string(view_no_inputs_text)},
        {"nothing selected", {text_file}, -1, "", false, std::string(view_no_selection_text)},
        {"no output chosen", {}, -1, "", true, std::string(view_no_output_text)},
        {"output not written yet", {}, -1, missing, true, "Cannot open " + missing + ":\r\n"},
        {"neither kind",
         {text_file},
         0,
         "",
         false,
         text_file + "\r\nis neither a SEG-2 recording nor a QEX output file."},
        {"empty output",
         {},
         -1,
         empty_output,
         true,
         empty_output + "\r\nholds no whole record to show."},
        {"recording without traces",
         {empty_seg2},
         0,
         "",
         false,
         empty_seg2 + "\r\nholds no trace to show."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedShellUi port{Reply::button(Answer::ok)};
        MainWindow shown(port);
        for (const std::string& input : c.inputs) port.list1_add(input);
        port.list1_select(c.selected);
        shown.output_file_name = c.output;
        if (c.view_output) {
            shown.viewoutput_Click();
        } else {
            shown.viewinput_Click();
        }
        EXPECT_THAT(port.trace_displays(), IsEmpty());
        ASSERT_EQ(port.ui().dialogs().size(), 1U);
        EXPECT_EQ(port.ui().dialogs()[0].title, view_message_title);
        EXPECT_EQ(port.ui().dialogs()[0].text.substr(0, c.expected_text.size()), c.expected_text);
        EXPECT_EQ(port.ui().mouse_pointer(), MousePointer::normal);
    }
}

TEST_F(trace_view, opens_the_selected_input_and_at_most_the_first_traces_of_the_output) {
    const std::string first = seg2_file(dir, "a.sg2", 3);
    const std::string second = seg2_file(dir, "b.sg2", 5);
    ui.list1_add(first);
    ui.list1_add(second);
    ui.list1_select(1);
    window.viewinput_Click();

    const std::string big = dir.file("out.dat");
    write_qex(big, static_cast<int>(trace_display_limit) + 500);
    window.output_file_name = big;
    window.viewoutput_Click();

    // A double-click opens the entry clicked, whatever is selected; a stale index nothing.
    window.List1_DblClick(0);
    window.List1_DblClick(2);

    ASSERT_EQ(ui.trace_displays().size(), 3U);
    EXPECT_EQ(ui.trace_displays()[0].title, "b.sg2 - traces 1-5 of 5");
    EXPECT_EQ(ui.trace_displays()[0].last, 5U);
    EXPECT_EQ(ui.trace_displays()[1].title, "out.dat - records 1-2000 of 2500");
    EXPECT_EQ(ui.trace_displays()[1].first, 1U);
    EXPECT_EQ(ui.trace_displays()[1].last, trace_display_limit);
    EXPECT_EQ(ui.trace_displays()[2].title, "a.sg2 - traces 1-3 of 3");
    EXPECT_THAT(ui.ui().dialogs(), IsEmpty());
}

TEST_F(trace_view, a_cut_recording_counts_only_its_readable_traces) {
    testing::Seg2Builder file;
    for (int t = 0; t < 4; ++t) file.add_trace(testing::Seg2Trace::int16({1, 2, 3, 4}));
    std::vector<std::uint8_t> bytes = file.build();
    // Cut in the middle of the third trace's data: traces 3 and 4 cannot be read.
    bytes.resize(static_cast<std::size_t>(file.trace_offsets()[2]) + 40);
    testing::write_file(dir.file("cut.sg2"), bytes);
    ui.list1_add(dir.file("cut.sg2"));
    window.List1_DblClick(0);
    ASSERT_EQ(ui.trace_displays().size(), 1U);
    EXPECT_EQ(ui.trace_displays()[0].title, "cut.sg2 - traces 1-4 of 4, 2 of 4 traces readable");
}

TEST_F(trace_view, a_display_that_cannot_open_is_reported) {
    const std::string input = seg2_file(dir, "a.sg2", 2);
    ui.list1_add(input);
    ui.trace_display_answer = "the file could not be read";
    ui.queue(Reply::button(Answer::ok));
    window.List1_DblClick(0);
    ASSERT_EQ(ui.ui().dialogs().size(), 1U);
    EXPECT_EQ(ui.ui().dialogs()[0].text,
              "Cannot show " + input + ":\r\nthe file could not be read");
}

TEST_F(trace_view, the_display_reads_strings_through_its_own_translation_not_the_runs) {
    testing::Seg2Builder file;
    file.file_string("SAMPLE_INTERVAL 0.001");
    file.add_trace(testing::Seg2Trace::int16({1, 2}));
    testing::write_file(dir.file("a.sg2"), file.build());
    auto run_strings = std::make_unique<CountingStrings>();
    auto view_strings = std::make_unique<CountingStrings>();
    const CountingStrings& run = *run_strings;
    const CountingStrings& view = *view_strings;
    window.header_strings = std::move(run_strings);
    window.view_header_strings = std::move(view_strings);

    ui.list1_add(dir.file("a.sg2"));
    window.List1_DblClick(0);
    ASSERT_EQ(ui.trace_displays().size(), 1U);
    EXPECT_EQ(ui.trace_displays()[0].receiver, &view);
    EXPECT_GT(view.count, 0);
    EXPECT_EQ(run.count, 0);
    EXPECT_EQ(window.status_log().text(), "");
}

}  // namespace
}  // namespace quarvent
