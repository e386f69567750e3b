#pragma once
// Where a display takes its traces from, a page at a time: a file of any size is shown
// without holding more than the page on screen. Plain C++, so that readers of any file format
// can serve pages and tests can hand over a section they built.

#include <cstdint>
#include <optional>
#include <string>

#include "render/section.hpp"

namespace quarvent::render {

class SectionPages {
public:
    virtual ~SectionPages() = default;

    // The traces (or records) the source holds, numbered 1 to count().
    virtual std::uint64_t count() const = 0;
    // "trace" or "record": what the numbers count, for titles and labels.
    virtual std::string unit() const = 0;
    // The path of the file shown; empty when there is none.
    virtual std::string path() const = 0;
    // Traces first to last (1-based, both included, within count()). A trace that cannot be
    // read comes back marked missing, so that the others keep their places.
    virtual Section load(std::uint64_t first, std::uint64_t last) = 0;
    // The number of the first trace whose word 92 (SSN) is ssn; nothing when none has it.
    virtual std::optional<std::uint64_t> first_of_ssn(std::int16_t ssn) const {
        (void)ssn;
        return std::nullopt;
    }
};

// Pages cut from a section held in memory, for a section built by a caller.
class MemoryPages final : public SectionPages {
public:
    MemoryPages(Section section, std::string unit, std::string path)
        : section_(std::move(section)), unit_(std::move(unit)), path_(std::move(path)) {}
    std::uint64_t count() const override { return section_.traces.size(); }
    std::string unit() const override { return unit_; }
    std::string path() const override { return path_; }
    Section load(std::uint64_t first, std::uint64_t last) override;
    std::optional<std::uint64_t> first_of_ssn(std::int16_t ssn) const override;

private:
    Section section_;
    std::string unit_;
    std::string path_;
};

// How many of section's traces were read (not missing).
std::size_t readable_traces(const Section& section);

}  // namespace quarvent::render
