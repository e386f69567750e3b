#include "engine/seg2_summary.hpp"

#include <unordered_map>

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

constexpr std::string_view interval_keyword = "SAMPLE_INTERVAL";

// Keeps the strings it is handed while keep is set, notes the last SAMPLE_INTERVAL among
// them, and passes each on.
class RecordingReceiver final : public HeaderStringReceiver {
public:
    explicit RecordingReceiver(HeaderStringReceiver& inner) : inner_(inner) {}

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        const std::string_view text = s.substr(0, s.find('\0'));
        if (text.starts_with(interval_keyword)) {
            interval_us = read_number(text.substr(interval_keyword.size())) * 1e6;
        }
        if (keep && text.size() > room - bytes) {
            // The strings kept would pass their bound: none more from here on.
            keep = false;
            overflowed = true;
        }
        if (keep) {
            strings.emplace_back(text);
            bytes += text.size();
        }
        return inner_.header_string(s, header, trace_scale_factor);
    }

    // Empties the strings and the interval before the next string list, which may keep up to
    // room_bytes of strings.
    void restart(bool keep_strings, std::size_t room_bytes) {
        strings.clear();
        bytes = 0;
        interval_us.reset();
        keep = keep_strings;
        room = room_bytes;
        overflowed = false;
    }

    bool keep = true;
    std::size_t room = kept_string_bytes;
    bool overflowed = false;
    std::vector<std::string> strings;
    std::size_t bytes = 0;
    std::optional<double> interval_us;

private:
    HeaderStringReceiver& inner_;
};

constexpr std::string_view translation_stopped = "the keyword translation stopped here";

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

TraceDescriptorResult DescriptorReads::read(const ByteSource& input, const FileDescriptor& file,
                                            int t, TraceDescriptor& trace,
                                            const HeaderStringSink& sink, bool& repeated) {
    repeated = false;
    if (t < 1 || static_cast<std::size_t>(t) > file.trace_pointers.size()) {
        return read_trace_descriptor(input, file, t, trace, sink);
    }
    const std::int32_t offset = file.trace_pointers[static_cast<std::size_t>(t - 1)];
    if (const auto known = by_offset_.find(offset); known != by_offset_.end()) {
        repeated = true;
        const Effect& effect = known->second;
        for (const auto& [word, value] : effect.writes) sink.header.word(word) = value;
        sink.trace_scale_factor = effect.scale;
        trace = effect.descriptor;
        return effect.result;
    }
    Effect effect;
    recording_ = &effect;
    effect.result = read_trace_descriptor(input, file, t, trace, sink);
    recording_ = nullptr;
    // A translation that stopped ends the reading of the file; it is not replayed.
    if (effect.result != TraceDescriptorResult::stop_run) {
        effect.descriptor = trace;
        effect.scale = sink.trace_scale_factor;
        by_offset_.emplace(offset, std::move(effect));
    }
    return effect.result;
}

HeaderStringReceiver::Result DescriptorReads::header_string(std::string_view s,
                                                            OutputTraceHeader& header,
                                                            double& trace_scale_factor) {
    if (recording_ == nullptr) return inner_.header_string(s, header, trace_scale_factor);
    // The words the string writes: those it changes, and those it sets to the value they
    // had, which a second translation into a header whose every word differs shows.
    const OutputTraceHeader before = header;
    const Result result = inner_.header_string(s, header, trace_scale_factor);
    if (result != Result::go_on) return result;
    OutputTraceHeader other = before;
    for (int n = 0; n <= OutputTraceHeader::last_word; ++n) other.word(n) ^= 1;
    double other_scale = trace_scale_factor;
    if (inner_.header_string(s, other, other_scale) != Result::go_on) return Result::stop_run;
    for (int n = 0; n <= OutputTraceHeader::last_word; ++n) {
        if (header.word(n) != before.word(n) || other.word(n) != (before.word(n) ^ 1)) {
            recording_->writes.emplace_back(n, header.word(n));
        }
    }
    return result;
}

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
    DescriptorReads reads(receiver);
    RecordingReceiver recording(reads);
    OutputTraceHeader header;
    double scale = 1.0;
    const HeaderStringSink sink{recording, header, scale};

    summary.descriptor_result = read_file_descriptor(source, summary.file, sink);
    summary.file_strings = std::move(recording.strings);
    summary.file_strings_cut = recording.overflowed;
    std::size_t kept_bytes = recording.bytes;
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
    // The first trace whose descriptor lies at each offset: many pointers may name one.
    std::unordered_map<std::int32_t, int> trace_at_offset;
    for (int t = 1; t <= summary.file.trace_count; ++t) {
        Seg2TraceSummary& trace = summary.traces.emplace_back();
        trace.number = t;
        const auto slot = static_cast<std::size_t>(t - 1);
        if (slot < summary.file.trace_pointers.size()) {
            const auto [first, added] =
                trace_at_offset.try_emplace(summary.file.trace_pointers[slot], t);
            if (!added) trace.strings_of_trace = first->second;
        }
        trace.strings_kept = summary.strings_dropped_from == 0;
        recording.restart(trace.strings_of_trace == 0 && trace.strings_kept,
                          kept_string_bytes - kept_bytes);
        bool repeated = false;
        const TraceDescriptorResult read =
            reads.read(source, summary.file, t, trace.descriptor, sink, repeated);
        if (recording.overflowed) {
            // This trace's strings would pass the bound: none from here on are kept.
            summary.strings_dropped_from = t;
            trace.strings_kept = false;
            recording.strings.clear();
        }
        kept_bytes += recording.bytes;
        trace.strings = std::move(recording.strings);
        trace.interval_us = recording.interval_us;
        if (repeated && trace.strings_of_trace != 0) {
            trace.interval_us =
                summary.traces[static_cast<std::size_t>(trace.strings_of_trace - 1)].interval_us;
        }
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
