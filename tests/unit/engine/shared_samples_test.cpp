// End to end over the real recordings: every trace becomes a record whose word 58 is the
// trace's sample count and whose floats are the trace's samples. The recordings are read
// here with a little reader of the test's own, not with the engine's.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/unit/engine/engine_test_support.hpp"

namespace quarvent::testing {
namespace {

struct SampleTrace {
    int format_code = 0;
    std::vector<double> samples;  // formats 2 and 4; format 3 is checked against a reference
};

std::uint32_t u32_at(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) |
           (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}
std::uint16_t u16_at(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::vector<SampleTrace> traces_of(const std::string& path) {
    const std::vector<std::uint8_t> b = read_file(path);
    std::vector<SampleTrace> traces;
    const int count = u16_at(b, 6);
    for (int t = 0; t < count; ++t) {
        const std::size_t pointer = u32_at(b, 32 + 4 * static_cast<std::size_t>(t));
        const std::size_t data = pointer + u16_at(b, pointer + 2);
        const auto n = static_cast<std::size_t>(u32_at(b, pointer + 8));
        SampleTrace trace;
        trace.format_code = b.at(pointer + 12);
        trace.samples.resize(trace.format_code == 3 ? 0 : n);
        for (std::size_t k = 0; k < trace.samples.size(); ++k) {
            const std::uint32_t bits = u32_at(b, data + 4 * k);
            if (trace.format_code == 2) {
                trace.samples[k] = static_cast<float>(static_cast<std::int32_t>(bits));
            } else {
                float value;
                std::memcpy(&value, &bits, 4);
                trace.samples[k] = value;
            }
        }
        if (trace.format_code == 3) trace.samples.assign(n, std::nan(""));
        traces.push_back(std::move(trace));
    }
    return traces;
}

std::vector<double> reference_values(const std::string& path) {
    std::ifstream in(path);
    std::vector<double> values;
    for (double v; in >> v;) values.push_back(v);
    return values;
}

TEST(shared_samples, every_trace_written_with_its_samples) {
    const std::string dir = shared_samples_dir();
    if (dir.empty())
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    const char* files[] = {
        "graphseg2/102.dat",
        "graphseg2/206.dat",
        "graphseg2/FGSeismic2019_101.dat",
        "obspy/20130107_103041000.CET.3c.cont.0.seg2",
        "obspy/20180307_031245000.0.seg2",
        "pyrefra/Rec_00001.seg2",
        "pyrefra/Rec_00002.seg2",
        "refrapy/field_example_01_2001.dat",
        "refrapy/field_example_02_1.dat",
        "seisio/shot1.seg2",
        "swprocess/vuws_1.dat",
        "swprocess/wghs_1.dat",
        "swprocess/wghs_10.dat",
        "swprocess/wghs_6.dat",
    };
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        const std::vector<SampleTrace> expected = traces_of(path);
        ScriptedRun run;
        run.request.inputs = {path};
        // The test receiver sets no interval: one prompt for the run, and no scale factor.
        run.ui.queue(Reply::text("1"));
        run.ui.queue(Reply::text("1"));
        ASSERT_EQ(run.go(), RunOutcome::completed);
        const QexFile out = run.output();
        EXPECT_TRUE(out.whole);
        ASSERT_EQ(out.records.size(), expected.size());
        for (std::size_t t = 0; t < expected.size(); ++t) {
            SCOPED_TRACE("trace " + std::to_string(t + 1));
            const QexRecord& record = out.records[t];
            ASSERT_EQ(record.words[58], static_cast<int>(expected[t].samples.size()));
            if (expected[t].format_code == 3) continue;
            for (std::size_t k = 0; k < record.samples.size(); ++k) {
                ASSERT_EQ(record.samples[k], expected[t].samples[k]) << "sample " << k + 1;
            }
        }
        // The 20-bit recording comes with the samples times its DESCALING_FACTOR.
        if (expected[0].format_code == 3) {
            const std::vector<double> reference =
                reference_values(dir + "/obspy/20180307_031245000.0.reference.txt");
            ASSERT_EQ(reference.size(), out.records[0].samples.size());
            for (std::size_t k = 0; k < reference.size(); ++k) {
                const double value = out.records[0].samples[k] * 0.001199;
                ASSERT_NEAR(value, reference[k], 1e-7 + 1e-7 * std::fabs(reference[k])) << k + 1;
            }
        }
    }
}

}  // namespace
}  // namespace quarvent::testing
