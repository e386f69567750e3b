#include "engine/file_probe.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/seg2_builder.hpp"

namespace quarvent {
namespace {

// One output record: 240 header bytes with word 58 (sample count) and word 92 (SSN) set,
// then four bytes a sample.
std::vector<std::uint8_t> record(std::int16_t samples, std::int16_t ssn) {
    std::vector<std::uint8_t> bytes(240 + 4 * static_cast<std::size_t>(samples < 0 ? 0 : samples));
    auto put = [&bytes](int word, std::int16_t value) {
        const auto at = static_cast<std::size_t>(2 * (word - 1));
        bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    };
    put(58, samples);
    put(92, ssn);
    return bytes;
}

std::vector<std::uint8_t> joined(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(last_record_ssn, takes_word_92_of_the_last_whole_record) {
    const std::vector<std::uint8_t> two = joined({record(3, 5), record(10, 6)});
    std::vector<std::uint8_t> cut = two;
    cut.resize(two.size() - 1);  // the second record lacks its last byte
    std::vector<std::uint8_t> header_only = record(2, 9);
    header_only.resize(240);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::optional<std::int16_t> ssn;
    };
    const Case cases[] = {
        {"empty", {}, std::nullopt},
        {"shorter than a header", std::vector<std::uint8_t>(239), std::nullopt},
        {"one record", record(4, 41), 41},
        {"no samples", record(0, -3), -3},
        {"two records of different lengths", two, 6},
        {"a cut second record", cut, 5},
        {"a header without its samples", header_only, std::nullopt},
        {"a negative sample count ends the walk", joined({record(1, 7), record(-1, 8)}), 7},
        {"trailing bytes after the last record", joined({record(1, 12), {1, 2, 3}}), 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemorySource source(c.bytes);
        EXPECT_EQ(last_record_ssn(source), c.ssn);
    }
}

TEST(seg2_trace_count, reads_the_count_of_seg2_files_only) {
    testing::Seg2Builder three;
    for (int t = 0; t < 3; ++t) three.add_trace(testing::Seg2Trace::int16({1, 2}));
    testing::Seg2Builder negative;
    negative.trace_count = -4;
    testing::Seg2Builder other;
    other.block_id = 0x1234;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::optional<int> count;
    };
    const Case cases[] = {
        {"three traces", three.build(), 3},
        {"a negative count holds no trace", negative.build(), 0},
        {"another block id", other.build(), std::nullopt},
        {"too short", {0x55, 0x3A, 1, 0, 4, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemorySource source(c.bytes);
        EXPECT_EQ(seg2_trace_count(source), c.count);
    }
    EXPECT_EQ(seg2_trace_count(std::string("/no/such/file.sg2")), std::nullopt);
}

}  // namespace
}  // namespace quarvent
