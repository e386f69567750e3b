#include "inspect/file_report.hpp"

#include <algorithm>
#include <array>
#include <concepts>
#include <cstdio>

#include "common/byte_source.hpp"
#include "common/bytes.hpp"
#include "common/console_text.hpp"
#include "common/numbers.hpp"
#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "engine/sample_decoding.hpp"
#include "engine/seg2_reader.hpp"

namespace quarvent {

namespace {

// Answers what the decoder would ask of a window: nothing is shown, a prompt is cancelled.
class SilentPort final : public WindowlessPort {
public:
    Answer message_box(const MessageBoxRequest&) override { return Answer::ok; }
    std::string input_prompt(const PromptRequest&) override { return {}; }
};

std::string_view format_name(std::uint16_t code) {
    switch (code) {
        case 1:
            return "16-bit integer";
        case 2:
            return "32-bit integer";
        case 3:
            return "20-bit packed";
        case 4:
            return "32-bit float";
        case 5:
            return "64-bit float";
        default:
            return "unknown";
    }
}

// "1000" for one value; "1000 (24), 4000 (12)" for several, at most eight shown.
std::string key_text(double value);
template <std::integral T>
std::string key_text(T value) {
    return std::to_string(value);
}

template <typename Map>
std::string value_list(const Map& counts) {
    if (counts.empty()) return "none";
    if (counts.size() == 1) return key_text(counts.begin()->first);
    std::string text;
    std::size_t shown = 0;
    for (const auto& [value, count] : counts) {
        if (shown == 8) {
            text += ", ... " + std::to_string(counts.size() - shown) + " more";
            break;
        }
        if (shown++ > 0) text += ", ";
        text += key_text(value) + " (" + std::to_string(count) + ")";
    }
    return text;
}

// "1 to 24 (24 values)", or the one value.
std::string range_text(const QexValueCounts& counts) {
    if (counts.empty()) return "none";
    if (counts.size() == 1) return std::to_string(counts.begin()->first);
    return std::to_string(counts.begin()->first) + " to " + std::to_string(counts.rbegin()->first) +
           " (" + std::to_string(counts.size()) + " values)";
}

// An interval in microseconds; a negative one stands for traces that give none.
std::string key_text(double value) {
    if (value < 0) return "none";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

struct Seg2Counts {
    std::map<int, std::uint64_t> formats;
    std::map<std::int32_t, std::uint64_t> sample_counts;
    std::map<double, std::uint64_t> intervals;  // -1 for the traces that give none
};

Seg2Counts seg2_counts(const Seg2Summary& summary) {
    Seg2Counts counts;
    for (const Seg2TraceSummary& trace : summary.traces) {
        if (!trace.descriptor_read) continue;
        ++counts.formats[trace.descriptor.format_code];
        ++counts.sample_counts[trace.descriptor.sample_count];
        ++counts.intervals[trace.interval_us ? *trace.interval_us : -1.0];
    }
    return counts;
}

std::vector<std::string> all_damage(const Seg2Summary& summary) {
    std::vector<std::string> damage = summary.damage;
    for (const Seg2TraceSummary& trace : summary.traces) {
        damage.insert(damage.end(), trace.damage.begin(), trace.damage.end());
    }
    return damage;
}

std::string kind_name(FileKind kind) {
    switch (kind) {
        case FileKind::seg2:
            return "seg2";
        case FileKind::qex:
            return "qex";
        case FileKind::unknown:
            return "unknown";
        case FileKind::unreadable:
            return "unreadable";
        case FileKind::empty:
            return "empty";
    }
    return "unknown";
}

bool for_each_seg2_trace(const FileReport& report, const ByteSource& source, std::uint64_t first,
                         std::uint64_t last, HeaderStringReceiver& receiver,
                         const TraceVisitor& visit) {
    OutputTraceHeader header;
    double scale = 1.0;
    DescriptorReads reads(receiver);
    const HeaderStringSink sink{reads, header, scale};
    FileDescriptor file;
    if (read_file_descriptor(source, file, sink) != FileDescriptorResult::read) return true;
    SilentPort port;
    StatusLog log(port);
    SampleArrays arrays;
    const auto count = static_cast<std::uint64_t>(std::max<int>(0, file.trace_count));
    for (std::uint64_t t = 1; t <= std::min(last, count); ++t) {
        TraceDescriptor descriptor;
        bool repeated = false;
        const TraceDescriptorResult read =
            reads.read(source, file, static_cast<int>(t), descriptor, sink, repeated);
        if (read == TraceDescriptorResult::stop_run) return true;
        if (t < first) continue;
        TraceData trace;
        trace.number = t;
        trace.scale_factor = scale;
        for (int n = 1; n <= 120; ++n) trace.words[static_cast<std::size_t>(n)] = header.word(n);
        if (read == TraceDescriptorResult::read) {
            const TraceToDecode to_decode{source,
                                          descriptor.data_offset,
                                          descriptor.sample_count,
                                          descriptor.format_code,
                                          static_cast<std::int16_t>(t),
                                          report.path};
            trace.samples_read =
                decode_trace_samples(to_decode, 1, arrays, port, log) == DecodeResult::decoded;
            if (trace.samples_read) {
                trace.samples.assign(arrays.output_samples.begin(),
                                     arrays.output_samples.begin() + descriptor.sample_count);
            }
            log.clear();
        }
        if (!visit(trace)) break;
    }
    return true;
}

bool for_each_qex_record(const ByteSource& source, std::uint64_t first, std::uint64_t last,
                         const TraceVisitor& visit) {
    QexReader reader(source);
    while (reader.next() && reader.number() <= last) {
        if (reader.number() < first) continue;
        TraceData trace;
        trace.number = reader.number();
        trace.words = reader.words();
        trace.samples_read = reader.samples(trace.samples);
        if (!visit(trace)) break;
    }
    return true;
}

}  // namespace

bool FileReport::whole() const {
    switch (kind) {
        case FileKind::seg2:
            return seg2.whole();
        case FileKind::qex:
            return qex.whole();
        case FileKind::unknown:
        case FileKind::unreadable:
        case FileKind::empty:
            return false;
    }
    return false;
}

FileReport read_file_report(const std::string& path, HeaderStringReceiver& receiver) {
    FileReport report;
    report.path = path;
    FileSource source;
    if (const std::error_code reason = source.open(path)) {
        report.kind = FileKind::unreadable;
        report.open_error = reason.message();
        return report;
    }
    std::array<std::uint8_t, 2> id{};
    if (source.size() >= 2 && source.read_at(0, id) && id[0] == 0x55 && id[1] == 0x3A) {
        report.kind = FileKind::seg2;
        report.seg2 = summarize_seg2(source, path, receiver);
        return report;
    }
    // The walk that quarvent-batch makes before it appends: headers only, and a first record
    // that must be plausible, so that other files (a SEG-2 file with a damaged first byte
    // among them) are not shown as QEX.
    QexSummary& q = report.qex;
    const QexWalk walk =
        walk_qex(source, [&](std::uint64_t, std::uint64_t, std::span<const std::uint8_t> header) {
            const auto word = [&](int n) { return *read_le_i16(header, 2 * (n - 1)); };
            ++q.sample_counts[word(58)];
            ++q.intervals_us[word(59)];
            ++q.channels[word(8)];
            ++q.ssns[word(92)];
        });
    q.bytes = walk.file_bytes;
    q.records = walk.records;
    q.first_ssn = walk.first_ssn.value_or(0);
    q.last_ssn = walk.last_ssn.value_or(0);
    q.stop = walk.stop;
    switch (walk.kind) {
        case QexKind::empty:
            report.kind = FileKind::empty;
            break;
        case QexKind::qex:
            report.kind = FileKind::qex;
            break;
        case QexKind::not_qex:
            report.kind = FileKind::unknown;
            report.not_qex = walk.reason;
            break;
    }
    return report;
}

std::uint64_t trace_count(const FileReport& report) {
    switch (report.kind) {
        case FileKind::seg2:
            return report.seg2.traces.size();
        case FileKind::qex:
            return report.qex.records;
        case FileKind::unknown:
        case FileKind::unreadable:
        case FileKind::empty:
            return 0;
    }
    return 0;
}

bool for_each_trace(const FileReport& report, std::uint64_t first, std::uint64_t last,
                    HeaderStringReceiver& receiver, const TraceVisitor& visit) {
    if (report.kind != FileKind::seg2 && report.kind != FileKind::qex) return false;
    FileSource source;
    if (source.open(report.path)) return false;
    if (report.kind == FileKind::seg2) {
        return for_each_seg2_trace(report, source, first, last, receiver, visit);
    }
    return for_each_qex_record(source, first, last, visit);
}

std::string summary_text(const FileReport& report) {
    std::string text = as_utf8(report.path) + ": ";
    switch (report.kind) {
        case FileKind::unreadable:
            return text + "cannot be read: " + report.open_error + "\n";
        case FileKind::empty:
            return text + "empty\n";
        case FileKind::unknown:
            text += "neither SEG-2 nor QEX";
            if (!report.not_qex.empty()) text += " (as QEX: " + report.not_qex + ")";
            return text + "\n";
        case FileKind::qex: {
            const QexSummary& q = report.qex;
            text +=
                "QEX, " + std::to_string(q.records) + (q.records == 1 ? " record, " : " records, ");
            text += q.whole() ? "ends in whole records\n" : "DAMAGED: " + describe(q.stop) + "\n";
            if (q.records == 0) return text;
            text += "  samples per record: " + value_list(q.sample_counts) + "\n";
            text += "  interval (us, word 59): " + value_list(q.intervals_us) + "\n";
            text += "  SSN (word 92): " + range_text(q.ssns) + ", first " +
                    std::to_string(q.first_ssn) + ", last " + std::to_string(q.last_ssn) + "\n";
            text += "  channels (word 8): " + range_text(q.channels) + "\n";
            return text;
        }
        case FileKind::seg2:
            break;
    }
    const Seg2Summary& s = report.seg2;
    const std::vector<std::string> damage = all_damage(s);
    text += "SEG-2";
    if (s.descriptor_result == FileDescriptorResult::read ||
        s.descriptor_result == FileDescriptorResult::pointer_shortage) {
        text += " revision " + std::to_string(s.file.revision) + ", " +
                std::to_string(s.file.trace_count) +
                (s.file.trace_count == 1 ? " trace" : " traces");
    }
    text += damage.empty() ? ", read whole\n" : ", DAMAGED\n";
    const Seg2Counts counts = seg2_counts(s);
    if (!counts.formats.empty()) {
        text += "  formats:";
        bool first = true;
        for (const auto& [code, count] : counts.formats) {
            text += first ? " " : ", ";
            first = false;
            text += std::string(format_name(static_cast<std::uint16_t>(code))) + " (code " +
                    std::to_string(code);
            text += counts.formats.size() > 1 ? ", " + std::to_string(count) + " traces)" : ")";
        }
        text += "\n";
        text += "  samples per trace: " + value_list(counts.sample_counts) + "\n";
        text += "  interval (us): " + value_list(counts.intervals) + "\n";
    }
    for (const std::string& entry : damage) text += "  damaged: " + as_utf8(entry) + "\n";
    return text;
}

// One header string, indented; the lines of a string that holds line breaks (a NOTE) are
// indented further, so that each string stays recognisable as one.
std::string string_lines(const std::string& s) {
    std::string text = "  ";
    for (char c : as_utf8(s)) {
        if (c == '\r') continue;
        text += c;
        if (c == '\n') text += "    ";
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text + "\n";
}

std::string strings_text(const FileReport& report) {
    if (report.kind != FileKind::seg2) return {};
    std::string text = as_utf8(report.path) + ": file strings\n";
    for (const std::string& s : report.seg2.file_strings) text += string_lines(s);
    if (report.seg2.file_strings_cut) {
        text += "  (the later file strings not shown: they pass the " +
                std::to_string(kept_string_bytes >> 20) + " MB kept)\n";
    }
    for (const Seg2TraceSummary& trace : report.seg2.traces) {
        if (trace.number == report.seg2.strings_dropped_from) {
            text += "strings of trace " + std::to_string(trace.number) +
                    " and later not shown: they pass the " +
                    std::to_string(kept_string_bytes >> 20) + " MB kept\n";
        }
        text += "trace " + std::to_string(trace.number) + "\n";
        if (trace.strings_of_trace != 0) {
            text += "  (the descriptor of trace " + std::to_string(trace.strings_of_trace) +
                    ", with its strings)\n";
        }
        for (const std::string& s : trace.strings) text += string_lines(s);
    }
    return text;
}

std::string words_table(const FileReport& report, const std::vector<int>& words,
                        HeaderStringReceiver& receiver) {
    char cell[32];
    std::string text;
    if (report.kind == FileKind::seg2) {
        text +=
            "  words as if this file were converted alone: in a run of several files, a word "
            "it does not set keeps the value an earlier file left\n";
    }
    std::snprintf(cell, sizeof cell, "%7s", report.kind == FileKind::seg2 ? "trace" : "record");
    text += cell;
    for (int n : words) {
        std::snprintf(cell, sizeof cell, " %6s", ("w" + std::to_string(n)).c_str());
        text += cell;
    }
    text += "\n";
    // Only the words are wanted: a QEX walk reads no samples for them.
    if (report.kind == FileKind::qex) {
        FileSource source;
        if (source.open(report.path)) return text;
        QexReader reader(source);
        while (reader.next()) {
            std::snprintf(cell, sizeof cell, "%7llu",
                          static_cast<unsigned long long>(reader.number()));
            text += cell;
            for (int n : words) {
                std::snprintf(cell, sizeof cell, " %6d", reader.word(n));
                text += cell;
            }
            text += "\n";
        }
        return text;
    }
    for_each_trace(report, 1, std::numeric_limits<std::uint64_t>::max(), receiver,
                   [&](const TraceData& trace) {
                       std::snprintf(cell, sizeof cell, "%7llu",
                                     static_cast<unsigned long long>(trace.number));
                       text += cell;
                       for (int n : words) {
                           std::snprintf(cell, sizeof cell, " %6d",
                                         trace.words[static_cast<std::size_t>(n)]);
                           text += cell;
                       }
                       text += "\n";
                       return true;
                   });
    return text;
}

nlohmann::json report_json(const FileReport& report, bool with_strings) {
    nlohmann::json j;
    j["path"] = as_utf8(report.path);
    // A name that is not UTF-8 changes in "path": its exact bytes let a script find it.
    if (!is_utf8(report.path)) j["path_bytes_hex"] = hex_bytes(report.path);
    j["kind"] = kind_name(report.kind);
    j["whole"] = report.whole();
    if (report.kind == FileKind::unreadable) {
        j["error"] = report.open_error;
        return j;
    }
    if (report.kind == FileKind::empty) {
        j["bytes"] = 0;
        return j;
    }
    if (report.kind == FileKind::unknown) j["reason"] = report.not_qex;
    if (report.kind == FileKind::qex || report.kind == FileKind::unknown) {
        const QexSummary& q = report.qex;
        const auto counts = [](const QexValueCounts& map) {
            nlohmann::json out = nlohmann::json::object();
            for (const auto& [value, count] : map) out[std::to_string(value)] = count;
            return out;
        };
        j["bytes"] = q.bytes;
        j["records"] = q.records;
        j["samples_per_record"] = counts(q.sample_counts);
        j["intervals_us"] = counts(q.intervals_us);
        j["channels"] = counts(q.channels);
        j["ssns"] = counts(q.ssns);
        if (q.records > 0) {
            j["first_ssn"] = q.first_ssn;
            j["last_ssn"] = q.last_ssn;
        }
        if (!q.whole()) {
            j["stop"] = {{"record", q.stop.record},
                         {"offset", q.stop.offset},
                         {"bytes_present", q.stop.bytes_present},
                         {"bytes_needed", q.stop.bytes_needed},
                         {"word58", q.stop.word58},
                         {"text", describe(q.stop)}};
        }
        return j;
    }
    const Seg2Summary& s = report.seg2;
    j["damage"] = nlohmann::json::array();
    for (const std::string& entry : all_damage(s)) j["damage"].push_back(as_utf8(entry));
    if (s.descriptor_result != FileDescriptorResult::read) return j;
    j["revision"] = s.file.revision;
    j["trace_count"] = s.file.trace_count;
    const Seg2Counts counts = seg2_counts(s);
    const auto by_key = [](const auto& map) {
        nlohmann::json out = nlohmann::json::object();
        for (const auto& [value, count] : map) out[key_text(value)] = count;
        return out;
    };
    j["formats"] = by_key(counts.formats);
    j["samples_per_trace"] = by_key(counts.sample_counts);
    j["intervals_us"] = by_key(counts.intervals);
    if (with_strings && s.file_strings_cut) j["file_strings_cut"] = true;
    if (with_strings && s.strings_dropped_from != 0) {
        j["strings_dropped_from_trace"] = s.strings_dropped_from;
    }
    if (with_strings) {
        j["file_strings"] = nlohmann::json::array();
        for (const std::string& text : s.file_strings) j["file_strings"].push_back(as_utf8(text));
    }
    j["traces"] = nlohmann::json::array();
    for (const Seg2TraceSummary& trace : s.traces) {
        nlohmann::json t;
        t["trace"] = trace.number;
        t["whole"] = trace.descriptor_read && trace.samples_read && trace.damage.empty();
        if (trace.descriptor_read) {
            t["format"] = trace.descriptor.format_code;
            t["samples"] = trace.descriptor.sample_count;
        }
        t["interval_us"] = trace.interval_us ? nlohmann::json(*trace.interval_us) : nullptr;
        if (with_strings && trace.strings_of_trace != 0) {
            t["strings_of_trace"] = trace.strings_of_trace;
        } else if (with_strings && !trace.strings_kept) {
            t["strings"] = nullptr;
        } else if (with_strings) {
            t["strings"] = nlohmann::json::array();
            for (const std::string& text : trace.strings) t["strings"].push_back(as_utf8(text));
        }
        t["damage"] = nlohmann::json::array();
        for (const std::string& entry : trace.damage) t["damage"].push_back(as_utf8(entry));
        j["traces"].push_back(std::move(t));
    }
    return j;
}

nlohmann::json words_json(const FileReport& report, const std::vector<int>& words,
                          HeaderStringReceiver& receiver) {
    nlohmann::json rows = nlohmann::json::array();
    for_each_trace(report, 1, std::numeric_limits<std::uint64_t>::max(), receiver,
                   [&](const TraceData& trace) {
                       nlohmann::json row;
                       row["number"] = trace.number;
                       for (int n : words) {
                           row[std::to_string(n)] = trace.words[static_cast<std::size_t>(n)];
                       }
                       rows.push_back(std::move(row));
                       return true;
                   });
    return rows;
}

std::optional<std::vector<int>> parse_word_list(const std::string& text) {
    std::vector<int> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        if (item.empty() || item.size() > 3 ||
            !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        const int n = std::stoi(item);
        if (n < 1 || n > 120) return std::nullopt;
        words.push_back(n);
        start = end + 1;
    }
    return words;
}

}  // namespace quarvent
