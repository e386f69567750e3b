#include "shell/input_drop.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/natural_order.hpp"
#include "engine/file_probe.hpp"

namespace quarvent {

namespace {

namespace fs = std::filesystem;

bool is_folder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool is_ordinary_file(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::vector<std::string> files_in(const std::string& folder, bool include_subfolders) {
    std::vector<std::string> files;
    std::error_code error;
    if (include_subfolders) {
        for (fs::recursive_directory_iterator
                 it(folder, fs::directory_options::skip_permission_denied, error),
             end;
             !error && it != end; it.increment(error)) {
            if (is_ordinary_file(it->path())) files.push_back(it->path().string());
        }
    } else {
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (is_ordinary_file(it->path())) files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end(), natural_less);
    return files;
}

}  // namespace

bool drop_has_subfolders(const std::vector<std::string>& dropped) {
    for (const std::string& path : dropped) {
        if (!is_folder(path)) continue;
        std::error_code error;
        for (fs::directory_iterator it(path, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code kind;
            if (it->is_directory(kind)) return true;
        }
    }
    return false;
}

DropContents drop_contents(const std::vector<std::string>& dropped, bool include_subfolders) {
    std::vector<std::string> sorted = dropped;
    std::sort(sorted.begin(), sorted.end(), natural_less);
    DropContents contents;
    auto offer = [&contents](const std::string& file) {
        if (seg2_trace_count(file)) {
            contents.recordings.push_back(file);
        } else {
            ++contents.left_out;
        }
    };
    for (const std::string& path : sorted) {
        if (is_folder(path)) {
            for (const std::string& file : files_in(path, include_subfolders)) offer(file);
        } else {
            offer(path);
        }
    }
    return contents;
}

}  // namespace quarvent
