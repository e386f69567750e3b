#pragma once
// Helpers of the engine tests: a header string receiver driven by simple test strings, a
// reader of QEX output files, and a run with a scripted window.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/status_log.hpp"
#include "engine/conversion_run.hpp"
#include "engine/qex_reader.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {

// Understands "W<n>=<v>" (word n = v), "SCALE <x>" (the trace's scale factor) and "STOP"
// (stop the run); ignores everything else. Strings arrive with their terminating zero.
class TestStrings final : public HeaderStringReceiver {
public:
    Result header_string(std::string_view s, OutputTraceHeader& header, double& scale) override {
        const std::string text(s.substr(0, s.find('\0')));
        if (text == "STOP") return Result::stop_run;
        if (text.starts_with("SCALE ")) scale = std::stod(text.substr(6));
        if (text.size() > 2 && text[0] == 'W' && text.find('=') != std::string::npos) {
            header.word(std::stoi(text.substr(1))) =
                static_cast<std::int16_t>(std::stoi(text.substr(text.find('=') + 1)));
        }
        return Result::go_on;
    }
};

// One record read back from an output file.
struct QexRecord {
    std::int16_t words[121] = {};  // words[1] .. words[120]
    std::vector<float> samples;
};

struct QexFile {
    std::vector<QexRecord> records;
    bool whole = true;  // the file ends exactly after its last record
};

inline QexFile read_qex(const std::string& path) {
    QexFile file;
    FileSource source;
    if (source.open(path)) return file;
    QexReader reader(source);
    while (reader.next()) {
        QexRecord record;
        for (int n = 1; n <= 120; ++n) record.words[n] = reader.word(n);
        if (!reader.samples(record.samples)) ADD_FAILURE() << "samples unreadable in " << path;
        file.records.push_back(std::move(record));
    }
    file.whole = reader.stop().end == QexEnd::whole;
    return file;
}

// A file of float traces with the given sample counts; each trace's strings give an
// interval of 1000 microseconds, and the file's strings set word 8 so that no trace number
// is defaulted.
inline Seg2Builder float_file(const std::vector<int>& sample_counts) {
    Seg2Builder file;
    file.file_string("W8=1");
    for (std::size_t i = 0; i < sample_counts.size(); ++i) {
        std::vector<float> samples;
        for (int k = 0; k < sample_counts[i]; ++k)
            samples.push_back(static_cast<float>(100 * i + k));
        file.add_trace(Seg2Trace::float32(samples).with_string("W59=1000"));
    }
    return file;
}

inline std::string write_seg2(const TempDir& dir, const std::string& name, const Seg2Builder& b) {
    const std::string path = dir.file(name);
    write_file(path, b.build());
    return path;
}

// A run against a scripted window, at the fixed time 12:34:56.
struct ScriptedRun {
    TempDir dir;
    ScriptedUi ui;
    StatusLog log{ui};
    TestStrings strings;
    RunRequest request;

    ScriptedRun() {
        request.output_file_name = dir.file("out.qex");
        request.time_of_day = [] { return std::string("12:34:56"); };
    }
    std::string add_input(const std::string& name, const Seg2Builder& b) {
        request.inputs.push_back(write_seg2(dir, name, b));
        return request.inputs.back();
    }
    RunOutcome go() { return convert_run(request, ui, log, strings); }
    QexFile output() const { return read_qex(request.output_file_name); }
};

}  // namespace quarvent::testing
