#pragma once
// The About window: the version banner as its title, the picture qexabout.bmp filling a
// client area of 388 by 253 pixels, and one button, Command1 ("OK"), which shows the
// disclaimer before the window closes. A click on the window's body shows the banner and
// the credits. The window exists only while show_about runs: loaded, centred over the main
// window, shown modally, unloaded.

#include <memory>
#include <string>
#include <string_view>

#include "common/ui_port.hpp"

namespace quarvent {

inline constexpr std::string_view about_title = "QUARVENT  Ver. 4.1.32b";
inline constexpr std::string_view about_picture_name = "qexabout.bmp";
inline constexpr int about_client_width_px = 388;
inline constexpr int about_client_height_px = 253;

// The disclaimer shown when OK is pressed: six lines, each ended by CR LF.
std::string about_disclaimer_text();
// The body click's text: the window's title, then the two credit lines, separated by CR LF.
std::string about_credits_text(std::string_view title);
inline constexpr std::string_view about_credits_title = "About";

class About;

enum class PictureLoad { loaded, not_found, failed };

// One loaded About window as the logic sees it. Positions and sizes are in twips, as the
// main window's are; outer values include the window's frame, client values do not.
class AboutWindowPort {
public:
    virtual ~AboutWindowPort() = default;

    // Loads the picture file at path as the window's background. not_found when there is
    // no such file; failed when it exists but cannot be shown. The window keeps no picture
    // unless this returns loaded.
    virtual PictureLoad load_picture(const std::string& path) = 0;
    virtual bool has_picture() const = 0;

    // The window's twips per pixel, from its screen's logical resolution.
    virtual double twips_per_pixel_x() const = 0;
    virtual double twips_per_pixel_y() const = 0;

    virtual double outer_width() const = 0;
    virtual double outer_height() const = 0;
    virtual double client_width() const = 0;
    virtual double client_height() const = 0;
    virtual void set_outer_size(double width, double height) = 0;
    virtual double left() const = 0;
    virtual double top() const = 0;
    virtual void set_position(double left, double top) = 0;

    virtual void set_title(std::string_view title) = 0;
    virtual std::string title() const = 0;

    // Command1, the OK button: its height and the top of it within the client area.
    virtual double command1_height() const = 0;
    virtual double command1_top() const = 0;
    virtual void set_command1_top(double top) = 0;

    // Shows the window modally. Its events go to about's handlers (Command1_Click,
    // Form_Click). Returns when about unloads the window or it is closed otherwise.
    virtual void show_modal(About& about) = 0;
    // Closes the window: show_modal returns.
    virtual void unload() = 0;
};

// Makes a fresh About window each time one is loaded.
class AboutWindowFactory {
public:
    virtual ~AboutWindowFactory() = default;
    virtual std::unique_ptr<AboutWindowPort> load_about() = 0;
};

// The main window's outer position and size in twips, over which the About window centres.
struct WindowRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// The About window's logic, alive while its window is loaded.
class About {
public:
    // system_dir ends with '/'; the picture is looked for there first.
    About(AboutWindowPort& window, UiPort& ui, std::string system_dir);

    // Loads the picture (the system directory, then the working directory when it was not
    // found there; no message either way), sizes the window to a 388 x 253 pixel client
    // area and puts Command1 at the bottom of it.
    void Form_Load();
    // OK: the disclaimer, then the window closes.
    void Command1_Click();
    // A click on the window's body: the banner and the credits; the window stays open.
    void Form_Click();

private:
    AboutWindowPort& window_;
    UiPort& ui_;
    std::string system_dir_;
};

// Loads an About window, centres it over main_window, titles it with the banner, shows it
// modally and unloads it when it has been closed.
void show_about(AboutWindowFactory& windows, UiPort& ui, const WindowRect& main_window,
                const std::string& system_dir);

}  // namespace quarvent
