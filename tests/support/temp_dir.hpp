#pragma once
// A fresh directory for one test, removed with everything in it when the test ends.

#include <filesystem>
#include <string>

namespace quarvent::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Full path of name inside the directory.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Path of a file under the shared sample recordings, or empty when they are not present
// (a user's clone has no ../shared): callers GTEST_SKIP with a clear message.
std::string shared_sample(const std::string& relative);
std::string shared_samples_dir();

}  // namespace quarvent::testing
