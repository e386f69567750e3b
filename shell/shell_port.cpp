#include "shell/shell_port.hpp"

#include <array>
#include <cmath>

namespace quarvent {

std::string_view menu_name(Menu menu) {
    static constexpr std::array<std::string_view, menu_count> names = {
        "filemenu",       "fileopen",  "fileoutput", "fileclear",   "filesep",   "fileexit",
        "segoptions",     "optresamp", "resamp1_1",  "resamp1_2",   "resamp1_4", "optiondelete",
        "optionshorten",  "convert",   "help",       "helpcontent", "fileabout", "convertstop",
        "optionremember", "viewmenu",  "viewinput",  "viewoutput",
    };
    const auto index = static_cast<std::size_t>(menu);
    return index < names.size() ? names[index] : std::string_view{};
}

std::string_view control_name(Control control) {
    switch (control) {
        case Control::Label1:
            return "Label1";
        case Control::Label2:
            return "Label2";
        case Control::Label3:
            return "Label3";
        case Control::List1:
            return "List1";
        case Control::Text1:
            return "Text1";
    }
    return {};
}

double pixels_to_twips(int pixels, double twips_per_pixel) { return pixels * twips_per_pixel; }

int twips_to_pixels(double twips, double twips_per_pixel) {
    return static_cast<int>(std::lround(twips / twips_per_pixel));
}

std::string join_path(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty() || path.back() != path_separator) path.push_back(path_separator);
    path += name;
    return path;
}

std::string compose_file_dialog_text(std::string_view directory,
                                     const std::vector<std::string>& names,
                                     std::size_t max_text_length) {
    if (names.empty()) return {};
    if (names.size() == 1) {
        std::string path = join_path(directory, names.front());
        return path.size() <= max_text_length ? path : std::string{};
    }
    std::string text(directory);
    std::size_t kept = 0;
    for (const auto& name : names) {
        if (text.size() + 1 + name.size() > max_text_length) break;
        text.push_back('\0');
        text += name;
        ++kept;
    }
    // A directory with no name after it would read as the path of one input file.
    if (kept == 0) return {};
    return text;
}

}  // namespace quarvent
