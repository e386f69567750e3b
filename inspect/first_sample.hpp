#pragma once
// The time of the first sample of each trace or record: its header word 55 (the recording
// delay) in ms. For a SEG-2 recording the word comes from its strings through the keyword
// translation, as in a conversion run; for a QEX output from each record's header.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "inspect/file_report.hpp"

namespace quarvent {

// Traces or records first to last (1-based, both included) whose first samples lie at ms.
struct FirstSampleRun {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::int16_t ms = 0;
};

// One run per stretch of equal times, in file order; empty for a file without traces.
std::vector<FirstSampleRun> first_sample_runs(const FileReport& report);

// "  first sample (ms, word 55): -500\n", or the runs where the times differ; empty without
// traces and when every first sample lies at 0 ms.
std::string first_sample_text(const FileReport& report, const std::vector<FirstSampleRun>& runs);

// The time when it is the same for the whole file, else [{"first", "last", "ms"}, ...].
nlohmann::json first_sample_json(const std::vector<FirstSampleRun>& runs);

}  // namespace quarvent
