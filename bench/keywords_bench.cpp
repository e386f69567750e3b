// Header string translation: the strings of one realistic trace against a 60-entry keyword
// table, and the same strings against the shipped keyword file.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"

// The shipped keyword file; by default found from the repository's top directory.
#ifndef QUARVENT_SOURCE_DATA_DIR
#define QUARVENT_SOURCE_DATA_DIR "data/"
#endif

namespace quarvent {
namespace {

using namespace std::string_literals;

class QuietUi final : public WindowlessPort {
public:
    Answer message_box(const MessageBoxRequest&) override { return Answer::ok; }
    std::string input_prompt(const PromptRequest&) override { return {}; }
};

// The strings of one trace of a 24-channel refraction recorder, as the file holds them.
const std::vector<std::string> trace_strings = {
    "ALIAS_FILTER 3333.33 0\0\0"s,
    "AMPLITUDE_RECOVERY NONE\0"s,
    "CHANNEL_NUMBER 12\0\0"s,
    "DELAY 0.000\0"s,
    "DESCALING_FACTOR 1.698500E-004\0\0"s,
    "DIGITAL_HIGH_CUT_FILTER 0 0\0"s,
    "DIGITAL_LOW_CUT_FILTER 0 0\0\0"s,
    "FIXED_GAIN 24 DB\0\0"s,
    "LINE_ID 0\0\0"s,
    "LOW_CUT_FILTER 0 0\0\0"s,
    "NOTCH_FREQUENCY 0\0\0"s,
    "NOTE \n DISPLAY_SCALE 106  \n\n\0\0"s,
    "RAW_RECORD C:\\070219\\101.dat\0\0"s,
    "RECEIVER_LOCATION 33.00\0"s,
    "SAMPLE_INTERVAL 0.000125\0\0"s,
    "SHOT_SEQUENCE_NUMBER 101\0"s,
    "SKEW -0.000032123\0"s,
    "SOURCE_LOCATION -1.50\0\0"s,
    "STACK 8\0"s,
};

// 60 entries, one per keyword, without stop entries: a mapped keyword's string is searched
// against every entry, which is the costly case.
KeywordTable sixty_entry_table() {
    struct Row {
        const char* keyword;
        std::int16_t code;
        std::int32_t p1;
        std::int32_t p2;
    };
    const Row mapped[] = {
        {"SAMPLE_INTERVAL ", 1, 59, 1000000},
        {"CHANNEL_NUMBER ", 1, 8, 1},
        {"TRACE_TYPE ", 4, 15, 0},
        {"TRACE_SORT ", 2, 91, 0},
        {"DELAY ", 1, 55, 1000},
        {"DESCALING_FACTOR ", 5, 1, 0},
        {"ACQUISITION_TIME ", 1, 81, 1},
        {"SHOT_SEQUENCE_NUMBER ", 1, 5, 1},
        {"SOURCE_STATION_NUMBER ", 1, 10, 1},
        {"RECEIVER_STATION_NUMBER ", 1, 93, 1},
        {"SOURCE_LOCATION ", 3, 36, 1},
        {"RECEIVER_LOCATION ", 3, 40, 1},
        {"DATUM ", 1, 27, 1},
        {"STATIC_CORRECTIONS ", 3, 49, 1},
        {"STACK ", 1, 16, 1},
        {"CDP_NUMBER ", 1, 12, 1},
        {"CDP_TRACE ", 1, 13, 1},
        {"FIXED_GAIN ", 1, 61, 1},
        {"ALIAS_FILTER ", 3, 70, 1},
        {"NOTCH_FREQUENCY ", 1, 73, 1},
        {"DIGITAL_LOW_CUT_FILTER ", 0, 0, 0},
        {"DIGITAL_HIGH_CUT_FILTER ", 0, 0, 0},
        {"LOW_CUT_FILTER ", 1, 75, 1},
        {"HIGH_CUT_FILTER ", 1, 76, 1},
    };
    const char* ignored[] = {
        "NOTE ",
        "CLIENT ",
        "COMPANY ",
        "INSTRUMENT ",
        "JOB_ID ",
        "OBSERVER ",
        "UNITS ",
        "GENERAL_CONSTANT ",
        "PROCESSING_DATE ",
        "PROCESSING_TIME ",
        "SERIAL_STRING ",
        "ACQUISITION_DATE ",
        "RAW_RECORD ",
        "AMPLITUDE_RECOVERY ",
        "RECEIVER ",
        "RECEIVER_SPECS ",
        "RECEIVER_GEOMETRY ",
        "SOURCE_GEOMETRY ",
        "LINE_ID ",
        "POLARITY ",
        "SKEW ",
        "END_OF_GROUP ",
        "DIGITAL_BAND_REJECT_FILTER ",
        "BAND_REJECT_FILTER ",
        "TIME_ZONE ",
        "STATION_NAME ",
        "DEVICE_NAME ",
        "FIRMWARE_VERSION ",
        "TRIGGER_SOURCE ",
        "TRIGGER_LEVEL ",
        "FIRST_SAMPLE_NO ",
        "LAST_SAMPLE_NO ",
        "UNIT_UNIQUE_ID ",
        "SOURCE ",
        "LOCATION ",
        "SENSOR_FC ",
    };
    KeywordTable table;
    for (const Row& row : mapped) {
        KeywordEntry entry{row.keyword, row.code, {}};
        entry.params[0] = row.p1;
        entry.params[1] = row.p2;
        (void)table.add(entry);
    }
    for (const char* keyword : ignored) (void)table.add(KeywordEntry{keyword, 0, {}});
    return table;
}

void translate_trace(benchmark::State& state, const KeywordTable& table) {
    QuietUi ui;
    StatusLog log(ui);
    HeaderTranslator translator(table, log, ui);
    OutputTraceHeader header;
    for (auto _ : state) {
        double scale = 1.0;
        for (const std::string& s : trace_strings) {
            benchmark::DoNotOptimize(translator.header_string(s, header, scale));
        }
        benchmark::DoNotOptimize(header);
        benchmark::DoNotOptimize(scale);
    }
    if (!log.text().empty()) state.SkipWithError(("unexpected log: " + log.text()).c_str());
    state.counters["entries"] = table.entry_count();
    state.counters["strings/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * trace_strings.size()),
                           benchmark::Counter::kIsRate);
}

void BM_translate_trace_sixty_entries(benchmark::State& state) {
    const KeywordTable table = sixty_entry_table();
    if (table.entry_count() != 60) state.SkipWithError("the table must have 60 entries");
    translate_trace(state, table);
}
BENCHMARK(BM_translate_trace_sixty_entries);

void BM_translate_trace_shipped_file(benchmark::State& state) {
    KeywordLoadResult result =
        load_keyword_table(std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD");
    if (!result.table) {
        state.SkipWithError(result.error_text.c_str());
        return;
    }
    translate_trace(state, *result.table);
}
BENCHMARK(BM_translate_trace_shipped_file);

void BM_load_shipped_file(benchmark::State& state) {
    const std::string path = std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD";
    for (auto _ : state) {
        KeywordLoadResult result = load_keyword_table(path);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_load_shipped_file);

}  // namespace
}  // namespace quarvent
