// The keyword file shipped with the program: it loads, keeps its format, maps the usual SEG-2
// keywords to the intended words, and translates real recordings without log lines.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/bytes.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using namespace std::string_literals;
using testing::ScriptedUi;

const std::string default_file = std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD";

KeywordTable load_default() {
    KeywordLoadResult result = load_keyword_table(default_file);
    EXPECT_TRUE(result.table.has_value()) << result.error_text;
    return result.table ? std::move(*result.table) : KeywordTable{};
}

TEST(default_keyword_file, lines_end_in_cr_lf_and_none_is_empty) {
    const std::vector<std::uint8_t> bytes = testing::read_file(default_file);
    ASSERT_GE(bytes.size(), 2U);
    EXPECT_EQ(bytes[bytes.size() - 2], '\r');
    EXPECT_EQ(bytes.back(), '\n');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
            ASSERT_FALSE(i >= 3 && bytes[i - 2] == '\n') << "empty line at byte " << i;
        }
        if (bytes[i] == '\r') {
            ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    const KeywordTable table = load_default();
    EXPECT_GT(table.entry_count(), 60);
    for (const KeywordEntry& entry : table.entries()) {
        EXPECT_FALSE(entry.keyword.empty());
        EXPECT_GE(entry.function_code, 0);
        EXPECT_LE(entry.function_code, 5);
    }
}

// Each keyword's own string is handled by that keyword's entries alone: no entry of another
// keyword (one that is part of it, or one placed before it) applies first, and the string
// stops at a code 0 entry of its own.
TEST(default_keyword_file, every_keyword_is_handled_by_its_own_entries) {
    const KeywordTable table = load_default();
    std::set<std::string> keywords;
    for (const KeywordEntry& entry : table.entries()) keywords.insert(entry.keyword);
    for (const std::string& keyword : keywords) {
        SCOPED_TRACE(keyword);
        const std::string s = keyword + "1\0"s;
        bool stopped = false;
        for (const KeywordEntry& entry : table.entries()) {
            if (s.find(entry.keyword) == std::string::npos) continue;
            EXPECT_EQ(entry.keyword, keyword) << "applied before the keyword's own code 0";
            if (entry.function_code == 0) {
                stopped = true;
                break;
            }
        }
        EXPECT_TRUE(stopped) << "no code 0 entry ends the keyword's strings";
    }
}

TEST(default_keyword_file, maps_the_usual_keywords) {
    struct Row {
        std::string s;
        std::map<int, std::int16_t> words;
        double scale = 1.0;
    };
    const Row rows[] = {
        {"SAMPLE_INTERVAL 0.000125\0"s, {{59, 125}}},
        {"SAMPLE_INTERVAL 0.0000625\0"s, {{59, 62}}},
        {"CHANNEL_NUMBER 24\0"s, {{8, 24}}},
        {"DELAY -0.500\0"s, {{55, -500}}},
        {"DESCALING_FACTOR        2.14815e-05\0"s, {}, 2.14815e-05},
        {"TRACE_TYPE SEISMIC_DATA\0"s, {{15, 1}}},
        {"TRACE_SORT AS_ACQUIRED\0"s, {{91, 0}}},
        {"ACQUISITION_TIME 13:32:48\0"s, {{81, 13}}},
        {"ACQUISITION_TIME_UTC 09:30:41\0"s, {}},
        {"SHOT_SEQUENCE_NUMBER 2001\0"s, {{5, 2001}}},
        {"SOURCE_STATION_NUMBER 2\0"s, {{10, 2}}},
        {"RECEIVER_STATION_NUMBER 11\0"s, {{93, 11}}},
        {"SOURCE_LOCATION -19.50\0"s, {{37, -20}}},
        {"RECEIVER_LOCATION 10.0 20.0 3.0\0"s, {{41, 10}, {42, 20}, {43, 3}}},
        {"LOCATION LOCATION\0"s, {}},
        {"DATUM 312.4\0"s, {{27, 312}}},
        {"STATIC_CORRECTIONS 1.5 2 3.5\0"s, {{50, 2}, {51, 2}, {52, 4}}},
        {"STACK 10\0"s, {{16, 10}}},
        {"CDP_NUMBER 7\0"s, {{12, 7}}},
        {"FIXED_GAIN 24 DB\0"s, {{61, 24}}},
        {"ALIAS_FILTER 6666.66 0\0"s, {{71, 6667}, {72, 0}}},
        {"NOTCH_FREQUENCY 50\0"s, {{73, 50}}},
        {"LOW_CUT_FILTER 10.000000 12.000000\0"s, {{75, 10}}},
        {"HIGH_CUT_FILTER 500 24\0"s, {{76, 500}}},
        {"DIGITAL_LOW_CUT_FILTER 30 12\0"s, {}},
        {"NOTE \n BASE_INTERVAL 1.00 \n STACK 5 \n DISPLAY_FILTERS 0 0 \n\n\0\0"s, {}},
        {"RAW_RECORD C:\\DATA\\SAMPLE_INTERVAL 9.dat\0"s, {}},
        {"ACQUISITION_SOFTWARE SGOS 11.2\0"s, {}},
        {"RU_ADDRESS_NUMBER 126 482\0"s, {}},
        {"SERIAL_PORT_NUMBER 1\0"s, {}},
        {"SOURCE_LINE_NUMBER 3\0"s, {}},
    };
    const KeywordTable table = load_default();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.s);
        ScriptedUi ui;
        StatusLog log(ui);
        HeaderTranslator translator(table, log, ui);
        OutputTraceHeader header;
        for (int n = 0; n <= 120; ++n) header.word(n) = -999;
        double scale = 1.0;
        EXPECT_EQ(translator.header_string(row.s, header, scale),
                  HeaderStringReceiver::Result::go_on);
        for (int n = 0; n <= 120; ++n) {
            const auto it = row.words.find(n);
            EXPECT_EQ(header.word(n), it == row.words.end() ? -999 : it->second) << "word " << n;
        }
        EXPECT_DOUBLE_EQ(scale, row.scale);
        EXPECT_EQ(log.text(), "");
    }
}

// Every keyword that the SEG-2 standard defines, and those that common instruments add, has an
// entry, so that a string carrying it never gives a "No Match Found" line.
TEST(default_keyword_file, every_standard_and_instrument_keyword_has_an_entry) {
    const char* const keywords[] = {
        // File descriptor block.
        "ACQUISITION_DATE", "ACQUISITION_TIME", "CLIENT", "COMPANY", "GENERAL_CONSTANT",
        "INSTRUMENT", "JOB_ID", "OBSERVER", "PROCESSING_DATE", "PROCESSING_TIME", "TRACE_SORT",
        "UNITS", "NOTE",
        // Trace descriptor block.
        "ALIAS_FILTER", "AMPLITUDE_RECOVERY", "BAND_REJECT_FILTER", "CDP_NUMBER", "CDP_TRACE",
        "CHANNEL_NUMBER", "DATUM", "DELAY", "DESCALING_FACTOR", "DIGITAL_BAND_REJECT_FILTER",
        "DIGITAL_HIGH_CUT_FILTER", "DIGITAL_LOW_CUT_FILTER", "END_OF_GROUP", "FIXED_GAIN",
        "HIGH_CUT_FILTER", "LINE_ID", "LOW_CUT_FILTER", "NOTCH_FREQUENCY", "POLARITY", "RAW_RECORD",
        "RECEIVER", "RECEIVER_GEOMETRY", "RECEIVER_LOCATION", "RECEIVER_SPECS",
        "RECEIVER_STATION_NUMBER", "SAMPLE_INTERVAL", "SHOT_SEQUENCE_NUMBER", "SKEW", "SOURCE",
        "SOURCE_GEOMETRY", "SOURCE_LOCATION", "SOURCE_STATION_NUMBER", "STACK",
        "STATIC_CORRECTIONS", "TRACE_TYPE",
        // Written by instruments beside the standard ones.
        "ACQUISITION_SOFTWARE", "RU_ADDRESS_NUMBER", "SERIAL_PORT_NUMBER", "SOURCE_LINE_NUMBER",
        "RECEIVER_LINE_NUMBER", "UNIT_UNIQUE_ID", "ACQUISITION_DATE_UTC", "ACQUISITION_TIME_UTC",
        "DEVICE_SERIAL_NO", "FIRMWARE_VERSION", "TRIGGER_SOURCE", "SENSOR_TYPE_NAME"};
    const KeywordTable table = load_default();
    std::set<std::string> listed;
    for (const KeywordEntry& entry : table.entries()) listed.insert(entry.keyword);
    for (const char* keyword : keywords) {
        SCOPED_TRACE(keyword);
        EXPECT_TRUE(listed.contains(std::string(keyword) + " ")) << "no entry of its own";
        ScriptedUi ui;
        StatusLog log(ui);
        HeaderTranslator translator(table, log, ui);
        OutputTraceHeader header;
        double scale = 1.0;
        EXPECT_EQ(translator.header_string(std::string(keyword) + " 1 2\0"s, header, scale),
                  HeaderStringReceiver::Result::go_on);
        EXPECT_THAT(log.text(), ::testing::Not(::testing::HasSubstr("No Match")));
    }
}

// The header strings of a SEG-2 file, file strings first, then each trace's. Reading stops
// quietly at anything that does not fit the file.
std::vector<std::string> header_strings(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> strings;
    const auto walk = [&](std::uint64_t offset) {
        while (const auto length = read_le_i16(bytes, offset)) {
            if (*length < 2 || !fits(bytes.size(), offset + 2, std::uint64_t(*length) - 2)) return;
            const auto* first = reinterpret_cast<const char*>(bytes.data() + offset + 2);
            strings.emplace_back(first, static_cast<std::size_t>(*length) - 2);
            offset += static_cast<std::uint64_t>(*length);
        }
    };
    const auto pointer_bytes = read_le_u16(bytes, 4);
    const auto traces = read_le_i16(bytes, 6);
    if (!pointer_bytes || !traces) return strings;
    walk(32 + 4 * std::uint64_t(*pointer_bytes / 4));
    for (int t = 0; t < *traces; ++t) {
        if (const auto pointer = read_le_u32(bytes, 32 + 4 * std::uint64_t(t)))
            walk(*pointer + 32ULL);
    }
    return strings;
}

TEST(default_keyword_file, real_recordings_translate_without_log_lines) {
    const std::string dir = testing::shared_samples_dir();
    if (dir.empty())
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    const KeywordTable table = load_default();
    int files = 0;
    std::size_t strings = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(dir)) {
        if (!item.is_regular_file()) continue;
        const std::vector<std::uint8_t> bytes = testing::read_file(item.path().string());
        if (bytes.size() < 2 || bytes[0] != 0x55 || bytes[1] != 0x3A) continue;
        SCOPED_TRACE(item.path().string());
        ++files;
        ScriptedUi ui;
        StatusLog log(ui);
        HeaderTranslator translator(table, log, ui);
        OutputTraceHeader header;
        for (const std::string& s : header_strings(bytes)) {
            double scale = 1.0;
            ++strings;
            EXPECT_EQ(translator.header_string(s, header, scale),
                      HeaderStringReceiver::Result::go_on);
        }
        // The one line allowed: a trace sorting that is not "as acquired" is worth a warning.
        std::string rest = log.text();
        const std::string sort_warning =
            "Warning COMMON_SOURCE type may yield unprocessable data\r\n";
        for (std::size_t at; (at = rest.find(sort_warning)) != std::string::npos;) {
            rest.erase(at, sort_warning.size());
        }
        EXPECT_EQ(rest, "");
        EXPECT_EQ(translator.range_warning_count(), 0);
    }
    EXPECT_GT(files, 10);
    EXPECT_GT(strings, 5000U);
}

}  // namespace
}  // namespace quarvent
