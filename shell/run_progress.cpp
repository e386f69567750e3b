#include "shell/run_progress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/conversion_run.hpp"

namespace quarvent {

RunProgress::RunProgress(std::vector<int> trace_counts) : counts_(std::move(trace_counts)) {
    before_.reserve(counts_.size());
    for (int count : counts_) {
        before_.push_back(total_);
        total_ += std::max(count, 0);
    }
}

void RunProgress::file_started(int index, double now_seconds) {
    if (start_ < 0) start_ = now_seconds;
    file_ = index;
    written_in_file_ = 0;
    file_changed_ = true;
}

void RunProgress::trace_written(double now_seconds) {
    if (start_ < 0) start_ = now_seconds;
    ++written_;
    ++written_in_file_;
}

bool RunProgress::take_refresh(double now_seconds) {
    if (!file_changed_ && last_refresh_ >= 0 && now_seconds - last_refresh_ < 0.1) return false;
    file_changed_ = false;
    last_refresh_ = now_seconds;
    return true;
}

ProgressView RunProgress::view(const std::vector<std::string>& inputs, double now_seconds) const {
    ProgressView shown;
    shown.total = total_;
    const bool in_list = file_ >= 0 && static_cast<std::size_t>(file_) < counts_.size();
    if (in_list) {
        const auto index = static_cast<std::size_t>(file_);
        shown.position =
            before_[index] + std::min<long long>(written_in_file_, std::max(counts_[index], 0));
    }
    shown.position = std::min(shown.position, total_);
    shown.file_line = "File " + std::to_string(file_ + 1) + " of " + std::to_string(inputs.size());
    if (file_ >= 0 && static_cast<std::size_t>(file_) < inputs.size()) {
        shown.file_path = inputs[static_cast<std::size_t>(file_)];
    }
    shown.traces_line = "Traces written: " + grouped(written_) + " of " + grouped(total_);
    const double elapsed = start_ < 0 ? 0 : std::max(0.0, now_seconds - start_);
    shown.time_line = "Elapsed " + duration_text(elapsed);
    if (shown.position > 0 && elapsed >= 1 && total_ > shown.position) {
        const double left = elapsed * static_cast<double>(total_ - shown.position) /
                            static_cast<double>(shown.position);
        shown.time_line += ", about " + duration_text(left) + " left";
    }
    return shown;
}

std::string duration_text(double seconds) {
    const long long whole = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds) : 0;
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

std::string grouped(long long number) {
    std::string digits = std::to_string(number < 0 ? -number : number);
    for (auto at = static_cast<long long>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    }
    return number < 0 ? "-" + digits : digits;
}

std::string summary_text(const RunSummary& summary) {
    std::string text = summary.stopped ? "Stopped: " : "Complete: ";
    text += std::to_string(summary.files_complete) +
            (summary.files_complete == 1 ? " file converted, " : " files converted, ");
    text += std::to_string(summary.files_incomplete) + " kept incomplete, ";
    if (summary.files_not_seg2 > 0) {
        text += std::to_string(summary.files_not_seg2) + " not SEG-2, ";
    }
    text +=
        grouped(summary.traces_written) + (summary.traces_written == 1 ? " trace, " : " traces, ");
    text += grouped(summary.bytes_written) + " bytes in ";
    text += duration_text(summary.elapsed_seconds);
    if (summary.files_changed > 0) {
        text += "; " + std::to_string(summary.files_changed) +
                (summary.files_changed == 1 ? " file " : " files ") +
                std::string(changed_after_conversion);
    }
    return text;
}

}  // namespace quarvent
