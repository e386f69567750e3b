#pragma once
// The settings file quarvent.ini: 22 text lines in the start-up directory holding the main
// window's geometry in twips and the two remembered dialog directories; the other lines
// carry a placeholder number that nothing uses.
//
//   line 1      placeholder, " place holder quarvent.ini"
//   line 2      placeholder, " place holder"
//   lines 3-6   window top, left, width, height, each followed by " form top" and so on
//   lines 7, 8  the input and the output dialog's directory, as they are
//   lines 9-22  placeholder, " place holder"
//
// A number is written with a blank in the sign position when it is not negative and one
// blank after it, so a top of 600 twips gives " 600  form top". Every line ends in CR LF.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quarvent {

inline constexpr std::string_view settings_file_name = "quarvent.ini";
inline constexpr int settings_line_count = 22;

// What the program writes at Exit.
struct Settings {
    std::int16_t placeholder_value = 0;
    double window_top = 0;
    double window_left = 0;
    double window_width = 0;
    double window_height = 0;
    std::string last_input_dir;
    std::string last_output_dir;
};

// What a settings file gave at start-up. Every item is read on its own: a missing or damaged
// line leaves its value unset and the reading goes on with the next line.
struct SettingsItems {
    // The value of the last placeholder line that could be read.
    std::optional<std::int16_t> placeholder_value;
    std::optional<double> window_top;
    std::optional<double> window_left;
    std::optional<double> window_width;
    std::optional<double> window_height;
    std::optional<std::string> last_input_dir;
    std::optional<std::string> last_output_dir;
};

// Reads the items of a settings file's content. Lines end in CR LF or LF alone. A numeric
// line is read with read_number, so one that does not begin with a number reads as 0; a
// placeholder must fit 16 bits after rounding; a window position must be finite and a size
// finite and greater than 0. A directory line is taken whole, commas included.
SettingsItems parse_settings(std::string_view content);

// The most start-up reads of a settings file. The 22 lines, two of them directories, fit many
// times over; a file under the settings file's name that holds something else entirely costs
// no more than this.
inline constexpr std::size_t settings_read_limit = 64 * 1024;

// Reads a settings file's lines from stream: up to the end of its 22nd line, the end of the
// file, a read error or settings_read_limit bytes, whichever comes first. A line that the
// byte limit cuts is left out, like any item that cannot be read.
std::string read_settings_text(std::FILE* stream);

// The 22 lines of the settings file, exactly as written. A directory that holds a line
// break cannot be kept on one line and is written as an empty line.
std::string format_settings(const Settings& settings);

// The name of the settings file in dir as the directory lists it: an ordinary file whose
// name is "quarvent.ini" without regard to letter case. The exact spelling wins when there
// are several; otherwise the first in byte order. Empty when there is none or the directory
// cannot be listed.
std::string find_settings_file(const std::filesystem::path& dir);

}  // namespace quarvent
