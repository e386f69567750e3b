#include "inspect/section_loader.hpp"

#include <charconv>

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

}  // namespace

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
    const bool read =
        for_each_trace(report, range.first, last, receiver, [&](const TraceData& trace) {
            render::SectionTrace& shown = loaded.section.traces.emplace_back();
            for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
                shown.set_word(n, trace.words[static_cast<std::size_t>(n)]);
            }
            if (trace.samples_read) shown.samples = trace.samples;
            return true;
        });
    if (!read) loaded.problem = "the file could not be read";
    return loaded;
}

}  // namespace quarvent
