#include "shell/run_log.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <span>

#include "common/numbers.hpp"
#include "shell/run_progress.hpp"

namespace quarvent {

namespace {

#ifndef QUARVENT_VERSION
#define QUARVENT_VERSION "unknown"
#endif

// The log is written in blocks of this size; each reaches the file whole or not at all.
constexpr std::size_t block_bytes = 64 * 1024;

// A number as a text without number()'s leading blank.
std::string plain(double value) {
    std::string text = number_text(value);
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

std::string on_off(bool on) { return on ? "on" : "off"; }

// CR LF and lone CRs, as the status log writes them, become this system's line feed.
std::string with_line_feeds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string kept_reason(const InputResult& input) {
    if (input.not_seg2) return "not SEG-2";
    if (!input.first_skip.empty()) {
        // The reason the file is short; when it is only the count of skipped traces, the
        // first one skipped says more.
        if (input.reason.empty() || input.reason.find("traces skipped") != std::string::npos) {
            return input.first_skip + (input.reason.empty() ? "" : " (" + input.reason + ")");
        }
        return input.reason + " (" + input.first_skip + ")";
    }
    if (!input.reason.empty()) return input.reason;
    switch (input.status) {
        case InputStatus::converted:
            return "converted, not deleted";
        case InputStatus::partial:
            return "partly converted";
        case InputStatus::skipped:
            return "skipped";
        case InputStatus::not_reached:
            return "not reached";
    }
    return "kept";
}

}  // namespace

std::string_view program_version() { return QUARVENT_VERSION; }

std::string local_date_and_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string run_log_path_for(std::string_view output) { return std::string(output) + ".log"; }

std::string run_log_header_text(const RunLogHeader& header) {
    std::string text = "==== Quarvent run log ====\n";
    text += "Date and time: " + header.date_time + "\n";
    text += "Program: " + header.program + " " + std::string(program_version()) + "\n";
    text += "Output file: " + header.output + "\n";
    text += "Options:\n";
    text += "  Resample: " + plain(header.options.resample_factor) + ":1\n";
    text += "  Record length: ";
    text += header.options.record_end_ms != 0 ? plain(header.options.record_end_ms) + " ms"
                                              : std::string("original");
    text += "\n  Manual sample interval: ";
    text += header.manual_interval_ms.empty() ? std::string("asked when a trace states none")
                                              : header.manual_interval_ms + " ms";
    text += "\n  Delete Input Files: " + on_off(header.options.delete_inputs) + "\n";
    text += "  Fresh header per file: " + on_off(header.options.fresh_header_per_file) + "\n";
    text += "Keyword file: " + header.keyword_file + "\n";
    return text;
}

RunEnding run_ending(RunOutcome outcome, bool operator_stop, std::string_view last_title) {
    RunEnding ending;
    if (outcome == RunOutcome::completed) return ending;
    if (outcome == RunOutcome::stopped && operator_stop) {
        ending.kind = RunEnding::Kind::stopped_by_operator;
        return ending;
    }
    ending.kind = RunEnding::Kind::ended_at_check;
    ending.message = last_title;
    return ending;
}

std::string ending_text(const RunEnding& ending) {
    switch (ending.kind) {
        case RunEnding::Kind::completed:
            return "completed";
        case RunEnding::Kind::stopped_by_operator:
            return "stopped by the operator";
        case RunEnding::Kind::ended_at_check:
            return ending.message.empty() ? "ended at a check"
                                          : "ended at a check: \"" + ending.message + "\"";
    }
    return {};
}

std::vector<KeptFile> kept_files(const RunReport& report) {
    std::vector<KeptFile> kept;
    for (const InputResult& input : report.inputs) {
        if (input.status == InputStatus::converted && input.reason.empty()) continue;
        kept.push_back({input.path, kept_reason(input), input.not_seg2});
    }
    return kept;
}

std::string run_log_summary_text(const RunReport& report, const RunEnding& ending) {
    const RunTotals totals = run_totals(report);
    const std::vector<KeptFile> kept = kept_files(report);
    std::string text = "Summary:\n";
    text += "  Files converted: " + std::to_string(totals.converted) + "\n";
    text += "  Files kept: " + std::to_string(kept.size()) + "\n";
    for (const KeptFile& file : kept) text += "    " + file.path + ": " + file.reason + "\n";
    text += "  Traces written: " + grouped(totals.traces_written) + "\n";
    text += "  Bytes written: " + grouped(static_cast<long long>(report.bytes_written)) + "\n";
    text += "  SSN range: ";
    if (totals.first_ssn && totals.last_ssn) {
        text += plain(*totals.first_ssn) + " to " + plain(*totals.last_ssn);
    } else {
        text += "none written";
    }
    text += "\n  Run ended: " + ending_text(ending) + "\n";
    return text;
}

std::string run_log_text(const RunLogHeader& header, std::string_view status_log,
                         const RunReport& report, const RunEnding& ending) {
    std::string text = run_log_header_text(header);
    text += "\nStatus log:\n";
    std::string log = with_line_feeds(status_log);
    // The log's first entry begins with a line break of its own.
    while (!log.empty() && log.front() == '\n') log.erase(0, 1);
    text += log;
    if (!log.empty() && log.back() != '\n') text += '\n';
    text += '\n';
    text += run_log_summary_text(report, ending);
    text += "\n";
    return text;
}

std::error_code append_run_log(const std::string& path, std::string_view text,
                               const OutputSystemCalls& calls) {
    OutputFile file(calls);
    if (const std::error_code reason = file.open(path)) return reason;
    std::error_code failed;
    for (std::size_t at = 0; at < text.size() && !failed; at += block_bytes) {
        const std::string_view block = text.substr(at, block_bytes);
        std::span<std::uint8_t> room;
        failed = file.begin_record(block.size(), room);
        if (failed) break;
        std::copy(block.begin(), block.end(), room.begin());
        failed = file.commit_record();
    }
    const std::error_code closed = file.close();
    return failed ? failed : closed;
}

std::error_code save_text_file(const std::string& path, std::string_view text) {
    const std::string lines = with_line_feeds(text);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return {errno, std::generic_category()};
    const bool written = std::fwrite(lines.data(), 1, lines.size(), file) == lines.size();
    const int write_error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written) return {write_error, std::generic_category()};
    if (!closed) return {errno, std::generic_category()};
    return {};
}

std::string options_in_force_text(const ConversionOptions& options, std::string_view separator) {
    std::vector<std::string> parts;
    if (options.resample_factor != 1) parts.push_back(plain(options.resample_factor) + ":1");
    if (options.record_end_ms != 0)
        parts.push_back("record " + plain(options.record_end_ms) + " ms");
    if (options.delete_inputs) parts.push_back("Delete Input Files");
    if (options.fresh_header_per_file) parts.push_back("fresh header per file");
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

}  // namespace quarvent
