// The browser edition's program: the main window's logic on the web port, and the commands the
// page calls. Start-up runs as the desktop program's does, from a folder of the page's memory
// that holds the built-in keyword file and settings file.

#include <emscripten.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keywords/keyword_table.hpp"
#include "shell/main_window.hpp"
#include "shell/startup.hpp"
#include "web/web_port.hpp"

namespace {

using quarvent::MainWindow;
using quarvent::Menu;

// Where the page keeps the keyword file and quarvent.ini.
constexpr const char* data_dir = "/quarvent/";

struct Program {
    quarvent::WebShellPort port;
    MainWindow window{port};
    quarvent::WebPreferences preferences;
    quarvent::WebHelpViewer help;
};

Program* program = nullptr;

void start() {
    chdir(data_dir);
    program->window.preferences = &program->preferences;
    program->window.session.help_viewer = &program->help;
    program->window.session.program_dir = data_dir;
    program->window.session.system_dir = data_dir;
    program->window.Form_Load();
    program->window.Form_Resize();
}

}  // namespace

extern "C" {

// Runs a menu command, by its Menu number.
EMSCRIPTEN_KEEPALIVE void web_command(int menu) {
    if (program == nullptr || program->port.ended()) return;
    MainWindow& window = program->window;
    switch (static_cast<Menu>(menu)) {
        case Menu::fileopen:
            return window.fileopen_Click();
        case Menu::fileoutput:
            return window.fileoutput_Click();
        case Menu::fileclear:
            return window.fileclear_Click();
        case Menu::fileexit:
            return window.fileexit_Click();
        case Menu::resamp1_1:
            return window.resamp1_1_Click();
        case Menu::resamp1_2:
            return window.resamp1_2_Click();
        case Menu::resamp1_4:
            return window.resamp1_4_Click();
        case Menu::optiondelete:
            return window.optiondelete_Click();
        case Menu::optionshorten:
            return window.optionshorten_Click();
        case Menu::convert:
            return window.convert_Click();
        case Menu::convertstop:
            return window.convertstop_Click();
        case Menu::optionremember:
            return window.optionremember_Click();
        case Menu::helpcontent:
            return window.helpcontent_Click();
        case Menu::fileabout:
            return window.fileabout_Click();
        case Menu::viewinput:
            return window.viewinput_Click();
        case Menu::viewoutput:
            return window.viewoutput_Click();
        default:
            return;
    }
}

// The output file's path in the page's memory (empty until one is chosen).
EMSCRIPTEN_KEEPALIVE const char* web_output_name() {
    return program != nullptr ? program->window.output_file_name.c_str() : "";
}

EMSCRIPTEN_KEEPALIVE int web_running() {
    return program != nullptr && program->window.run_in_progress() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void web_list_click(int index, int additive, int range) {
    if (program != nullptr) program->port.list1_click(index, additive != 0, range != 0);
}

EMSCRIPTEN_KEEPALIVE void web_list_key(int key_code) {
    if (program != nullptr && !program->port.ended()) program->window.List1_KeyDown(key_code);
}

EMSCRIPTEN_KEEPALIVE void web_list_right_click() {
    if (program != nullptr && !program->port.ended()) {
        program->window.List1_MouseDown(quarvent::MouseButton::right);
    }
}

EMSCRIPTEN_KEEPALIVE void web_list_double_click(int index) {
    if (program != nullptr && !program->port.ended()) program->window.List1_DblClick(index);
}

// Paths the page has put into its memory for what was dropped, one a line. include: 1 or 0
// when the drop says whether subfolders count, -1 to ask.
EMSCRIPTEN_KEEPALIVE void web_drop(const char* lines, int include) {
    if (program == nullptr || program->port.ended()) return;
    std::vector<std::string> paths;
    std::string line;
    for (const char* c = lines; *c != '\0'; ++c) {
        if (*c == '\n') {
            if (!line.empty()) paths.push_back(line);
            line.clear();
        } else {
            line += *c;
        }
    }
    if (!line.empty()) paths.push_back(line);
    std::optional<bool> subfolders;
    if (include >= 0) subfolders = include != 0;
    program->window.List1_Drop(paths, subfolders);
}

// The page is about to close: 1 when it may close now.
EMSCRIPTEN_KEEPALIVE int web_query_unload() {
    if (program == nullptr || program->port.ended()) return 1;
    return program->window.Form_QueryUnload() ? 1 : 0;
}

// A keyword file the operator loaded, at path in the page's memory. It becomes the program's
// keyword file (as if it lay in the system directory) only when it loads; start-up then runs
// again so that the translation uses it. Returns 1 when it was taken.
EMSCRIPTEN_KEEPALIVE int web_use_keyword_file(const char* path) {
    if (program == nullptr || program->port.ended() || program->window.run_in_progress()) return 0;
    quarvent::KeywordLoadResult loaded = quarvent::load_keyword_table(path);
    if (!loaded.table) {
        (void)program->port.message_box({quarvent::Dialog::keyword_file_error, loaded.error_text,
                                         loaded.error_title, quarvent::Buttons::ok,
                                         quarvent::Icon::critical});
        return 0;
    }
    return 1;
}

// Runs start-up again, after the keyword file in the data folder was replaced.
EMSCRIPTEN_KEEPALIVE void web_restart() {
    if (program == nullptr || program->port.ended() || program->window.run_in_progress()) return;
    program->window.Form_Load();
}

}  // extern "C"

int main() {
    program = new Program;
    start();
    EM_ASM({ Module.page.call("ready", "", 0); });
    return 0;
}
