#include "inspect/section_loader.hpp"

#include <algorithm>
#include <charconv>

#include "common/byte_source.hpp"

namespace quarvent {

namespace {

std::optional<std::uint64_t> positive_number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) {
        return std::nullopt;
    }
    return value;
}

// Passes the strings on and notes which words each one changed, with the string's keyword as
// the word's name.
class NotingReceiver final : public HeaderStringReceiver {
public:
    explicit NotingReceiver(HeaderStringReceiver& inner) : inner_(inner) {}

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        std::array<std::int16_t, render::SectionTrace::word_count> before{};
        for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
            before[static_cast<std::size_t>(n - 1)] = header.word(n);
        }
        const Result result = inner_.header_string(s, header, trace_scale_factor);
        std::string_view keyword = s.substr(0, s.find_first_of(std::string_view(" \0", 2)));
        for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
            const auto at = static_cast<std::size_t>(n - 1);
            if (header.word(n) == before[at]) continue;
            translated.set(at);
            if (names[at].empty()) names[at] = std::string(keyword);
        }
        return result;
    }
    void file_begins() override { inner_.file_begins(); }

    std::bitset<render::SectionTrace::word_count> translated;
    std::array<std::string, render::SectionTrace::word_count> names;

private:
    HeaderStringReceiver& inner_;
};

// The reader's reason for a SEG-2 trace that could not be read: its first damage entry, less
// the file's path that the entry begins with.
std::string damage_reason(const FileReport& report, std::uint64_t number) {
    if (number == 0 || number > report.seg2.traces.size()) return "not read";
    const auto& damage = report.seg2.traces[number - 1].damage;
    if (damage.empty()) return "not read";
    std::string reason = damage.front();
    if (reason.rfind(report.path, 0) == 0) reason.erase(0, report.path.size());
    const std::size_t start = reason.find_first_not_of(' ');
    return start == std::string::npos ? "not read" : reason.substr(start);
}

void name_words(render::Section& section, const std::array<std::string, 120>* keyword_names) {
    for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
        const auto at = static_cast<std::size_t>(n - 1);
        std::string name(record_writer_word_name(n));
        if (name.empty() && keyword_names != nullptr) name = (*keyword_names)[at];
        section.word_names[at] = std::move(name);
    }
}

}  // namespace

std::string_view record_writer_word_name(int word) {
    switch (word) {
        case 2:
            return "traces in the input file";
        case 3:
            return "always 6";
        case 4:
            return "always 8";
        case 6:
            return "file number";
        case 8:
            return "channel";
        case 14:
            return "trace in the input file";
        case 15:
            return "trace type (1 when unset)";
        case 58:
            return "samples";
        case 59:
            return "sample interval (µs)";
        case 60:
            return "always 21930";
        case 88:
            return "last trace of its file";
        case 92:
            return "SSN";
        default:
            return {};
    }
}

std::optional<TraceRange> parse_trace_range(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        const auto only = positive_number(text);
        if (!only) return std::nullopt;
        return TraceRange{*only, *only};
    }
    const auto first = positive_number(text.substr(0, dash));
    if (!first) return std::nullopt;
    const std::string_view rest = text.substr(dash + 1);
    if (rest.empty()) return TraceRange{*first, 0};
    const auto last = positive_number(rest);
    if (!last || *last < *first) return std::nullopt;
    return TraceRange{*first, *last};
}

LoadedSection load_section(const FileReport& report, TraceRange range,
                           HeaderStringReceiver& receiver, std::uint64_t max_traces) {
    LoadedSection loaded;
    loaded.available = trace_count(report);
    if (loaded.available == 0) {
        loaded.problem = "the file holds no traces";
        return loaded;
    }
    if (range.first > loaded.available) {
        loaded.problem = "the file holds " + std::to_string(loaded.available) + " traces";
        return loaded;
    }
    std::uint64_t last =
        range.last == 0 ? loaded.available : std::min(range.last, loaded.available);
    if (last - range.first + 1 > max_traces) {
        last = range.first + max_traces - 1;
        loaded.cut = true;
    }
    loaded.first = range.first;
    NotingReceiver noting(receiver);
    const bool read =
        for_each_trace(report, range.first, last, noting, [&](const TraceData& trace) {
            // Traces the reader passed over keep their places as missing ones.
            while (range.first + loaded.section.traces.size() < trace.number) {
                render::SectionTrace& gap = loaded.section.traces.emplace_back();
                gap.number = range.first + loaded.section.traces.size() - 1;
                gap.missing = true;
                gap.missing_reason = damage_reason(report, gap.number);
            }
            render::SectionTrace& shown = loaded.section.traces.emplace_back();
            shown.number = trace.number;
            // A SEG-2 trace whose descriptor could not be read has no words of its own; the
            // header the reader carries would show the previous trace's.
            const bool own_words = report.kind != FileKind::seg2 ||
                                   (trace.number <= report.seg2.traces.size() &&
                                    report.seg2.traces[trace.number - 1].descriptor_read);
            if (own_words) {
                for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
                    shown.set_word(n, trace.words[static_cast<std::size_t>(n)]);
                }
                if (report.kind == FileKind::seg2) shown.translated = noting.translated;
            }
            if (trace.samples_read) {
                shown.samples = trace.samples;
            } else {
                shown.missing = true;
                shown.missing_reason = damage_reason(report, trace.number);
            }
            return true;
        });
    if (!read) {
        loaded.problem = "the file could not be read";
        return loaded;
    }
    // Traces after the last one the reader reached (a file cut short).
    while (range.first + loaded.section.traces.size() <= last) {
        render::SectionTrace& gap = loaded.section.traces.emplace_back();
        gap.number = range.first + loaded.section.traces.size() - 1;
        gap.missing = true;
        gap.missing_reason = damage_reason(report, gap.number);
    }
    name_words(loaded.section, report.kind == FileKind::seg2 ? &noting.names : nullptr);
    return loaded;
}

FileSectionPages::FileSectionPages(const FileReport& report, HeaderStringReceiver& receiver,
                                   std::uint64_t max_traces)
    : path_(report.path), qex_(report.kind == FileKind::qex) {
    if (qex_) {
        FileSource source;
        if (const std::error_code reason = source.open(report.path)) {
            problem_ = reason.message();
            return;
        }
        index_ = index_qex(source);
        if (index_.records() == 0) problem_ = "the file holds no whole record";
        return;
    }
    LoadedSection loaded = load_section(report, {1, 0}, receiver, max_traces);
    problem_ = loaded.problem;
    seg2_.emplace(std::move(loaded.section), "trace", report.path);
}

std::uint64_t FileSectionPages::count() const {
    if (qex_) return index_.records();
    return seg2_ ? seg2_->count() : 0;
}

std::string FileSectionPages::unit() const { return qex_ ? "record" : "trace"; }

render::Section FileSectionPages::load(std::uint64_t first, std::uint64_t last) {
    if (!qex_) return seg2_ ? seg2_->load(first, last) : render::Section{};
    render::Section page;
    name_words(page, nullptr);
    last = std::min(last, index_.records());
    if (first < 1 || first > last) return page;
    FileSource source;
    const bool open = !source.open(path_);
    page.traces.reserve(last - first + 1);
    QexWords words{};
    for (std::uint64_t n = first; n <= last; ++n) {
        render::SectionTrace& shown = page.traces.emplace_back();
        shown.number = n;
        if (!open || !read_qex_record(source, index_.offsets[n - 1], words, shown.samples)) {
            shown.samples.clear();
            shown.missing = true;
            shown.missing_reason = "could not be read";
            continue;
        }
        for (int w = 1; w <= render::SectionTrace::word_count; ++w) {
            shown.set_word(w, words[static_cast<std::size_t>(w)]);
        }
    }
    return page;
}

std::optional<std::uint64_t> FileSectionPages::first_of_ssn(std::int16_t ssn) const {
    if (qex_) return index_.first_of_ssn(ssn);
    return seg2_ ? seg2_->first_of_ssn(ssn) : std::nullopt;
}

}  // namespace quarvent
