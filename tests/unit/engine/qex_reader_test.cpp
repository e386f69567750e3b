// The QEX reader over whole and damaged files, and over a 2 GB sparse file in flat memory.

#include "engine/qex_reader.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <map>

#include "common/bytes.hpp"
#include "engine/qex_index.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {
namespace {

// One record: the given words (others 0), word 58 = count unless given, samples k * 0.5.
std::vector<std::uint8_t> record(std::map<int, std::int16_t> words, int count) {
    if (!words.contains(58)) words[58] = static_cast<std::int16_t>(count);
    std::vector<std::uint8_t> bytes;
    for (int n = 1; n <= 120; ++n) append_le_i16(bytes, words.contains(n) ? words[n] : 0);
    for (int k = 0; k < count; ++k) append_le_f32(bytes, static_cast<float>(k) * 0.5F);
    return bytes;
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> bytes, std::size_t less) {
    bytes.resize(bytes.size() - less);
    return bytes;
}

TEST(qex_reader, walks_whole_and_damaged_files) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::vector<int> counts;  // word 58 of each whole record
        QexEnd end;
        QexStop stop;  // record, offset, present, needed, word58 (when not whole)
        std::string text;
    };
    const auto r1 = record({{92, 7}}, 3);
    const auto r2 = record({{92, 8}}, 0);
    const auto r3 = record({{92, 9}}, 5);
    const std::vector<Case> cases = {
        {"empty file", {}, {}, QexEnd::whole, {}, ""},
        {"three records", join({r1, r2, r3}), {3, 0, 5}, QexEnd::whole, {}, ""},
        {"header cut short",
         join({r1, cut(r3, 30)}),
         {3},
         QexEnd::partial_header,
         {QexEnd::partial_header, 2, 252, 230, 240, 0},
         "record 2 at byte 252: partial header, 230 of 240 bytes present"},
        {"last sample cut short",
         join({r1, r2, cut(r3, 1)}),
         {3, 0},
         QexEnd::partial_samples,
         {QexEnd::partial_samples, 3, 492, 259, 260, 5},
         "record 3 at byte 492: partial record, 259 of 260 bytes present (word 58 = 5)"},
        {"word 58 runs past the end",
         join({r1, record({{58, 32767}}, 2)}),
         {3},
         QexEnd::partial_samples,
         {QexEnd::partial_samples, 2, 252, 248, 240 + 4 * 32767, 32767},
         "record 2 at byte 252: partial record, 248 of 131308 bytes present (word 58 = 32767)"},
        {"negative word 58",
         join({r1, record({{58, -4}}, 6), r3}),
         {3},
         QexEnd::negative_count,
         {QexEnd::negative_count, 2, 252, 240, 240, -4},
         "record 2 at byte 252: negative sample count in word 58 (-4)"},
        {"shorter than one header",
         {1, 2, 3},
         {},
         QexEnd::partial_header,
         {QexEnd::partial_header, 1, 0, 3, 240, 0},
         "record 1 at byte 0: partial header, 3 of 240 bytes present"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemorySource source(c.bytes);
        QexReader reader(source);
        std::vector<int> counts;
        std::uint64_t offset = 0;
        while (reader.next()) {
            counts.push_back(reader.sample_count());
            EXPECT_EQ(reader.number(), counts.size());
            EXPECT_EQ(reader.offset(), offset);
            offset += 240 + 4 * static_cast<std::uint64_t>(reader.sample_count());
            std::vector<float> samples;
            ASSERT_TRUE(reader.samples(samples));
            ASSERT_EQ(samples.size(), static_cast<std::size_t>(reader.sample_count()));
            for (std::size_t k = 0; k < samples.size(); ++k) {
                EXPECT_EQ(samples[k], static_cast<float>(k) * 0.5F);
            }
            EXPECT_EQ(reader.words()[92], reader.word(92));
        }
        EXPECT_FALSE(reader.next());  // stays stopped
        EXPECT_EQ(counts, c.counts);
        const QexStop& stop = reader.stop();
        EXPECT_EQ(stop.end, c.end);
        if (c.end != QexEnd::whole) {
            EXPECT_EQ(stop.record, c.stop.record);
            EXPECT_EQ(stop.offset, c.stop.offset);
            EXPECT_EQ(stop.bytes_present, c.stop.bytes_present);
            EXPECT_EQ(stop.bytes_needed, c.stop.bytes_needed);
            EXPECT_EQ(stop.word58, c.stop.word58);
        }
        EXPECT_EQ(describe(stop), c.text);

        const QexSummary summary = summarize_qex(source);
        EXPECT_EQ(summary.records, c.counts.size());
        EXPECT_EQ(summary.whole(), c.end == QexEnd::whole);
        if (!c.counts.empty()) {
            EXPECT_EQ(summary.first_ssn, 7);
        }
        if (c.counts.size() == 3) {
            EXPECT_EQ(summary.last_ssn, 9);
        }
    }
}

// The header walk before appending: what kind of file it is, how many whole records it holds,
// where the last one ends, and the SSNs it gives for continuing.
TEST(qex_reader, header_walk_tells_qex_from_other_files_and_finds_the_last_whole_record) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        QexKind kind;
        std::uint64_t records;
        std::uint64_t whole_bytes;
        QexEnd end;
        std::optional<std::int16_t> last_ssn;
    };
    const auto r1 = record({{92, 7}}, 3);  // 252 bytes
    const auto r2 = record({{92, 8}}, 0);  // 240 bytes: a later record may be empty
    const auto r3 = record({{92, 9}}, 5);  // 260 bytes
    std::vector<std::uint8_t> seg2 = record({{58, 2}}, 2);
    seg2[0] = 0x55;
    seg2[1] = 0x3A;
    const std::string text(5000, 'x');
    const std::vector<Case> cases = {
        {"empty", {}, QexKind::empty, 0, 0, QexEnd::whole, std::nullopt},
        {"whole", join({r1, r2, r3}), QexKind::qex, 3, 752, QexEnd::whole, 9},
        {"last record cut", join({r1, r2, cut(r3, 10)}), QexKind::qex, 2, 492,
         QexEnd::partial_samples, 8},
        {"header cut", join({r1, cut(r3, 200)}), QexKind::qex, 1, 252, QexEnd::partial_header, 7},
        {"broken header after whole ones", join({r1, record({{58, -3}}, 0), r3}), QexKind::qex, 1,
         252, QexEnd::negative_count, 7},
        {"first record cut", cut(r1, 1), QexKind::not_qex, 0, 0, QexEnd::partial_samples,
         std::nullopt},
        {"SEG-2 block id", join({seg2, r1}), QexKind::not_qex, 0, 0, QexEnd::partial_samples,
         std::nullopt},
        {"first word 58 zero", join({r2, r1}), QexKind::not_qex, 0, 0, QexEnd::partial_samples,
         std::nullopt},
        {"first word 58 negative", record({{58, -1}}, 0), QexKind::not_qex, 0, 0,
         QexEnd::negative_count, std::nullopt},
        {"text", std::vector<std::uint8_t>(text.begin(), text.end()), QexKind::not_qex, 0, 0,
         QexEnd::partial_samples, std::nullopt},
        {"shorter than a header",
         {1, 2, 3},
         QexKind::not_qex,
         0,
         0,
         QexEnd::partial_header,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemorySource source(c.bytes);
        std::vector<std::uint64_t> offsets;
        const QexWalk walk = walk_qex(source, [&](std::uint64_t number, std::uint64_t offset,
                                                  std::span<const std::uint8_t> header) {
            EXPECT_EQ(number, offsets.size() + 1);
            EXPECT_EQ(header.size(), 240U);
            offsets.push_back(offset);
        });
        EXPECT_EQ(walk.kind, c.kind);
        EXPECT_EQ(walk.kind == QexKind::not_qex, !walk.reason.empty()) << walk.reason;
        EXPECT_EQ(walk.records, c.records);
        EXPECT_EQ(offsets.size(), c.records);
        EXPECT_EQ(walk.whole_bytes, c.whole_bytes);
        EXPECT_EQ(walk.file_bytes, c.bytes.size());
        EXPECT_EQ(walk.stop.end, c.end);
        EXPECT_EQ(walk.partial(), c.kind == QexKind::qex && c.end != QexEnd::whole);
        EXPECT_EQ(walk.last_ssn, c.last_ssn);
        if (c.records > 0) {
            EXPECT_EQ(walk.first_ssn, 7);
        }
    }
}

TEST(qex_reader, index_finds_each_record_and_each_shot) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint64_t> offsets;
        std::vector<std::pair<std::int16_t, std::uint64_t>> shots;  // SSN, first record
    };
    const auto shot = [](std::int16_t ssn, int count) { return record({{92, ssn}}, count); };
    const Case cases[] = {
        {"empty", {}, {}, {}},
        {"shots of records of different lengths",
         join({shot(7, 2), shot(7, 3), shot(9, 1), shot(7, 2)}),
         {0, 248, 500, 744},
         {{7, 1}, {9, 3}, {7, 4}}},
        // Only whole records are indexed: a record cut short is not one.
        {"a cut last record", cut(join({shot(3, 4), shot(4, 4)}), 1), {0}, {{3, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemorySource source(c.bytes);
        const QexIndex index = index_qex(source);
        EXPECT_EQ(index.offsets, c.offsets);
        ASSERT_EQ(index.ssn_runs.size(), c.shots.size());
        for (std::size_t i = 0; i < c.shots.size(); ++i) {
            EXPECT_EQ(index.ssn_runs[i].ssn, c.shots[i].first);
            EXPECT_EQ(index.ssn_runs[i].first_record, c.shots[i].second);
        }
        // A shot met twice is found where it first begins.
        for (const auto& [ssn, first] : c.shots) {
            EXPECT_LE(index.first_of_ssn(ssn).value_or(0), first);
        }
        EXPECT_FALSE(index.first_of_ssn(1000).has_value());
        // Each record reads back from its offset with its own words and samples.
        for (const std::uint64_t offset : c.offsets) {
            QexWords words{};
            std::vector<float> samples;
            ASSERT_TRUE(read_qex_record(source, offset, words, samples));
            EXPECT_EQ(samples.size(), static_cast<std::size_t>(words[58]));
            EXPECT_EQ(samples.back(), 0.5F * static_cast<float>(samples.size() - 1));
        }
    }
    // A record that runs past the end of the bytes is not read.
    const std::vector<std::uint8_t> short_record = cut(record({}, 4), 2);
    QexWords words{};
    std::vector<float> samples;
    EXPECT_FALSE(read_qex_record(MemorySource(short_record), 0, words, samples));
}

long peak_rss_kb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Over 2 GiB of all-zero records (240 bytes each, as word 58 is 0) with one real record at
// the end: every record is walked in the same small memory, and offsets past 2^31 and 2^32
// bits of 32-bit arithmetic would show as a wrong count or a wrong last SSN.
TEST(qex_reader, walks_a_2_gb_sparse_output_in_flat_memory) {
    TempDir dir;
    const std::string path = dir.file("sparse.qex");
    const std::uint64_t zero_records = (std::uint64_t{1} << 31) / 240 + 1;
    const std::vector<std::uint8_t> last = record({{92, 31000}, {8, 12}}, 4);
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(zero_records * 240)), 0);
        ASSERT_EQ(::pwrite(fd, last.data(), last.size(), static_cast<off_t>(zero_records * 240)),
                  static_cast<ssize_t>(last.size()));
        ::close(fd);
    }
    FileSource source;
    ASSERT_FALSE(source.open(path));
    ASSERT_GT(source.size(), std::uint64_t{1} << 31);

    const long before = peak_rss_kb();
    const QexSummary summary = summarize_qex(source);
    EXPECT_LT(peak_rss_kb() - before, 32 * 1024) << "peak memory grew with the file";

    EXPECT_TRUE(summary.whole());
    EXPECT_EQ(summary.records, zero_records + 1);
    EXPECT_EQ(summary.last_ssn, 31000);
    EXPECT_EQ(summary.sample_counts, (QexValueCounts{{0, zero_records}, {4, 1}}));
    EXPECT_EQ(summary.channels, (QexValueCounts{{0, zero_records}, {12, 1}}));

    // The header walk reaches the same end; its first record has no samples, so it is not QEX.
    EXPECT_EQ(walk_qex(source).kind, QexKind::not_qex);
}

}  // namespace
}  // namespace quarvent::testing
