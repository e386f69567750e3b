#include "common/system_directory.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::TempDir;

TEST(system_directory, follows_the_override_then_the_installed_tree_then_the_source_tree) {
    TempDir prefix;
    std::filesystem::create_directories(prefix.path() / "bin");
    std::filesystem::create_directories(prefix.path() / "libexec/quarvent");
    std::filesystem::create_directories(prefix.path() / "share/quarvent");
    TempDir build;  // a program in a build tree has no share/quarvent beside it
    const std::string bin = (prefix.path() / "bin").string();
    const std::string libexec = (prefix.path() / "libexec/quarvent").string();
    const std::string share = (prefix.path() / "share/quarvent/").string();
    const std::array<std::string_view, 2> installed = {"../share/quarvent/",
                                                       "../../share/quarvent/"};

    struct Row {
        const char* name;
        std::string override_dir;
        std::string program_dir;
        std::string source_dir;
        std::string expected;
    };
    const Row rows[] = {
        {"override", "/opt/keywords", bin, "/src/data/", "/opt/keywords/"},
        {"override ending in a separator", "/opt/keywords/", bin, "/src/data/", "/opt/keywords/"},
        {"installed program in bin", "", bin, "/src/data/", share},
        {"installed program in libexec", "", libexec, "/src/data/", share},
        {"program in a build tree", "", build.path().string(), "/src/data/", "/src/data/"},
        {"program directory unknown", "", "", "/src/data", "/src/data/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(
            choose_system_directory(row.override_dir, row.program_dir, installed, row.source_dir),
            row.expected);
    }
}

TEST(system_directory, the_environment_variable_overrides_it) {
    ASSERT_EQ(::setenv("QUARVENT_SYSTEM_DIR", "/srv/quarvent", 1), 0);
    EXPECT_EQ(system_directory(), "/srv/quarvent/");
    EXPECT_EQ(default_keyword_file_path(), "/srv/quarvent/QEXKEYWO.RD");
    ASSERT_EQ(::unsetenv("QUARVENT_SYSTEM_DIR"), 0);
    // A test program lies in the build tree: the source tree's data folder.
    EXPECT_EQ(system_directory(), QUARVENT_SOURCE_DATA_DIR);
}

}  // namespace
}  // namespace quarvent
