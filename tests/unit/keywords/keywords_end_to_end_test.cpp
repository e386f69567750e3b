// Conversion runs through the keyword translation: real recordings converted with the shipped
// keyword file, and the scale factor's life from file strings to trace strings.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/byte_source.hpp"
#include "common/bytes.hpp"
#include "common/numbers.hpp"
#include "engine/conversion_run.hpp"
#include "engine/qex_reader.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::Reply;
using testing::ScriptedUi;
using testing::TempDir;

struct Record {
    std::vector<std::int16_t> words;  // words 1 .. 120 at [1] .. [120]
    std::vector<float> samples;
};

// Splits an output file into its records: 240 header bytes, then word 58 floats.
std::vector<Record> read_records(const std::vector<std::uint8_t>& bytes) {
    std::vector<Record> records;
    const MemorySource source(bytes);
    QexReader reader(source);
    while (reader.next()) {
        Record record;
        record.words.resize(121);
        for (int n = 1; n <= 120; ++n) record.words[std::size_t(n)] = reader.word(n);
        (void)reader.samples(record.samples);  // memory is always readable
        records.push_back(std::move(record));
    }
    if (reader.stop().end != QexEnd::whole) ADD_FAILURE() << describe(reader.stop());
    return records;
}

// The value of the string that begins with keyword among one trace's strings, if any.
std::optional<std::string> value_of(const std::vector<std::string>& strings,
                                    std::string_view keyword) {
    for (const std::string& s : strings) {
        if (s.starts_with(keyword) && s.size() > keyword.size() && s[keyword.size()] == ' ') {
            return s.substr(keyword.size() + 1);
        }
    }
    return std::nullopt;
}

// Each trace's strings, in pointer-table order.
std::vector<std::vector<std::string>> trace_strings(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::vector<std::string>> traces;
    const auto count = read_le_i16(bytes, 6);
    for (int t = 0; count && t < *count; ++t) {
        auto& strings = traces.emplace_back();
        const auto pointer = read_le_u32(bytes, 32 + 4 * std::size_t(t));
        std::uint64_t offset = pointer ? *pointer + 32ULL : bytes.size();
        while (const auto length = read_le_i16(bytes, offset)) {
            if (*length < 2 || !fits(bytes.size(), offset + 2, std::uint64_t(*length) - 2)) break;
            strings.emplace_back(reinterpret_cast<const char*>(bytes.data() + offset + 2),
                                 std::size_t(*length) - 2);
            offset += std::uint64_t(*length);
        }
    }
    return traces;
}

struct Converted {
    RunOutcome outcome;
    std::vector<Record> records;
    std::string log;
};

// replies: answers after the starting SSN (a manual sample interval).
Converted convert(const std::vector<std::string>& inputs, const KeywordTable& table,
                  const TempDir& dir, std::int16_t resample_factor = 1,
                  const std::vector<std::string>& replies = {}) {
    ScriptedUi ui{Reply::text("1")};  // the starting SSN
    for (const std::string& reply : replies) ui.queue(Reply::text(reply));
    StatusLog log(ui);
    HeaderTranslator translator(table, log, ui);
    RunRequest request;
    request.options.resample_factor = resample_factor;
    request.inputs = inputs;
    request.output_file_name = dir.file("out.qex");
    request.time_of_day = [] { return std::string("12:00:00"); };
    const RunOutcome outcome = convert_run(request, ui, log, translator);
    return {outcome, read_records(testing::read_file(request.output_file_name)), log.text()};
}

TEST(keywords_end_to_end, recordings_take_interval_and_channel_from_their_own_strings) {
    const char* recordings[] = {"obspy/20130107_103041000.CET.3c.cont.0.seg2",
                                "swprocess/wghs_6.dat", "pyrefra/Rec_00001.seg2"};
    if (testing::shared_samples_dir().empty()) {
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    }
    const KeywordLoadResult loaded =
        load_keyword_table(std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD");
    ASSERT_TRUE(loaded.table.has_value()) << loaded.error_text;

    for (const char* recording : recordings) {
        SCOPED_TRACE(recording);
        const std::string path = testing::shared_sample(recording);
        const auto traces = trace_strings(testing::read_file(path));
        ASSERT_FALSE(traces.empty());

        TempDir dir;
        const Converted result = convert({path}, *loaded.table, dir);
        EXPECT_EQ(result.outcome, RunOutcome::completed) << result.log;
        EXPECT_THAT(result.log, Not(HasSubstr("No Match")));
        EXPECT_THAT(result.log, Not(HasSubstr("Bad trace #-corrected")));
        ASSERT_EQ(result.records.size(), traces.size());
        for (std::size_t t = 0; t < traces.size(); ++t) {
            SCOPED_TRACE("trace " + std::to_string(t + 1));
            const auto interval = value_of(traces[t], "SAMPLE_INTERVAL");
            const auto channel = value_of(traces[t], "CHANNEL_NUMBER");
            ASSERT_TRUE(interval && channel);
            // Seconds to whole microseconds, as a 32-bit real rounded halves to even.
            const float microseconds = static_cast<float>(1e6 * read_number(*interval));
            EXPECT_EQ(result.records[t].words[59], round_half_even(microseconds)) << *interval;
            EXPECT_EQ(result.records[t].words[8], round_half_even(read_number(*channel)));
        }
    }
}

// A shot record as an engineering seismograph writes it: beside the standard keywords each
// trace carries the recorder's own, which the shipped file knows, so the log holds only the
// run's own lines.
TEST(keywords_end_to_end, instrument_keywords_give_no_no_match_lines) {
    const KeywordLoadResult loaded =
        load_keyword_table(std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD");
    ASSERT_TRUE(loaded.table.has_value()) << loaded.error_text;
    testing::Seg2Builder file;
    file.file_string("ACQUISITION_DATE 12/NOV/2026")
        .file_string("ACQUISITION_TIME 10:14:03")
        .file_string("INSTRUMENT SEISMOGRAPH 3000")
        .file_string("TRACE_SORT AS_ACQUIRED")
        .file_string("UNITS METERS");
    for (int channel = 1; channel <= 24; ++channel) {
        file.add_trace(testing::Seg2Trace::int32({channel, -channel, 0, 7})
                           .with_string("ACQUISITION_SOFTWARE SGOS 11.2")
                           .with_string("CHANNEL_NUMBER " + std::to_string(channel))
                           .with_string("RU_ADDRESS_NUMBER 126 " + std::to_string(480 + channel))
                           .with_string("SERIAL_PORT_NUMBER 1")
                           .with_string("SOURCE_LINE_NUMBER 3")
                           .with_string("RECEIVER_LINE_NUMBER 4")
                           .with_string("SAMPLE_INTERVAL 0.000250")
                           .with_string("SHOT_SEQUENCE_NUMBER 17"));
    }
    TempDir dir;
    const std::string input = dir.file("1017.dat");
    testing::write_file(input, file.build());

    const Converted result = convert({input}, *loaded.table, dir);
    EXPECT_EQ(result.outcome, RunOutcome::completed) << result.log;
    EXPECT_THAT(result.log, Not(HasSubstr("No Match")));
    EXPECT_EQ(result.log, "\r\nConversion of " + input +
                              " begun at 12:00:00\r\nConversion complete @ 12:00:00\r\n");
    ASSERT_EQ(result.records.size(), 24U);
    for (int t = 0; t < 24; ++t) {
        EXPECT_EQ(result.records[std::size_t(t)].words[8], t + 1);
        EXPECT_EQ(result.records[std::size_t(t)].words[59], 250);
        EXPECT_EQ(result.records[std::size_t(t)].words[5], 17);
    }
}

TEST(keywords_end_to_end, scale_factor_applies_to_its_own_trace_only) {
    KeywordTable table;
    ASSERT_TRUE(table.add({"SAMPLE_INTERVAL ", 1, {59, 1000000}}));
    ASSERT_TRUE(table.add({"DESCALING_FACTOR ", 5, {1}}));

    testing::Seg2Builder file;
    file.file_string("DESCALING_FACTOR 2");  // reset before the first trace's strings
    file.add_trace(testing::Seg2Trace::int16({1, -2, 3})
                       .with_string("SAMPLE_INTERVAL 0.001")
                       .with_string("CHANNEL_NUMBER 1"));
    file.add_trace(testing::Seg2Trace::int16({1, -2, 3})
                       .with_string("SAMPLE_INTERVAL 0.001")
                       .with_string("DESCALING_FACTOR 0.5"));
    file.add_trace(testing::Seg2Trace::int16({1, -2, 3}).with_string("SAMPLE_INTERVAL 0.001"));
    TempDir dir;
    const std::string input = dir.file("line.sg2");
    testing::write_file(input, file.build());

    const Converted result = convert({input}, table, dir);
    EXPECT_EQ(result.outcome, RunOutcome::completed) << result.log;
    ASSERT_EQ(result.records.size(), 3U);
    EXPECT_THAT(result.records[0].samples, ::testing::ElementsAre(1.0F, -2.0F, 3.0F));
    EXPECT_THAT(result.records[1].samples, ::testing::ElementsAre(0.5F, -1.0F, 1.5F));
    EXPECT_THAT(result.records[2].samples, ::testing::ElementsAre(1.0F, -2.0F, 3.0F));
    EXPECT_EQ(result.records[0].words[59], 1000);
}

// At factors 2 and 4 the record's interval is the interval the strings give, before it was
// rounded to whole microseconds, times the factor, then rounded: 62.5 microseconds become
// 125 and 250, not 124 and 248. A whole interval (a manual one, or one a trace inherits
// from the trace before) is multiplied as it is.
TEST(keywords_end_to_end, the_resampled_interval_comes_from_the_unrounded_one) {
    const KeywordLoadResult loaded =
        load_keyword_table(std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD");
    ASSERT_TRUE(loaded.table.has_value()) << loaded.error_text;
    enum class From { trace, file, inherited, manual };
    struct Row {
        const char* name;
        From from;
        const char* seconds;
        std::int16_t factor;
        std::int16_t word_59;  // of the last trace
    };
    const Row rows[] = {
        {"trace's strings, factor 1", From::trace, "0.0000625", 1, 62},
        {"trace's strings, factor 2", From::trace, "0.0000625", 2, 125},
        {"trace's strings, factor 4", From::trace, "0.0000625", 4, 250},
        {"file's strings, factor 4", From::file, "0.0000625", 4, 250},
        {"inherited from the trace before, factor 2", From::inherited, "0.0000625", 2, 124},
        {"manual 0.0625 ms, factor 2", From::manual, "0.0625", 2, 124},
        {"a whole interval, factor 4", From::trace, "0.00025", 4, 1000},
        {"a fraction below the half, factor 4", From::trace, "0.0000374", 4, 150},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::Seg2Builder file;
        const std::string interval = std::string("SAMPLE_INTERVAL ") + row.seconds;
        if (row.from == From::file) file.file_string(interval);
        testing::Seg2Trace first = testing::Seg2Trace::int16({1, 2, 3, 4, 5, 6, 7, 8});
        if (row.from == From::trace || row.from == From::inherited) first.with_string(interval);
        file.add_trace(first);
        if (row.from == From::inherited) {
            file.add_trace(testing::Seg2Trace::int16({1, 2, 3, 4}).with_string("CHANNEL_NUMBER 2"));
        }
        TempDir dir;
        const std::string input = dir.file("line.sg2");
        testing::write_file(input, file.build());
        std::vector<std::string> replies;
        if (row.from == From::manual) replies.push_back(row.seconds);

        const Converted result = convert({input}, *loaded.table, dir, row.factor, replies);
        EXPECT_EQ(result.outcome, RunOutcome::completed) << result.log;
        ASSERT_FALSE(result.records.empty());
        EXPECT_EQ(result.records.back().words[59], row.word_59);
    }

    const std::string recording = testing::shared_sample("graphseg2/FGSeismic2019_101.dat");
    if (recording.empty()) {
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    }
    for (const auto& [factor, word_59] :
         {std::pair<std::int16_t, std::int16_t>{1, 62}, {2, 125}, {4, 250}}) {
        SCOPED_TRACE("FGSeismic2019_101.dat at factor " + std::to_string(factor));
        TempDir dir;
        const Converted result = convert({recording}, *loaded.table, dir, factor);
        EXPECT_EQ(result.outcome, RunOutcome::completed) << result.log;
        ASSERT_FALSE(result.records.empty());
        for (const Record& record : result.records) EXPECT_EQ(record.words[59], word_59);
    }
}

// A crafted file: many pointers to one trace descriptor full of strings that no keyword
// matches. The log shows the first 1000 of the file's messages and one line with the count
// of the rest, instead of growing with pointers times strings; the next file is shown afresh.
TEST(keywords_end_to_end, endless_unmatched_strings_give_a_proportionate_log) {
    const KeywordLoadResult loaded =
        load_keyword_table(std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD");
    ASSERT_TRUE(loaded.table.has_value()) << loaded.error_text;
    constexpr int pointers = 2000;
    constexpr int strings = 10;
    testing::Seg2Builder crafted;
    testing::Seg2Trace trace = testing::Seg2Trace::float32({1.0F})
                                   .with_string("SAMPLE_INTERVAL 0.001")
                                   .with_string("CHANNEL_NUMBER 1");
    for (int i = 0; i < strings; ++i) trace.with_string("QZXQ" + std::to_string(i));
    crafted.add_trace(trace);
    crafted.trace_count = pointers;
    crafted.pointer_block_size = 4 * pointers;
    crafted.pointers = std::vector<std::int32_t>(pointers, crafted.trace_offsets()[0]);
    testing::Seg2Builder ordinary;
    ordinary.add_trace(testing::Seg2Trace::float32({1.0F})
                           .with_string("SAMPLE_INTERVAL 0.001")
                           .with_string("QZXQ"));

    TempDir dir;
    const std::string a = dir.file("crafted.sg2");
    const std::string b = dir.file("ordinary.sg2");
    testing::write_file(a, crafted.build());
    testing::write_file(b, ordinary.build());
    const Converted result = convert({a, b}, *loaded.table, dir);
    EXPECT_EQ(result.outcome, RunOutcome::completed);
    EXPECT_EQ(result.records.size(), std::size_t{pointers + 1});

    const std::string first_file = result.log.substr(0, result.log.find("Conversion of " + b));
    const std::string unmatched = "   No Match Found \r\n";
    std::size_t shown = 0;
    for (std::size_t at = first_file.find(unmatched); at != std::string::npos;
         at = first_file.find(unmatched, at + 1)) {
        ++shown;
    }
    EXPECT_EQ(shown, 1000u);
    EXPECT_THAT(first_file, HasSubstr("... " + std::to_string(pointers * strings - shown) +
                                      " more header string messages of this file not shown\r\n"));
    EXPECT_LT(result.log.size(), 40'000u);
    EXPECT_THAT(result.log.substr(first_file.size()), HasSubstr("QZXQ" + unmatched));
}

}  // namespace
}  // namespace quarvent
