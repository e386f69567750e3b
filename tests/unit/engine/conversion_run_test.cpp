#include "engine/conversion_run.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string_view>

#include "tests/unit/engine/engine_test_support.hpp"

namespace quarvent::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string when = "12:34:56";

std::string file_start(const std::string& path) {
    return "\r\nConversion of " + path + " begun at " + when + "\r\n";
}

Reply ok() { return Reply::button(Answer::ok); }
Reply ssn(std::string answer) { return Reply::text(std::move(answer)); }

// Checks end the command in this order, before anything is converted.
TEST(conversion_run, checks_and_their_order) {
    struct Case {
        const char* name;
        std::function<void(ScriptedRun&)> setup;
        std::vector<Reply> replies;
        std::vector<std::string> titles;
        RunOutcome outcome;
        bool output_created;
    };
    const auto one_input = [](ScriptedRun& r) { r.add_input("a.sg2", float_file({3})); };
    const auto existing_output = [one_input](ScriptedRun& r) {
        one_input(r);
        write_file(r.request.output_file_name, {});
    };
    using O = RunOutcome;
    const std::vector<Case> cases = {
        {"no output",
         [](ScriptedRun& r) { r.request.output_file_name.clear(); },
         {ok()},
         {"No Output File Selected"},
         O::ended_at_check,
         false},
        {"no input",
         [](ScriptedRun&) {},
         {ok()},
         {"No Input File Selected"},
         O::ended_at_check,
         false},
        {"input contains the output, any case",
         [](ScriptedRun& r) {
             r.request.output_file_name = r.dir.file("LINE1.DAT");
             r.add_input("line1.dat.old", float_file({3}));
         },
         {ok()},
         {"Input/Output Share Error"},
         O::ended_at_check,
         false},
        {"Latin-1 letters compared in any case",
         [](ScriptedRun& r) {
             r.request.output_file_name = r.dir.file("\xC9T\xC9.DAT");
             r.add_input("\xE9t\xE9.dat.old", float_file({3}));
         },
         {ok()},
         {"Input/Output Share Error"},
         O::ended_at_check,
         false},
        {"multiplication and division signs are no letters",
         [](ScriptedRun& r) {
             r.request.output_file_name = r.dir.file("a\xD7.dat");
             r.add_input("a\xF7.dat", float_file({3}));
         },
         {ssn("1")},
         {"SSN Value?"},
         O::completed,
         true},
        {"missing input before a share conflict: only the share message",
         [](ScriptedRun& r) {
             r.request.inputs.push_back(r.dir.file("missing.sg2"));
             r.request.inputs.push_back(r.request.output_file_name);
         },
         {ok()},
         {"Input/Output Share Error"},
         O::ended_at_check,
         false},
        {"input is the output through a link",
         [](ScriptedRun& r) {
             write_file(r.request.output_file_name, {});
             ::link(r.request.output_file_name.c_str(), r.dir.file("other.sg2").c_str());
             r.request.inputs.push_back(r.dir.file("other.sg2"));
         },
         {ok()},
         {"Input/Output Share Error"},
         O::ended_at_check,
         true},
        {"input is the output spelt another way",
         [](ScriptedRun& r) {
             write_file(r.request.output_file_name, {});
             std::filesystem::create_directory(r.dir.file("sub"));
             ::symlink(r.dir.path().c_str(), r.dir.file("sub/up").c_str());
             r.request.inputs.push_back(r.dir.file("sub/up/out.qex"));
         },
         {ok()},
         {"Input/Output Share Error"},
         O::ended_at_check,
         true},
        {"inputs of one folder, the second the output spelt another way",
         [](ScriptedRun& r) {
             write_file(r.request.output_file_name, {});
             r.add_input("a.sg2", float_file({3}));
             std::filesystem::create_directory(r.dir.file("sub"));
             ::symlink(r.dir.path().c_str(), r.dir.file("sub/up").c_str());
             r.request.inputs = {r.dir.file("sub/up/a.sg2"), r.dir.file("sub/up/out.qex")};
         },
         {ok()},
         {"Input/Output Share Error"},
         O::ended_at_check,
         true},
        {"two missing inputs",
         [](ScriptedRun& r) {
             r.request.inputs = {r.dir.file("m1.sg2"), r.dir.file("m2.sg2")};
         },
         {ok()},
         {"Files Not Found"},
         O::ended_at_check,
         false},
        {"existing output, Cancel",
         existing_output,
         {Reply::button(Answer::cancel)},
         {"Appending Data"},
         O::ended_at_check,
         true},
        {"existing output, OK, then deletion refused",
         [existing_output](ScriptedRun& r) {
             existing_output(r);
             r.request.options.delete_inputs = true;
         },
         {ok(), Reply::button(Answer::no)},
         {"Appending Data", "Input Files Will Be Deleted"},
         O::ended_at_check,
         true},
        {"output cannot be opened",
         [one_input](ScriptedRun& r) {
             one_input(r);
             r.request.output_file_name = r.dir.file("no/such/dir/out.qex");
         },
         {ok()},
         {"QUARVENT FILE-ERROR"},
         O::ended_at_check,
         false},
        {"SSN prompt cancelled: the output the open created goes again",
         one_input,
         {ssn("")},
         {"SSN Value?"},
         O::ended_at_check,
         false},
        {"SSN beyond 16 bits",
         one_input,
         {ssn("32768"), ok()},
         {"SSN Value?", "SSN Out Of Range"},
         O::ended_at_check,
         false},
        {"existing empty output, SSN prompt cancelled: it stays",
         existing_output,
         {ok(), ssn("")},
         {"Appending Data", "SSN Value?"},
         O::ended_at_check,
         true},
        {"all checks passed", one_input, {ssn("1")}, {"SSN Value?"}, O::completed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run;
        c.setup(run);
        for (const Reply& reply : c.replies) run.ui.queue(reply);
        EXPECT_EQ(run.go(), c.outcome);
        EXPECT_EQ(run.ui.titles(), c.titles);
        EXPECT_EQ(std::filesystem::exists(run.request.output_file_name), c.output_created);
        if (c.outcome == RunOutcome::ended_at_check) {
            EXPECT_EQ(run.output().records.size(), 0u);
            EXPECT_TRUE(run.ui.text1_visible());
            EXPECT_EQ(run.ui.mouse_pointer(), MousePointer::normal);
        }
    }
}

TEST(conversion_run, message_texts) {
    struct Case {
        std::function<void(ScriptedRun&)> setup;
        std::vector<Reply> replies;
        Dialog expected;  // the last dialog
    };
    using K = Dialog::Kind;
    const std::vector<Case> cases = {
        {[](ScriptedRun& r) { r.request.output_file_name.clear(); },
         {ok()},
         {K::message_box, "No Output File Selected",
          "No Output file selected.\r\nPlease selected an output file under\r\nFiles menu.",
          Buttons::ok, Icon::information, ""}},
        {[](ScriptedRun&) {},
         {ok()},
         {K::message_box, "No Input File Selected",
          "No Input file(s) selected.\r\nPlease selected an input file(s) under\r\nFiles menu.",
          Buttons::ok, Icon::information, ""}},
        {[](ScriptedRun& r) { r.request.inputs = {r.request.output_file_name}; },
         {ok()},
         {K::message_box, "Input/Output Share Error", "Output file can not be an input file also.",
          Buttons::ok, Icon::critical, ""}},
        {[](ScriptedRun& r) {
             r.request.inputs = {"/nowhere/m1.sg2", "/nowhere/m2.sg2"};
         },
         {ok()},
         {K::message_box, "Files Not Found",
          "The following files not found:\r\n/nowhere/m1.sg2\r\n/nowhere/m2.sg2\r\nCan not "
          "Continue.",
          Buttons::ok, Icon::information, ""}},
        {[](ScriptedRun& r) {
             r.add_input("a.sg2", float_file({1}));
             r.request.output_file_name = "/nowhere/out.qex";
         },
         {ok()},
         {K::message_box, "QUARVENT FILE-ERROR",
          "I'm sorry there was an error while attempting to open\r\nthe output file. Make sure it "
          "is not in use by\r\nother programs. Error message =\r\nNo such file or directory\r\n",
          Buttons::ok, Icon::critical, ""}},
        {[](ScriptedRun& r) { r.add_input("a.sg2", float_file({1})); },
         {ssn("")},
         {K::prompt, "SSN Value?", "Enter Starting SSN", Buttons::ok_cancel, Icon::none, "1"}},
    };
    for (const Case& c : cases) {
        ScriptedRun run;
        c.setup(run);
        for (const Reply& reply : c.replies) run.ui.queue(reply);
        run.go();
        ASSERT_FALSE(run.ui.dialogs().empty());
        const Dialog& got = run.ui.dialogs().back();
        SCOPED_TRACE(got.title);
        EXPECT_EQ(got.kind, c.expected.kind);
        EXPECT_EQ(got.title, c.expected.title);
        EXPECT_EQ(got.text, c.expected.text);
        EXPECT_EQ(got.buttons, c.expected.buttons);
        EXPECT_EQ(got.icon, c.expected.icon);
        EXPECT_EQ(got.proposed, c.expected.proposed);
    }
}

TEST(conversion_run, ssn_answers) {
    struct Case {
        const char* answer;
        std::optional<std::int16_t> ssn;  // none: "SSN Out Of Range"
    };
    const std::vector<Case> cases = {
        {"12abc", 12},
        {"abc", 0},
        {"7.5", 8},
        {"6.5", 6},
        {" -3 ", -3},
        {"-32768", -32768},
        {"32767", 32767},
        {"32768", std::nullopt},
        {"-32769", std::nullopt},
        {"1e9", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        ScriptedRun run;
        run.add_input("data.sgx", float_file({2}));
        run.ui.queue(ssn(c.answer));
        if (!c.ssn) run.ui.queue(ok());
        run.go();
        const QexFile out = run.output();
        if (c.ssn) {
            ASSERT_EQ(out.records.size(), 1u);
            EXPECT_EQ(out.records[0].words[92], *c.ssn);
            EXPECT_EQ(out.records[0].words[6], *c.ssn);
        } else {
            EXPECT_EQ(run.ui.titles(),
                      (std::vector<std::string>{"SSN Value?", "SSN Out Of Range"}));
            EXPECT_EQ(out.records.size(), 0u);
        }
    }
}

// Which files advance the SSN: converted ones (even with no traces or all traces skipped),
// not those skipped at open or as not SEG-2.
TEST(conversion_run, ssn_advances_per_converted_file) {
    ScriptedRun run;
    Seg2Builder bad_only = float_file({1});
    bad_only.traces[0].block_id = 0x1111;
    Seg2Builder not_seg2 = float_file({1});
    not_seg2.block_id = 0x553A;
    run.add_input("a.sg2", float_file({1}));
    run.add_input("b.sg2", not_seg2);
    run.add_input("c.sg2", float_file({1}));
    run.add_input("d.sg2", float_file({}));                    // no traces
    run.add_input("e.sg2", bad_only);                          // every trace skipped
    std::filesystem::create_directory(run.dir.file("f.sg2"));  // cannot be opened as a file
    run.request.inputs.push_back(run.dir.file("f.sg2"));
    run.add_input("g.sg2", float_file({1}));
    run.ui.queue(ssn("5"));
    EXPECT_EQ(run.go(), RunOutcome::completed);
    std::vector<int> ssns;
    for (const QexRecord& r : run.output().records) ssns.push_back(r.words[92]);
    EXPECT_THAT(ssns, ElementsAre(5, 6, 9));
}

TEST(conversion_run, ssn_cannot_advance_past_32767) {
    ScriptedRun run;
    run.add_input("a.sg2", float_file({1, 1}));
    run.add_input("b.sg2", float_file({1}));
    run.ui.queue(ssn("32767"));
    run.ui.queue(ok());
    EXPECT_EQ(run.go(), RunOutcome::stopped);
    EXPECT_EQ(run.ui.titles(), (std::vector<std::string>{"SSN Value?", "SSN Out Of Range"}));
    EXPECT_THAT(run.ui.dialogs().back().text, HasSubstr(run.request.inputs[1]));
    EXPECT_EQ(run.output().records.size(), 2u);

    // As the last file it is no stop.
    ScriptedRun last;
    last.add_input("a.sg2", float_file({1}));
    last.ui.queue(ssn("32767"));
    EXPECT_EQ(last.go(), RunOutcome::completed);
}

TEST(conversion_run, log_entries_and_line_structure) {
    ScriptedRun run;
    Seg2Builder scaled = float_file({1, 1});
    scaled.traces[0].strings.push_back("SCALE 2");
    scaled.traces[1].strings.push_back("SCALE 3");
    Seg2Builder not_seg2 = float_file({1});
    not_seg2.block_id = 0x553A;
    Seg2Builder damaged = float_file({1, 1, 1, 1});
    damaged.traces[1].block_id = 0x2244;
    damaged.traces[2].format_code = 9;
    const std::string a = run.add_input("a.sg2", scaled);
    const std::string b = run.add_input("b.sg2", not_seg2);
    const std::string c = run.dir.file("c.sg2");
    std::filesystem::create_directory(c);
    run.request.inputs.push_back(c);
    const std::string d = run.add_input("d.sg2", damaged);
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    EXPECT_EQ(run.log.text(), file_start(a) + " *SCALE FACTOR APPLIED!* " + file_start(b) + b +
                                  " Not valid SEG-2 file-Skipping\r\n" + file_start(c) +
                                  "An Is a directory occured on file " + c + " skipping \r\n" +
                                  file_start(d) + d + " BAD trace Id on trace  2 Skipping\r\n" + d +
                                  " Uknown data type  9\r\nConversion complete @ " + when + "\r\n");
    EXPECT_EQ(run.ui.text1(), run.log.text());
    EXPECT_EQ(run.output().records.size(), 4u);
}

TEST(conversion_run, log_emptied_past_32000_characters_at_a_file_start) {
    ScriptedRun run;
    const std::string padding(150, 'x');
    std::size_t length = 0;
    std::size_t emptied_at = 0;
    for (std::size_t i = 0; i < 100; ++i) {
        const std::string path = run.dir.file(padding + std::to_string(1000 + i) + ".sg2");
        write_file(path, {'n', 'o', 't'});
        run.request.inputs.push_back(path);
        length += file_start(path).size();
        if (emptied_at == 0 && length > 32000) emptied_at = i;
        length += path.size() + 32;
    }
    ASSERT_GT(emptied_at, 0u);
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    EXPECT_EQ(run.ui.text1_clears(), 2);  // at the start of the run, and once at 32000
    const std::string& first = run.request.inputs[emptied_at];
    EXPECT_THAT(run.log.text(), StartsWith(first + " Not valid SEG-2 file-Skipping\r\n" +
                                           file_start(run.request.inputs[emptied_at + 1])));
}

// With delete_inputs an input goes only when every one of its traces was written.
TEST(conversion_run, deletion_of_converted_inputs_only) {
    struct Case {
        const char* name;
        std::function<std::string(ScriptedRun&)> input;  // adds the input, returns its path
        bool exists_after;
        std::string log_tail;  // after the path
    };
    const std::vector<Case> cases = {
        {"converted",
         [](ScriptedRun& r) {
             return r.add_input("a.sg2", float_file({2, 2}));
         },
         false, ""},
        {"no traces", [](ScriptedRun& r) { return r.add_input("a.sg2", float_file({})); }, true,
         " kept: not converted completely\r\n"},
        {"trace count damaged to -3",
         [](ScriptedRun& r) {
             Seg2Builder f = float_file({2, 2, 2});
             f.trace_count = -3;
             return r.add_input("a.sg2", f);
         },
         true, " kept: not converted completely\r\n"},
        {"trace count 0 with pointers present",
         [](ScriptedRun& r) {
             Seg2Builder f = float_file({2, 2});
             f.trace_count = 0;
             return r.add_input("a.sg2", f);
         },
         true, " kept: not converted completely\r\n"},
        {"replaced by a new recording during its last yield",
         [](ScriptedRun& r) {
             const std::string path = r.add_input("a.sg2", float_file({2, 2}));
             r.ui.on_yield = [path, &r](int call) {
                 if (call == 2) {
                     write_seg2(r.dir, "new.sg2", float_file({5}));
                     std::filesystem::rename(r.dir.file("new.sg2"), path);
                 }
                 return true;
             };
             return path;
         },
         true, " kept: not converted completely\r\n"},
        {"a symbolic link to the input: the link goes, the file it names stays",
         [](ScriptedRun& r) {
             write_seg2(r.dir, "real.sg2", float_file({2}));
             std::filesystem::create_symlink(r.dir.file("real.sg2"), r.dir.file("a.sg2"));
             r.request.inputs.push_back(r.dir.file("a.sg2"));
             return r.request.inputs.back();
         },
         false, ""},
        {"not SEG-2",
         [](ScriptedRun& r) {
             Seg2Builder f = float_file({2});
             f.block_id = 0;
             return r.add_input("a.sg2", f);
         },
         true, " kept: not converted completely\r\n"},
        {"a skipped trace",
         [](ScriptedRun& r) {
             Seg2Builder f = float_file({2, 2});
             f.traces[1].format_code = 7;
             return r.add_input("a.sg2", f);
         },
         true, " kept: not converted completely\r\n"},
        {"cannot be opened",
         [](ScriptedRun& r) {
             std::filesystem::create_directory(r.dir.file("a.sg2"));
             r.request.inputs.push_back(r.dir.file("a.sg2"));
             return r.request.inputs.back();
         },
         true, " kept: not converted completely\r\n"},
        {"deletion fails",
         [](ScriptedRun& r) {
             const std::string path = r.add_input("a.sg2", float_file({2}));
             r.ui.on_yield = [path](int) {
                 std::filesystem::remove(path);
                 return true;
             };
             return path;
         },
         false, " could not be deleted: No such file or directory\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run;
        run.request.options.delete_inputs = true;
        const std::string path = c.input(run);
        const std::string later = run.add_input("z.sg2", float_file({1}));
        run.ui.queue(Reply::button(Answer::yes));
        run.ui.queue(ssn("1"));
        EXPECT_EQ(run.go(), RunOutcome::completed);
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(path)), c.exists_after);
        EXPECT_FALSE(std::filesystem::exists(later));
        if (!c.log_tail.empty()) {
            EXPECT_THAT(run.log.text(), HasSubstr(path + c.log_tail));
        }
        // The file a link names is never deleted with the link.
        EXPECT_EQ(std::filesystem::exists(run.dir.file("real.sg2")),
                  std::string_view(c.name).starts_with("a symbolic link"));
        EXPECT_TRUE(run.output().whole);
    }
}

TEST(conversion_run, stop_leaves_current_and_later_inputs) {
    ScriptedRun run;
    run.request.options.delete_inputs = true;
    Seg2Builder shortage = float_file({1, 1});
    shortage.pointer_block_size = 6;
    const std::string a = run.add_input("a.sg2", float_file({1}));
    const std::string b = run.add_input("b.sg2", shortage);
    const std::string c = run.add_input("c.sg2", float_file({1}));
    run.ui.queue(Reply::button(Answer::yes));
    run.ui.queue(ssn("1"));
    run.ui.queue(ok());
    EXPECT_EQ(run.go(), RunOutcome::stopped);
    EXPECT_EQ(run.ui.titles().back(), "SEG-2 Data Format Error");
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_TRUE(std::filesystem::exists(b));
    EXPECT_TRUE(std::filesystem::exists(c));
    EXPECT_THAT(run.log.text(), ::testing::Not(HasSubstr("Conversion complete")));
    EXPECT_EQ(run.ui.mouse_pointer(), MousePointer::normal);
    EXPECT_TRUE(run.ui.text1_visible());
}

TEST(conversion_run, window_state_and_yields) {
    ScriptedRun run;
    bool hidden_while_running = true;
    MousePointer pointer_while_running = MousePointer::normal;
    run.ui.on_yield = [&](int) {
        hidden_while_running = hidden_while_running && !run.ui.text1_visible();
        pointer_while_running = run.ui.mouse_pointer();
        return true;
    };
    run.add_input("a.sg2", float_file({1, 1}));
    const std::string b = run.add_input("b.sg2", float_file({1, 1, 1}));
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    EXPECT_EQ(run.ui.yields(), 5);
    EXPECT_TRUE(hidden_while_running);
    EXPECT_EQ(pointer_while_running, MousePointer::hourglass);
    EXPECT_TRUE(run.ui.text1_visible());
    EXPECT_TRUE(run.ui.label3_visible());
    EXPECT_EQ(run.ui.label3_caption(), b);
    EXPECT_THAT(run.ui.list1_selections(), ElementsAre(0, 1));
    EXPECT_EQ(run.ui.mouse_pointer(), MousePointer::normal);
}

TEST(conversion_run, closing_the_window_stops_after_the_record) {
    ScriptedRun run;
    run.ui.on_yield = [](int n) { return n < 2; };
    run.add_input("a.sg2", float_file({1, 1, 1}));
    run.ui.queue(ssn("1"));
    EXPECT_EQ(run.go(), RunOutcome::stopped);
    EXPECT_EQ(run.output().records.size(), 2u);
    EXPECT_EQ(run.ui.mouse_pointer(), MousePointer::normal);
    EXPECT_TRUE(run.ui.text1_visible());
}

TEST(conversion_run, header_words_persist_across_files) {
    ScriptedRun run;
    Seg2Builder first = float_file({1});
    first.file_string("W20=77");
    run.add_input("a.sg2", first);
    run.add_input("b.sg2", float_file({1, 1}));
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    const QexFile out = run.output();
    ASSERT_EQ(out.records.size(), 3u);
    for (const QexRecord& r : out.records) EXPECT_EQ(r.words[20], 77);
}

TEST(conversion_run, receiver_stop_ends_the_run) {
    ScriptedRun run;
    Seg2Builder file = float_file({1, 1});
    file.traces[1].strings.push_back("STOP");
    run.add_input("a.sg2", file);
    run.ui.queue(ssn("1"));
    EXPECT_EQ(run.go(), RunOutcome::stopped);
    EXPECT_EQ(run.output().records.size(), 1u);
}

// Every prefix of a small file converts what lies wholly inside it and skips the rest with
// a log entry; the run always reaches its end.
TEST(conversion_run, every_cut_point_of_a_small_file) {
    const Seg2Builder builder = float_file({3, 2});
    const std::vector<std::uint8_t> whole = builder.build();
    const std::vector<std::int32_t> offsets = builder.trace_offsets();
    const std::size_t strings_end = 32 + 8 + 2 + 5 + 2;
    const std::size_t first_end = static_cast<std::size_t>(offsets[1]);
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ScriptedRun run;
        const std::string path = run.dir.file("cut.sg2");
        write_file(path, {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)});
        run.request.inputs.push_back(path);
        run.ui.queue(ssn("1"));
        ASSERT_EQ(run.go(), RunOutcome::completed);
        const QexFile out = run.output();
        EXPECT_TRUE(out.whole);
        const std::size_t expected = cut == whole.size() ? 2 : cut >= first_end ? 1 : 0;
        EXPECT_EQ(out.records.size(), expected);
        if (cut < strings_end) {
            EXPECT_THAT(run.log.text(), HasSubstr(" Not valid SEG-2 file-Skipping\r\n"));
        } else if (expected < 2) {
            EXPECT_THAT(run.log.text(), HasSubstr(" truncated trace 2 Skipping\r\n"));
        }
    }
}

// Passes strings on to the test strings, first calling on_string with each (less its zero).
class HookedStrings final : public HeaderStringReceiver {
public:
    Result header_string(std::string_view s, OutputTraceHeader& header, double& scale) override {
        if (on_string) on_string(s.substr(0, s.find('\0')));
        return strings.header_string(s, header, scale);
    }
    TestStrings strings;
    std::function<void(std::string_view)> on_string;
};

// An output file that the run created and left empty is removed at every end of the run;
// one that existed before, or that is no longer the file the run created, stays.
TEST(conversion_run, an_output_it_created_and_left_empty_is_removed) {
    struct Case {
        const char* name;
        bool output_before;
        std::function<void(ScriptedRun&)> setup;
        std::vector<Reply> replies;  // after the SSN
        RunOutcome outcome;
        bool output_after;
    };
    const auto stop_at_first_trace = [](ScriptedRun& r) {
        Seg2Builder f = float_file({1});
        f.traces[0].strings.push_back("STOP");
        r.add_input("a.sg2", f);
    };
    const auto too_many_samples = [](ScriptedRun& r) {
        r.add_input("a.sg2", float_file({1}));
        r.add_input("b.sg2", float_file({70000}));
    };
    const auto nothing_to_convert = [](ScriptedRun& r) {
        Seg2Builder f = float_file({1});
        f.block_id = 0;
        r.add_input("a.sg2", f);
    };
    using O = RunOutcome;
    const std::vector<Case> cases = {
        {"stop at the first trace", false, stop_at_first_trace, {}, O::stopped, false},
        {"stop at the first trace, output there before",
         true,
         stop_at_first_trace,
         {},
         O::stopped,
         true},
        {"a stop after a record", false, too_many_samples, {ok()}, O::stopped, true},
        {"complete, but no input was SEG-2", false, nothing_to_convert, {}, O::completed, false},
        {"complete, no input was SEG-2, output there before",
         true,
         nothing_to_convert,
         {},
         O::completed,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run;
        c.setup(run);
        if (c.output_before) {
            write_file(run.request.output_file_name, {});
            run.ui.queue(ok());  // "Appending Data"
        }
        run.ui.queue(ssn("1"));
        for (const Reply& reply : c.replies) run.ui.queue(reply);
        EXPECT_EQ(run.go(), c.outcome);
        EXPECT_EQ(std::filesystem::exists(run.request.output_file_name), c.output_after);
    }

    // Another file put in its place while the run went on is not the run's to remove.
    ScriptedRun run;
    HookedStrings strings;
    strings.on_string = [&run](std::string_view s) {
        if (s != "STOP") return;
        write_file(run.dir.file("other"), {});
        std::filesystem::rename(run.dir.file("other"), run.request.output_file_name);
    };
    stop_at_first_trace(run);
    run.ui.queue(ssn("1"));
    EXPECT_EQ(convert_run(run.request, run.ui, run.log, strings), RunOutcome::stopped);
    EXPECT_TRUE(std::filesystem::exists(run.request.output_file_name));
}

// A symbolic link to a file that does not exist yet names the output: the run creates that
// file and writes into it, as an ordinary create would; the link stays a link.
TEST(conversion_run, output_through_a_symbolic_link_to_nothing) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // link name, what it names
        std::string created;                                     // relative to the directory
    };
    const std::vector<Case> cases = {
        {"relative", {{"out.qex", "data.qex"}}, "data.qex"},
        {"into a subdirectory", {{"out.qex", "sub/data.qex"}}, "sub/data.qex"},
        {"absolute", {{"out.qex", "@/data.qex"}}, "data.qex"},
        {"a chain of two links",
         {{"out.qex", "mid.qex"}, {"mid.qex", "sub/data.qex"}},
         "sub/data.qex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run;
        std::filesystem::create_directory(run.dir.file("sub"));
        for (auto [link, target] : c.links) {
            if (target.starts_with("@")) target = run.dir.path().string() + target.substr(1);
            std::filesystem::create_symlink(target, run.dir.file(link));
        }
        run.add_input("a.sg2", float_file({3}));
        run.ui.queue(ssn("1"));
        EXPECT_EQ(run.go(), RunOutcome::completed);
        EXPECT_EQ(run.ui.titles(), std::vector<std::string>{"SSN Value?"});
        EXPECT_EQ(read_qex(run.dir.file(c.created)).records.size(), 1u);
        EXPECT_TRUE(std::filesystem::is_symlink(run.request.output_file_name));

        // Created this way and left empty, it goes again; the link stays.
        ScriptedRun empty;
        std::filesystem::create_symlink(empty.dir.file("data.qex"), empty.request.output_file_name);
        empty.add_input("a.sg2", float_file({3}));
        empty.ui.queue(ssn(""));
        EXPECT_EQ(empty.go(), RunOutcome::ended_at_check);
        EXPECT_FALSE(std::filesystem::exists(empty.dir.file("data.qex")));
        EXPECT_TRUE(std::filesystem::is_symlink(empty.request.output_file_name));
    }
}

// A file of one-sample traces; each trace states the interval given for it, or none.
Seg2Builder interval_file(const std::vector<std::optional<int>>& intervals,
                          std::optional<int> file_interval = std::nullopt) {
    Seg2Builder file;
    file.file_string("W8=1");
    if (file_interval) file.file_string("W59=" + std::to_string(*file_interval));
    for (const std::optional<int>& interval : intervals) {
        Seg2Trace trace = Seg2Trace::float32({1.0F});
        if (interval) trace.with_string("W59=" + std::to_string(*interval));
        file.add_trace(trace);
    }
    return file;
}

// The operator's interval serves the traces that state none; a trace that states its own
// keeps it, in whichever file it stands and whatever an earlier trace left in word 59.
TEST(conversion_run, manual_interval_only_for_traces_without_their_own) {
    ScriptedRun run;
    run.request.options.resample_factor = 2;
    run.add_input("a.sg2", interval_file({std::nullopt, std::nullopt}));
    run.add_input("b.sg2", interval_file({125, std::nullopt, 250}));
    run.add_input("c.sg2", interval_file({std::nullopt, 0}, 400));
    run.add_input("d.sg2", interval_file({std::nullopt}));
    run.ui.queue(ssn("1"));
    run.ui.queue(Reply::text("0.5"));  // "Missing Sampling Rate"
    ASSERT_EQ(run.go(), RunOutcome::completed);
    std::vector<int> intervals;
    for (const QexRecord& r : run.output().records) intervals.push_back(r.words[59]);
    // Word 59 is the interval times the factor 2.
    EXPECT_THAT(intervals, ElementsAre(1000, 1000, 250, 1000, 500, 800, 1000, 1000));
    EXPECT_EQ(run.ui.titles(), (std::vector<std::string>{"SSN Value?", "Missing Sampling Rate"}));
    const std::string note = " -*Manual entered sample rate value used.*- ";
    EXPECT_EQ(run.log.text().find(note), run.log.text().rfind(note));
    EXPECT_THAT(run.log.text(), HasSubstr(note));
}

}  // namespace
}  // namespace quarvent::testing
