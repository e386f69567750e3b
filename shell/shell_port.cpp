#include "shell/shell_port.hpp"

#include <cmath>

namespace quarvent {

std::string_view menu_name(Menu menu) {
    static constexpr auto names = enum_names<Menu::optionrunlog>(
        "filemenu", "fileopen", "fileoutput", "fileclear", "filesep", "fileexit", "segoptions",
        "optresamp", "resamp1_1", "resamp1_2", "resamp1_4", "optiondelete", "optionshorten",
        "convert", "help", "helpcontent", "fileabout", "convertstop", "optionremember", "viewmenu",
        "viewinput", "viewoutput", "optionfresh", "filesavelog", "optionrunlog");
    return name_in(names, menu);
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
