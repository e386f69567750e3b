#include "engine/seg2_summary.hpp"

#include "common/numbers.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "common/ui_port.hpp"
#include "engine/sample_decoding.hpp"

namespace quarvent {

namespace {

// Takes the message boxes that the reader and the decoder would show as damage texts; a
// prompt is answered empty, as if cancelled.
class CapturingPort final : public WindowlessPort {
public:
    Answer message_box(const MessageBoxRequest& request) override {
        messages.push_back(one_line(request.text));
        return Answer::ok;
    }
    std::string input_prompt(const PromptRequest&) override { return {}; }

    std::vector<std::string> messages;
};

// Keeps every string it is handed and passes it on.
class RecordingReceiver final : public HeaderStringReceiver {
public:
    explicit RecordingReceiver(HeaderStringReceiver& inner) : inner_(inner) {}

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        strings.emplace_back(s.substr(0, s.find('\0')));
        return inner_.header_string(s, header, trace_scale_factor);
    }

    std::vector<std::string> strings;

private:
    HeaderStringReceiver& inner_;
};

constexpr std::string_view translation_stopped = "the keyword translation stopped here";
constexpr std::string_view interval_keyword = "SAMPLE_INTERVAL";

std::optional<double> interval_of(const std::vector<std::string>& strings) {
    std::optional<double> interval;
    for (const std::string& s : strings) {
        if (s.starts_with(interval_keyword)) {
            interval = read_number(std::string_view(s).substr(interval_keyword.size())) * 1e6;
        }
    }
    return interval;
}

// Moves what the log and the port collected into damage.
void collect(StatusLog& log, CapturingPort& port, std::vector<std::string>& damage) {
    if (!log.text().empty()) {
        std::string_view text = log.text();
        // One entry per line: each entry the reader and the decoder write ends in CR LF.
        while (!text.empty()) {
            const std::size_t end = text.find(line_break);
            const std::string entry = one_line(text.substr(0, end));
            if (!entry.empty()) damage.push_back(entry);
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + line_break.size());
        }
        log.clear();
    }
    damage.insert(damage.end(), port.messages.begin(), port.messages.end());
    port.messages.clear();
}

QexWords words_of(const OutputTraceHeader& header) {
    QexWords words{};
    for (int n = 1; n <= 120; ++n) words[static_cast<std::size_t>(n)] = header.word(n);
    return words;
}

}  // namespace

std::string one_line(std::string_view text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i).starts_with(line_break)) {
            if (i + line_break.size() < text.size()) line += "; ";
            ++i;
        } else if (text[i] != '\0') {
            line += text[i];
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

bool Seg2Summary::whole() const {
    if (descriptor_result != FileDescriptorResult::read || !damage.empty()) return false;
    for (const Seg2TraceSummary& trace : traces) {
        if (!trace.descriptor_read || !trace.samples_read || !trace.damage.empty()) return false;
    }
    return true;
}

Seg2Summary summarize_seg2(const ByteSource& source, std::string_view path,
                           HeaderStringReceiver& receiver, int samples_of_trace,
                           std::vector<float>* samples) {
    Seg2Summary summary;
    CapturingPort port;
    StatusLog log(port);
    RecordingReceiver recording(receiver);
    OutputTraceHeader header;
    double scale = 1.0;
    const HeaderStringSink sink{recording, header, scale};

    summary.descriptor_result = read_file_descriptor(source, summary.file, sink);
    summary.file_strings = std::move(recording.strings);
    recording.strings.clear();
    switch (summary.descriptor_result) {
        case FileDescriptorResult::read:
            break;
        case FileDescriptorResult::not_seg2:
            log.append(not_seg2_entry(path));
            break;
        case FileDescriptorResult::pointer_shortage:
            port.message_box(pointer_shortage_message(summary.file));
            break;
        case FileDescriptorResult::stop_run:
            summary.damage.push_back(std::string(translation_stopped));
            break;
    }
    collect(log, port, summary.damage);
    if (summary.descriptor_result != FileDescriptorResult::read) return summary;

    SampleArrays arrays;
    for (int t = 1; t <= summary.file.trace_count; ++t) {
        Seg2TraceSummary& trace = summary.traces.emplace_back();
        trace.number = t;
        const TraceDescriptorResult read =
            read_trace_descriptor(source, summary.file, t, trace.descriptor, sink);
        trace.strings = std::move(recording.strings);
        recording.strings.clear();
        trace.interval_us = interval_of(trace.strings);
        trace.words = words_of(header);
        if (read == TraceDescriptorResult::bad_trace_id ||
            read == TraceDescriptorResult::truncated) {
            log.append(skipped_trace_entry(read, path, t));
        } else if (read == TraceDescriptorResult::stop_run) {
            trace.damage.push_back(std::string(translation_stopped));
        }
        if (read == TraceDescriptorResult::read) {
            trace.descriptor_read = true;
            const TraceToDecode to_decode{source,
                                          trace.descriptor.data_offset,
                                          trace.descriptor.sample_count,
                                          trace.descriptor.format_code,
                                          static_cast<std::int16_t>(t),
                                          path};
            trace.samples_read =
                decode_trace_samples(to_decode, 1, arrays, port, log) == DecodeResult::decoded;
            if (trace.samples_read && t == samples_of_trace && samples != nullptr) {
                samples->assign(arrays.output_samples.begin(),
                                arrays.output_samples.begin() + trace.descriptor.sample_count);
            }
        }
        collect(log, port, trace.damage);
    }
    return summary;
}

}  // namespace quarvent
