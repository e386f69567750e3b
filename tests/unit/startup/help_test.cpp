#include "shell/help.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

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
        {"/", "/QUARVENT.HLP"},                  // the root: one separator only
        {"/opt/q/  ", "/opt/q/  QUARVENT.HLP"},  // blanks ignored for the test only
        {"  /opt/q", "  /opt/q/QUARVENT.HLP"},
        {"", "QUARVENT.HLP"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.program_dir);
        EXPECT_EQ(help_file_path_in(row.program_dir), row.expected);
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

}  // namespace
}  // namespace quarvent
