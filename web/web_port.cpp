#include "web/web_port.hpp"

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "inspect/file_report.hpp"

// The page's side of each call: Module.page is the object web_port.js gives the engine.
// Texts travel as (pointer, length); texts coming back are allocated by the page with
// malloc, their length written to *length, and freed here.

// clang-format off
EM_ASYNC_JS(int, js_message_box, (int dialog, const char* text, int text_length, const char* title,
                                  int title_length, int buttons, int icon), {
    return await Module.page.messageBox(dialog, Module.page.text(text, text_length),
                                        Module.page.text(title, title_length), buttons, icon);
});
EM_ASYNC_JS(char*, js_input_prompt, (int dialog, const char* prompt, int prompt_length,
                                     const char* title, int title_length, const char* proposed,
                                     int proposed_length, int* length), {
    const answer = await Module.page.inputPrompt(dialog, Module.page.text(prompt, prompt_length),
                                                 Module.page.text(title, title_length),
                                                 Module.page.text(proposed, proposed_length));
    return Module.page.toHeap(Module.page.latin1Bytes(answer), length);
});
EM_ASYNC_JS(char*, js_filelog_show, (int save, const char* settings, int settings_length,
                                     int* length), {
    const result = await Module.page.fileDialog(save !== 0,
        JSON.parse(Module.page.text(settings, settings_length)));
    return Module.page.toHeap(new TextEncoder().encode(JSON.stringify(result)), length);
});
EM_ASYNC_JS(void, js_yield, (), { await Module.page.yieldEvents(); });
EM_JS(void, js_call, (const char* name, const char* text, int text_length, double number), {
    Module.page.call(UTF8ToString(name), Module.page.text(text, text_length), number);
});
EM_JS(void, js_progress, (double position, double total, const char* lines, int lines_length), {
    Module.page.showProgress(position, total, Module.page.text(lines, lines_length).split("\n"));
});
EM_JS(void, js_menu, (int menu, const char* caption, int caption_length, int checked,
                      int enabled, int visible), {
    Module.page.setMenu(menu, Module.page.text(caption, caption_length), checked, enabled,
                        visible);
});
// items_length < 0: the items stay; append: items is one item added at the end.
EM_JS(void, js_list, (const char* items, int items_length, int append, const char* selection,
                      int selection_length), {
    Module.page.setList(items_length < 0 ? null : Module.page.text(items, items_length), append,
                        Module.page.text(selection, selection_length));
});
EM_JS(void, js_trace_begin, (const char* title, int title_length, int kind), {
    Module.page.traceBegin(Module.page.text(title, title_length), kind);
});
EM_JS(void, js_trace_add, (double number, const std::int16_t* words, const float* samples,
                           int count), {
    Module.page.traceAdd(number, HEAP16.slice(words >> 1, (words >> 1) + 121),
                         HEAPF32.slice(samples >> 2, (samples >> 2) + count));
});
EM_JS(char*, js_storage_get, (const char* key, int key_length, int* length), {
    const value = Module.page.storageGet(Module.page.text(key, key_length));
    if (value === null) return 0;
    return Module.page.toHeap(new TextEncoder().encode(value), length);
});
EM_JS(void, js_storage_set, (const char* key, int key_length, const char* value,
                             int value_length), {
    Module.page.storageSet(Module.page.text(key, key_length),
                           value ? Module.page.text(value, value_length) : null);
});
// clang-format on

namespace quarvent {

namespace {

int length_of(std::string_view text) { return static_cast<int>(text.size()); }

void call(const char* name, std::string_view text = {}, double number = 0) {
    js_call(name, text.data(), length_of(text), number);
}

std::string take(char* bytes, int length) {
    if (bytes == nullptr) return {};
    std::string text(bytes, static_cast<std::size_t>(std::max(length, 0)));
    std::free(bytes);
    return text;
}

int label_index(Control label) {
    switch (label) {
        case Control::Label1:
            return 0;
        case Control::Label2:
            return 1;
        case Control::Label3:
            return 2;
        default:
            return -1;
    }
}

}  // namespace

WebShellPort::WebShellPort() {
    enabled_.fill(true);
    // The menu bar's captions at start; the page draws whatever is set here.
    constexpr std::array<std::string_view, menu_count> captions = {"Files",
                                                                   "Select &Inputs",
                                                                   "&Output ",
                                                                   "&Clear List",
                                                                   "-",
                                                                   "E&xit",
                                                                   "&Options",
                                                                   "Resample",
                                                                   "1:1",
                                                                   "2:1",
                                                                   "4:1",
                                                                   "Delete Input Files",
                                                                   "Adjust Record Length",
                                                                   "&Convert",
                                                                   "&Help",
                                                                   "&Contents",
                                                                   "&About",
                                                                   "&Stop",
                                                                   "Remember Delete Input Files",
                                                                   "&View",
                                                                   "&Input File",
                                                                   "O&utput File"};
    for (int i = 0; i < menu_count; ++i) set_menu_caption(static_cast<Menu>(i), captions[i]);
    set_menu_checked(Menu::resamp1_1, true);
    set_menu_visible(Menu::convertstop, false);
    labels_ = {"Input Files", "OutPut File:", "Status Report"};
    controls_[static_cast<int>(Control::List1)] = {120, 2892, 2955};
    controls_[static_cast<int>(Control::Text1)] = {3120, 2052, 3132};
    controls_[static_cast<int>(Control::Label1)] = {120, 1092, 252};
    controls_[static_cast<int>(Control::Label2)] = {1440, 3732, 492};
    controls_[static_cast<int>(Control::Label3)] = {3120, 4212, 252};
}

Answer WebShellPort::message_box(const MessageBoxRequest& request) {
    if (ended_) return Answer::cancel;
    const int answer =
        js_message_box(static_cast<int>(request.dialog), request.text.data(),
                       length_of(request.text), request.title.data(), length_of(request.title),
                       static_cast<int>(request.buttons), static_cast<int>(request.icon));
    return static_cast<Answer>(answer);
}

std::string WebShellPort::input_prompt(const PromptRequest& request) {
    if (ended_) return {};
    int length = 0;
    char* answer =
        js_input_prompt(static_cast<int>(request.dialog), request.prompt.data(),
                        length_of(request.prompt), request.title.data(), length_of(request.title),
                        request.proposed.data(), length_of(request.proposed), &length);
    return take(answer, length);
}

void WebShellPort::text1_append(std::string_view text) { call("text1Append", text); }
void WebShellPort::text1_clear() { call("text1Clear"); }
void WebShellPort::set_text1_visible(bool visible) { call("text1Visible", {}, visible); }
void WebShellPort::set_label3_caption(std::string_view caption) {
    labels_[2] = caption;
    call("label", caption, 3);
}
void WebShellPort::set_label3_visible(bool visible) { call("label3Visible", {}, visible); }
void WebShellPort::set_mouse_pointer(MousePointer pointer) {
    call("busy", {}, pointer == MousePointer::hourglass);
}

bool WebShellPort::yield_events() {
    // A yield lets the page draw and take the operator's clicks. Every record would cost far
    // more than the record itself, so the page gets its turn once a frame (about 16 ms).
    const double now = emscripten_get_now();
    if (now - last_yield_ms_ >= 16) {
        js_yield();
        last_yield_ms_ = emscripten_get_now();
    }
    return !ended_;
}

FileDialogResult WebShellPort::filelog_show(FileDialogMode mode, FileDialogSettings& settings) {
    const nlohmann::json request = {
        {"title", settings.title},
        {"filter", settings.filter},
        {"filterIndex", settings.filter_index},
        {"defaultExt", settings.default_ext},
        {"fileName", settings.file_name},
        {"multiSelect", settings.multi_select},
    };
    const std::string json = request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    int length = 0;
    const std::string answer =
        take(js_filelog_show(mode == FileDialogMode::save, json.data(), length_of(json), &length),
             length);
    // The page answers {"outcome": "chosen" | "cancelled" | "failed", "parts": [...],
    // "directory": "...", "error": "..."}; the parts are joined with NULs, as the dialog
    // returns them.
    const nlohmann::json reply = nlohmann::json::parse(answer, nullptr, false);
    FileDialogResult result;
    if (!reply.is_object()) return result;
    const std::string outcome = reply.value("outcome", "cancelled");
    if (outcome == "chosen") {
        result.outcome = FileDialogResult::Outcome::chosen;
        const nlohmann::json parts = reply.value("parts", nlohmann::json::array());
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i > 0) result.text += '\0';
            result.text += parts[i].get<std::string>();
        }
        result.directory = reply.value("directory", "");
    } else if (outcome == "failed") {
        result.outcome = FileDialogResult::Outcome::failed;
        result.error_text = reply.value("error", "");
    }
    return result;
}

void WebShellPort::set_menu_caption(Menu menu, std::string_view caption) {
    captions_[static_cast<int>(menu)] = caption;
    const auto i = static_cast<int>(menu);
    js_menu(i, caption.data(), length_of(caption), checked_[i], enabled_[i], -1);
}
std::string WebShellPort::menu_caption(Menu menu) const {
    return captions_[static_cast<int>(menu)];
}
void WebShellPort::set_menu_checked(Menu menu, bool checked) {
    const auto i = static_cast<int>(menu);
    checked_[i] = checked;
    js_menu(i, captions_[i].data(), length_of(captions_[i]), checked, enabled_[i], -1);
}
bool WebShellPort::menu_checked(Menu menu) const { return checked_[static_cast<int>(menu)]; }
void WebShellPort::set_menu_enabled(Menu menu, bool enabled) {
    const auto i = static_cast<int>(menu);
    enabled_[i] = enabled;
    js_menu(i, captions_[i].data(), length_of(captions_[i]), checked_[i], enabled, -1);
}
bool WebShellPort::menu_enabled(Menu menu) const { return enabled_[static_cast<int>(menu)]; }
void WebShellPort::set_menu_visible(Menu menu, bool visible) {
    const auto i = static_cast<int>(menu);
    js_menu(i, captions_[i].data(), length_of(captions_[i]), checked_[i], enabled_[i], visible);
}

void WebShellPort::set_label_caption(Control label, std::string_view caption) {
    const int index = label_index(label);
    if (index < 0) return;
    labels_[index] = caption;
    call("label", caption, index + 1);
}
std::string WebShellPort::label_caption(Control label) const {
    const int index = label_index(label);
    return index < 0 ? std::string{} : labels_[index];
}

void WebShellPort::send_selection() const {
    std::string selection;
    for (const int index : selected_) {
        if (!selection.empty()) selection += ',';
        selection += std::to_string(index);
    }
    js_list(nullptr, -1, 0, selection.data(), length_of(selection));
}

void WebShellPort::list1_add(std::string_view item) {
    items_.emplace_back(item);
    js_list(item.data(), length_of(item), 1, "", 0);
    send_selection();
}

void WebShellPort::list1_remove(int index) {
    if (index < 0 || index >= list1_count()) return;
    items_.erase(items_.begin() + index);
    std::set<int> kept;
    for (const int selected : selected_) {
        if (selected < index) kept.insert(selected);
        if (selected > index) kept.insert(selected - 1);
    }
    selected_ = std::move(kept);
    std::string items;
    for (const std::string& each : items_) items += each + '\n';
    js_list(items.data(), length_of(items), 0, "", 0);
    send_selection();
}

void WebShellPort::list1_clear() {
    items_.clear();
    selected_.clear();
    anchor_ = -1;
    js_list("", 0, 0, "", 0);
}

int WebShellPort::list1_count() const { return static_cast<int>(items_.size()); }
std::string WebShellPort::list1_item(int index) const {
    return index >= 0 && index < list1_count() ? items_[index] : std::string{};
}
int WebShellPort::list1_selected() const {
    return selected_.size() == 1 ? *selected_.begin()
                                 : (anchor_ >= 0 && selected_.count(anchor_) ? anchor_ : -1);
}
std::vector<int> WebShellPort::list1_selection() const {
    return {selected_.begin(), selected_.end()};
}

void WebShellPort::list1_select(int index) {
    selected_.clear();
    if (index >= 0 && index < list1_count()) selected_.insert(index);
    anchor_ = index;
    send_selection();
}

void WebShellPort::list1_click(int index, bool additive, bool range) {
    if (index < 0 || index >= list1_count()) return;
    if (range && anchor_ >= 0) {
        if (!additive) selected_.clear();
        for (int i = std::min(anchor_, index); i <= std::max(anchor_, index); ++i) {
            selected_.insert(i);
        }
    } else if (additive) {
        if (!selected_.erase(index)) selected_.insert(index);
        anchor_ = index;
    } else {
        selected_ = {index};
        anchor_ = index;
    }
    send_selection();
}

double WebShellPort::control_width(Control control) const {
    return controls_[static_cast<int>(control)].width;
}
double WebShellPort::control_height(Control control) const {
    return controls_[static_cast<int>(control)].height;
}
double WebShellPort::control_left(Control control) const {
    return controls_[static_cast<int>(control)].left;
}
// The page lays its controls out itself; the sizes are kept so that the shell reads back what
// it set, and refused as a window would refuse them.
bool WebShellPort::set_control_width(Control control, double twips) {
    if (!(twips >= 0)) return false;
    controls_[static_cast<int>(control)].width = twips;
    return true;
}
bool WebShellPort::set_control_height(Control control, double twips) {
    if (!(twips >= 0)) return false;
    controls_[static_cast<int>(control)].height = twips;
    return true;
}
bool WebShellPort::set_control_left(Control control, double twips) {
    if (!(twips >= 0)) return false;
    controls_[static_cast<int>(control)].left = twips;
    return true;
}

void WebShellPort::set_progress_visible(bool visible) { call("progressVisible", {}, visible); }
void WebShellPort::show_progress(const ProgressView& progress) {
    const std::string lines = progress.file_line + '\n' + progress.file_path + '\n' +
                              progress.traces_line + '\n' + progress.time_line;
    js_progress(static_cast<double>(progress.position), static_cast<double>(progress.total),
                lines.data(), length_of(lines));
}
void WebShellPort::set_status_message(std::string_view text) { call("statusMessage", text); }
void WebShellPort::set_status_note(std::string_view text) { call("statusNote", text); }

std::string WebShellPort::show_trace_display(const TraceDisplayRequest& request) {
    if (request.report == nullptr || request.receiver == nullptr || request.last < request.first) {
        return "nothing to show";
    }
    js_trace_begin(request.title.data(), length_of(request.title),
                   request.report->kind == FileKind::qex ? 1 : 0);
    const bool read = for_each_trace(*request.report, request.first, request.last,
                                     *request.receiver, [](const TraceData& trace) {
                                         js_trace_add(static_cast<double>(trace.number),
                                                      trace.words.data(), trace.samples.data(),
                                                      static_cast<int>(trace.samples.size()));
                                         return true;
                                     });
    if (!read) return "the file could not be read";
    call("traceShow");
    return {};
}

void WebShellPort::close_window() { end_program(); }

void WebShellPort::end_program() {
    ended_ = true;
    call("ended");
}

std::optional<std::string> WebPreferences::value(std::string_view key) const {
    const std::string name = "quarvent/" + std::string(key);
    int length = 0;
    char* text = js_storage_get(name.data(), length_of(name), &length);
    if (text == nullptr) return std::nullopt;
    return take(text, length);
}

void WebPreferences::set_value(std::string_view key, std::string_view value) {
    const std::string name = "quarvent/" + std::string(key);
    js_storage_set(name.data(), length_of(name), value.data() == nullptr ? "" : value.data(),
                   length_of(value));
}

void WebPreferences::remove(std::string_view key) {
    const std::string name = "quarvent/" + std::string(key);
    js_storage_set(name.data(), length_of(name), nullptr, 0);
}

void WebHelpViewer::show_contents(const std::string&) { call("help", {}, 0); }
void WebHelpViewer::show_topic(const std::string&, int context) { call("help", {}, context); }
void WebHelpViewer::quit(const std::string&) { call("helpClose"); }

}  // namespace quarvent
