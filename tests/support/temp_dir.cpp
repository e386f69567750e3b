#include "tests/support/temp_dir.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace quarvent::testing {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quarvent-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    // Tests may leave read-only directories behind; make them writable before removal.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ignored);
}

std::string shared_samples_dir() {
    // Tests run from the repository's top directory; the recordings lie beside it.
    const char* candidates[] = {"../shared/seg2-samples", "../../shared/seg2-samples"};
    for (const char* candidate : candidates) {
        std::error_code ignored;
        if (std::filesystem::is_directory(candidate, ignored)) {
            return std::filesystem::absolute(candidate).lexically_normal().string();
        }
    }
    return {};
}

std::string shared_sample(const std::string& relative) {
    const std::string dir = shared_samples_dir();
    if (dir.empty()) return {};
    return dir + "/" + relative;
}

}  // namespace quarvent::testing
