#include "inspect/first_sample.hpp"

#include "common/byte_source.hpp"

namespace quarvent {

namespace {

constexpr int delay_word = 55;
// A summary names at most this many runs; the JSON has them all.
constexpr std::size_t runs_in_text = 8;

void add(std::vector<FirstSampleRun>& runs, std::uint64_t number, std::int16_t ms) {
    if (!runs.empty() && runs.back().ms == ms && runs.back().last + 1 == number) {
        runs.back().last = number;
    } else {
        runs.push_back({number, number, ms});
    }
}

}  // namespace

std::vector<FirstSampleRun> first_sample_runs(const FileReport& report) {
    std::vector<FirstSampleRun> runs;
    if (report.kind == FileKind::seg2) {
        for (const Seg2TraceSummary& trace : report.seg2.traces) {
            add(runs, static_cast<std::uint64_t>(trace.number),
                trace.words[static_cast<std::size_t>(delay_word)]);
        }
        return runs;
    }
    if (report.kind != FileKind::qex) return runs;
    FileSource source;
    if (source.open(report.path)) return runs;
    // Headers only: a file of any size costs one small read a record.
    (void)walk_qex(
        source, [&](std::uint64_t number, std::uint64_t, std::span<const std::uint8_t> header) {
            const std::size_t at = 2 * (delay_word - 1);
            add(runs, number,
                static_cast<std::int16_t>(static_cast<std::uint16_t>(header[at]) |
                                          static_cast<std::uint16_t>(header[at + 1] << 8)));
        });
    return runs;
}

std::string first_sample_text(const FileReport& report, const std::vector<FirstSampleRun>& runs) {
    // Recorded without a delay: nothing to say.
    if (runs.empty() || (runs.size() == 1 && runs.front().ms == 0)) return {};
    std::string text = "  first sample (ms, word 55): ";
    if (runs.size() == 1) return text + std::to_string(runs.front().ms) + "\n";
    const char* unit = report.kind == FileKind::qex ? "records " : "traces ";
    for (std::size_t i = 0; i < runs.size() && i < runs_in_text; ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(runs[i].ms) + " for " + unit + std::to_string(runs[i].first);
        if (runs[i].last != runs[i].first) text += "-" + std::to_string(runs[i].last);
    }
    if (runs.size() > runs_in_text) {
        text += ", ... (" + std::to_string(runs.size() - runs_in_text) + " more)";
    }
    return text + "\n";
}

nlohmann::json first_sample_json(const std::vector<FirstSampleRun>& runs) {
    if (runs.size() == 1) return runs.front().ms;
    nlohmann::json out = nlohmann::json::array();
    for (const FirstSampleRun& run : runs) {
        out.push_back({{"first", run.first}, {"last", run.last}, {"ms", run.ms}});
    }
    return out;
}

}  // namespace quarvent
