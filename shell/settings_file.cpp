#include "shell/settings_file.hpp"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

#include "common/numbers.hpp"

namespace quarvent {

namespace {

std::vector<std::string_view> split_lines(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const auto end = content.find('\n');
        std::string_view line = content.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        content.remove_prefix(end + 1);
    }
    return lines;
}

// A line that does not begin with a number reads as 0, like any number the program takes
// from text; only a value beyond a double's range is unreadable.
std::optional<double> read_item_number(std::string_view line) {
    const double value = read_number(line);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> read_item_size(std::string_view line) {
    const auto value = read_item_number(line);
    if (!value || *value <= 0) return std::nullopt;
    return value;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string number_line(double value, std::string_view label) {
    std::string line = number_text(value, 7);
    line += ' ';
    line += label;
    return line;
}

std::string directory_line(const std::string& dir) {
    if (dir.find_first_of("\r\n") != std::string::npos) return {};
    return dir;
}

}  // namespace

SettingsItems parse_settings(std::string_view content) {
    SettingsItems items;
    const auto lines = split_lines(content);
    for (std::size_t i = 0; i < lines.size() && i < settings_line_count; ++i) {
        const int line_number = static_cast<int>(i) + 1;
        const std::string_view line = lines[i];
        switch (line_number) {
            case 3:
                items.window_top = read_item_number(line);
                break;
            case 4:
                items.window_left = read_item_number(line);
                break;
            case 5:
                items.window_width = read_item_size(line);
                break;
            case 6:
                items.window_height = read_item_size(line);
                break;
            case 7:
                items.last_input_dir = std::string(line);
                break;
            case 8:
                items.last_output_dir = std::string(line);
                break;
            default:
                if (const auto value = read_item_number(line)) {
                    if (const auto placeholder = to_int16(*value)) {
                        items.placeholder_value = placeholder;
                    }
                }
                break;
        }
    }
    return items;
}

std::string format_settings(const Settings& settings) {
    const double placeholder = settings.placeholder_value;
    const std::string lines[settings_line_count] = {
        number_line(placeholder, " place holder quarvent.ini"),
        number_line(placeholder, " place holder"),
        number_line(settings.window_top, " form top"),
        number_line(settings.window_left, " form left"),
        number_line(settings.window_width, " form width"),
        number_line(settings.window_height, " form height"),
        directory_line(settings.last_input_dir),
        directory_line(settings.last_output_dir),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
        number_line(placeholder, " place holder"),
    };
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string read_settings_text(std::FILE* stream) {
    std::string content;
    if (stream == nullptr) return content;
    int lines = 0;
    char buffer[4096];
    while (content.size() < settings_read_limit) {
        const std::size_t wanted = std::min(sizeof buffer, settings_read_limit - content.size());
        const std::size_t count = std::fread(buffer, 1, wanted, stream);
        for (std::size_t i = 0; i < count; ++i) {
            if (buffer[i] != '\n' || ++lines < settings_line_count) continue;
            // The end of the last line the file is meant to have.
            content.append(buffer, i + 1);
            return content;
        }
        content.append(buffer, count);
        if (count < wanted) return content;  // the end of the file, or a read error
    }
    // The limit cut the line it stopped in.
    const auto last_line_end = content.rfind('\n');
    content.resize(last_line_end == std::string::npos ? 0 : last_line_end + 1);
    return content;
}

std::string find_settings_file(const std::filesystem::path& dir) {
    std::error_code error;
    std::filesystem::directory_iterator it(dir, error);
    if (error) return {};
    std::string found;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (!equal_ignoring_case(name, settings_file_name)) continue;
        std::error_code type_error;
        if (!it->is_regular_file(type_error) || type_error) continue;
        if (name == settings_file_name) return name;
        if (found.empty() || name < found) found = name;
    }
    return found;
}

}  // namespace quarvent
