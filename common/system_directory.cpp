#include "common/system_directory.hpp"

#include <array>
#include <cstdlib>
#include <system_error>

// The build defines these (cmake/Install.cmake); the fallbacks keep a stray compile working.
#ifndef QUARVENT_SOURCE_DATA_DIR
#define QUARVENT_SOURCE_DATA_DIR "data/"
#endif
#ifndef QUARVENT_DATA_FROM_BINDIR
#define QUARVENT_DATA_FROM_BINDIR "../share/quarvent/"
#endif
#ifndef QUARVENT_DATA_FROM_LIBEXECDIR
#define QUARVENT_DATA_FROM_LIBEXECDIR "../../share/quarvent/"
#endif

namespace quarvent {

namespace {

std::string with_trailing_separator(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return dir;
}

}  // namespace

std::string choose_system_directory(std::string_view override_dir,
                                    const std::filesystem::path& program_dir,
                                    std::span<const std::string_view> installed_data_dirs,
                                    std::string_view source_data_dir) {
    if (!override_dir.empty()) return with_trailing_separator(std::string(override_dir));
    if (!program_dir.empty()) {
        for (const auto relative : installed_data_dirs) {
            const auto candidate = (program_dir / relative).lexically_normal();
            std::error_code error;
            if (std::filesystem::is_directory(candidate, error) && !error) {
                return with_trailing_separator(candidate.string());
            }
        }
    }
    return with_trailing_separator(std::string(source_data_dir));
}

std::filesystem::path program_directory() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty()) return {};
    return program.parent_path();
}

std::string system_directory() {
    static constexpr std::array<std::string_view, 2> installed = {QUARVENT_DATA_FROM_BINDIR,
                                                                  QUARVENT_DATA_FROM_LIBEXECDIR};
    const char* override_dir = std::getenv(std::string(system_directory_variable).c_str());
    return choose_system_directory(override_dir != nullptr ? override_dir : "", program_directory(),
                                   installed, QUARVENT_SOURCE_DATA_DIR);
}

std::string default_keyword_file_path() {
    std::string path = system_directory();
    path += keyword_file_name;
    return path;
}

}  // namespace quarvent
