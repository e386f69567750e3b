#include "shell/help.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quarvent {
namespace {

TEST(help, the_help_file_lies_in_the_program_directory) {
    struct Row {
        const char* program_dir;
        const char* expected;
    };
    const Row rows[] = {
        {"/usr/libexec/quarvent", "/usr/libexec/quarvent/QUARVENT.HLP"},
        {"/usr/libexec/quarvent/", "/usr/libexec/quarvent/QUARVENT.HLP"},
        {"/", "/QUARVENT.HLP"},  // the root: one separator only
        {"/opt/q/  ", "/opt/q/  QUARVENT.HLP"},  // blanks ignored for the test only
        {"  /opt/q", "  /opt/q/QUARVENT.HLP"},
        {"", "QUARVENT.HLP"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.program_dir);
        EXPECT_EQ(help_file_path_in(row.program_dir), row.expected);
    }
}

TEST(help, menus_and_controls_carry_their_context_numbers) {
    struct Row {
        const char* name;
        std::optional<int> context;
    };
    const Row rows[] = {
        {"filemenu", 5010},     {"segoptions", 5020}, {"optresamp", 5022},
        {"optiondelete", 5024}, {"optionshorten", 5026}, {"convert", 5030},
        {"help", 5040},         {"List1", 5100},      {"Text1", 5200},
        {"fileopen", {}},       {"resamp1_2", {}},    {"fileabout", {}},
        {"list1", {}},          {"", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(help_context_of(row.name), row.context);
    }
}

// The help file must have a contents page and a topic for every context number, and its
// links must lead somewhere.
TEST(help, the_help_file_has_every_topic_the_program_opens) {
    std::ifstream file(std::string(QUARVENT_SOURCE_DATA_DIR) + std::string(help_file_name),
                       std::ios::binary);
    ASSERT_TRUE(file) << "the help file is missing from data/";
    std::stringstream content;
    content << file.rdbuf();
    const std::string html = content.str();

    auto has_anchor = [&html](const std::string& name) {
        return html.find("<a name=\"" + name + "\">") != std::string::npos;
    };
    EXPECT_TRUE(has_anchor("contents"));
    for (const auto& entry : help_contexts()) {
        SCOPED_TRACE(entry.object_name);
        EXPECT_TRUE(has_anchor(help_topic_anchor(entry.context)));
        EXPECT_NE(html.find("href=\"#" + help_topic_anchor(entry.context) + "\""),
                  std::string::npos)
            << "the contents do not lead to this topic";
    }
    for (std::size_t at = 0; (at = html.find("href=\"#", at)) != std::string::npos;) {
        at += 7;
        const std::string target = html.substr(at, html.find('"', at) - at);
        SCOPED_TRACE(target);
        EXPECT_TRUE(has_anchor(target)) << "a link leads nowhere";
    }
    // The text is plain ASCII, so that it shows the same whatever the viewer's encoding.
    for (const char c : html) ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80);
}

class RecordingViewer final : public HelpViewer {
public:
    void show_contents(const std::string& file) override { calls.push_back("contents " + file); }
    void show_topic(const std::string& file, int context) override {
        calls.push_back("topic " + std::to_string(context) + " " + file);
    }
    void quit(const std::string& file) override { calls.push_back("quit " + file); }
    std::vector<std::string> calls;
};

TEST(help, asks_the_viewer_for_the_set_up_file) {
    Help help;
    help.show_help_contents();  // before the set-up nothing is asked of any viewer
    help.close_help();
    RecordingViewer viewer;
    help.set_up_help(viewer, "/opt/quarvent");
    help.show_help_contents();
    help.show_help_topic(help_context::convert);
    help.close_help();
    EXPECT_EQ(viewer.calls, (std::vector<std::string>{"contents /opt/quarvent/QUARVENT.HLP",
                                                      "topic 5030 /opt/quarvent/QUARVENT.HLP",
                                                      "quit /opt/quarvent/QUARVENT.HLP"}));
}

}  // namespace
}  // namespace quarvent
