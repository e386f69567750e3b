#include "render/section_pages.hpp"

#include <algorithm>

namespace quarvent::render {

namespace {
constexpr int ssn_word = 92;
}  // namespace

Section MemoryPages::load(std::uint64_t first, std::uint64_t last) {
    Section page;
    page.sample_interval_us = section_.sample_interval_us;
    page.word_names = section_.word_names;
    const std::uint64_t count = section_.traces.size();
    if (first < 1 || first > count) return page;
    last = std::min(last, count);
    for (std::uint64_t n = first; n <= last; ++n) {
        SectionTrace& trace = page.traces.emplace_back(section_.traces[n - 1]);
        if (trace.number == 0) trace.number = n;
    }
    return page;
}

std::optional<std::uint64_t> MemoryPages::first_of_ssn(std::int16_t ssn) const {
    for (std::size_t i = 0; i < section_.traces.size(); ++i) {
        if (!section_.traces[i].missing && section_.traces[i].word(ssn_word) == ssn) return i + 1;
    }
    return std::nullopt;
}

std::size_t readable_traces(const Section& section) {
    return static_cast<std::size_t>(
        std::count_if(section.traces.begin(), section.traces.end(),
                      [](const SectionTrace& trace) { return !trace.missing; }));
}

}  // namespace quarvent::render
