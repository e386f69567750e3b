// The View menu's commands and the double-click on an input (shell/trace_view.hpp).

#include "shell/trace_view.hpp"

#include <algorithm>

#include "common/numbers.hpp"
#include "inspect/file_report.hpp"
#include "shell/main_window.hpp"

namespace quarvent {

namespace {

std::string_view file_name_of(std::string_view path) {
    const std::size_t slash = path.find_last_of(path_separator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string trace_display_title(const FileReport& report, std::uint64_t first, std::uint64_t last) {
    const char* unit = report.kind == FileKind::qex ? "records" : "traces";
    std::string title = std::string(file_name_of(report.path)) + " - " + unit + " " +
                        std::to_string(first) + "-" + std::to_string(last) + " of " +
                        std::to_string(trace_count(report));
    // A damaged recording's traces that cannot be read are not counted as shown.
    if (report.kind == FileKind::seg2 && first >= 1 && last >= first) {
        const auto& traces = report.seg2.traces;
        std::uint64_t readable = 0;
        for (std::uint64_t t = first; t <= last && t <= traces.size(); ++t) {
            if (traces[t - 1].samples_read) ++readable;
        }
        if (readable < last - first + 1) {
            title += ", " + std::to_string(readable) + " of " + std::to_string(last - first + 1) +
                     " traces readable";
        }
    }
    return title;
}

std::string trace_display_problem(const FileReport& report) {
    switch (report.kind) {
        case FileKind::unreadable:
            return "Cannot open " + report.path + ":" + std::string(line_break) + report.open_error;
        case FileKind::unknown:
            return report.path + std::string(line_break) +
                   "is neither a SEG-2 recording nor a QEX output file.";
        case FileKind::seg2:
        case FileKind::qex:
        case FileKind::empty:  // an output with no record yet
            break;
    }
    if (trace_count(report) == 0) {
        return report.path + std::string(line_break) +
               (report.kind == FileKind::seg2 ? "holds no trace to show."
                                              : "holds no whole record to show.");
    }
    return {};
}

void MainWindow::open_trace_display(const std::string& path) {
    IgnoreHeaderStrings no_translation;
    HeaderStringReceiver& receiver = view_header_strings ? *view_header_strings : no_translation;
    port_.set_mouse_pointer(MousePointer::hourglass);
    const FileReport report = read_file_report(path, receiver);
    std::string problem = trace_display_problem(report);
    if (problem.empty()) {
        TraceDisplayRequest request;
        request.report = &report;
        request.receiver = &receiver;
        request.first = 1;
        request.last = std::min(trace_count(report), trace_display_limit);
        request.title = trace_display_title(report, request.first, request.last);
        const std::string not_shown = port_.show_trace_display(request);
        if (!not_shown.empty()) {
            problem = "Cannot show " + path + ":" + std::string(line_break) + not_shown;
        }
    }
    port_.set_mouse_pointer(MousePointer::normal);
    if (!problem.empty()) {
        (void)port_.message_box({Dialog::view_not_shown, std::move(problem),
                                 std::string(view_message_title), Buttons::ok, Icon::exclamation});
    }
}

void MainWindow::viewinput_Click() {
    if (running_) return;
    if (port_.list1_count() == 0) {
        (void)port_.message_box({Dialog::view_not_shown, std::string(view_no_inputs_text),
                                 std::string(view_message_title), Buttons::ok, Icon::information});
        return;
    }
    const int selected = port_.list1_selected();
    if (selected < 0) {
        (void)port_.message_box({Dialog::view_not_shown, std::string(view_no_selection_text),
                                 std::string(view_message_title), Buttons::ok, Icon::information});
        return;
    }
    open_trace_display(port_.list1_item(selected));
}

void MainWindow::viewoutput_Click() {
    if (running_) return;
    if (output_file_name.empty()) {
        (void)port_.message_box({Dialog::view_not_shown, std::string(view_no_output_text),
                                 std::string(view_message_title), Buttons::ok, Icon::information});
        return;
    }
    open_trace_display(output_file_name);
}

void MainWindow::List1_DblClick(int index) {
    if (running_ || index < 0 || index >= port_.list1_count()) return;
    open_trace_display(port_.list1_item(index));
}

}  // namespace quarvent
