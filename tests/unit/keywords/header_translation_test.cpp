#include "keywords/header_translation.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/scripted_ui.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;
using testing::ScriptedUi;

using namespace std::string_literals;  // header strings carry their terminating zero

constexpr std::int16_t untouched = 12345;

struct Entry {
    std::string keyword;
    std::int16_t code;
    std::int32_t p1 = 0;
    std::int32_t p2 = 0;
};

KeywordTable make_table(const std::vector<Entry>& entries) {
    KeywordTable table;
    for (const Entry& e : entries) {
        KeywordEntry entry;
        entry.keyword = e.keyword;
        entry.function_code = e.code;
        entry.params[0] = e.p1;
        entry.params[1] = e.p2;
        EXPECT_TRUE(table.add(entry));
    }
    return table;
}

// One translator with its table, log and header; every header word starts as `untouched`.
struct Harness {
    explicit Harness(const std::vector<Entry>& entries)
        : table(make_table(entries)), log(ui), translator(table, log, ui) {
        for (int n = 0; n <= OutputTraceHeader::last_word; ++n) header.word(n) = untouched;
    }
    HeaderStringReceiver::Result translate(std::string_view s) {
        return translator.header_string(s, header, scale);
    }

    ScriptedUi ui;
    KeywordTable table;
    StatusLog log;
    HeaderTranslator translator;
    OutputTraceHeader header;
    double scale = 1.0;
};

// Words a translation is expected to have written; every other word must stay untouched.
using Words = std::map<int, std::int16_t>;

void expect_words(const OutputTraceHeader& header, const Words& words) {
    for (int n = 0; n <= OutputTraceHeader::last_word; ++n) {
        const auto it = words.find(n);
        EXPECT_EQ(header.word(n), it == words.end() ? untouched : it->second) << "word " << n;
    }
}

struct Row {
    const char* name;
    std::vector<Entry> table;
    std::string s;
    Words words;
    std::string log;
};

// The two log lines of a range warning for the string shown (the string less its last character).
std::string warning(const std::string& shown) {
    return "Warning- Keyword->" + shown + "<-\r\nCaused Over/Under flow set to 0\r\n";
}

void run_rows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h(row.table);
        EXPECT_EQ(h.translate(row.s), HeaderStringReceiver::Result::go_on);
        expect_words(h.header, row.words);
        EXPECT_EQ(h.log.text(), row.log);
        EXPECT_EQ(h.scale, 1.0);
        EXPECT_TRUE(h.ui.dialogs().empty());
    }
}

// Tables keep one row per line.
// clang-format off
TEST(translate_header_string, matching_and_the_no_match_line) {
    const Entry k{"K ", 1, 10, 1};
    run_rows({
        {"empty table", {}, "SAMPLE_INTERVAL 0.25\0"s, {}, "SAMPLE_INTERVAL 0.25   No Match Found \r\n"},
        {"empty string matches not even the empty keyword", {{"", 1, 10, 1}}, "", {}, "   No Match Found \r\n"},
        {"trailing blank is part of the keyword", {k}, "KK\0"s, {}, "KK   No Match Found \r\n"},
        {"value is cut by the keyword's length from the start", {{"Z ", 3, 40, 1}}, "XYZ 4 5 6\0"s, {{41, 0}, {42, 4}, {43, 5}, {44, 6}}, ""},
        {"matching entries apply until code 0", {k, {"K ", 1, 11, 2}, {"K ", 0}, {"K ", 1, 12, 3}}, "K 5\0"s, {{10, 5}, {11, 10}}, ""},
        {"empty keyword with code 0 first stops everything", {{"", 0}, k}, "K 5\0"s, {}, ""},
        {"a blank keyword matches strings with a blank", {{" ", 1, 10, 1}}, "K 7\0"s, {{10, 7}}, ""},
        {"word 0 is the scratch word", {{"K ", 1, 0, 1}}, "K 9\0"s, {{0, 9}}, ""},
    });
}

TEST(translate_header_string, code_1_writes_one_scaled_number) {
    const auto one = [](std::int32_t p2) { return std::vector<Entry>{{"K ", 1, 59, p2}}; };
    run_rows({
        {"micro from seconds", one(1000), "K 0.25\0"s, {{59, 250}}, ""},
        {"rounds to nearest", one(1), "K 0.25\0"s, {{59, 0}}, ""},
        {"2.5 rounds to 2", one(1), "K 2.5\0"s, {{59, 2}}, ""},
        {"3.5 rounds to 4", one(1), "K 3.5\0"s, {{59, 4}}, ""},
        {"no default multiplier", one(0), "K 17\0"s, {{59, 0}}, ""},
        {"only the first field", one(1), "K 12 34\0"s, {{59, 12}}, ""},
        {"no time reading", one(1), "K 10:30:00\0"s, {{59, 10}}, ""},
        {"upper end", one(1), "K 32535\0"s, {{59, 32535}}, ""},
        {"lower end", one(1), "K -32535\0"s, {{59, -32535}}, ""},
        {"inside the end before rounding", one(1), "K -32534.6\0"s, {{59, -32535}}, ""},
        {"the check is made before rounding", one(1), "K 32535.4\0"s, {{59, 0}}, warning("K 32535.4")},
        {"above the end", one(1), "K 32536\0"s, {{59, 0}}, warning("K 32536")},
        {"below the end", one(1), "K -32536\0"s, {{59, 0}}, warning("K -32536")},
        {"scaled beyond the end", one(1000000), "K 0.5\0"s, {{59, 0}}, warning("K 0.5")},
        {"infinite value", one(1), "K 1e999\0"s, {{59, 0}}, warning("K 1e999")},
        {"shows the string less its last character", one(1), "K 99999\0\0"s, {{59, 0}}, warning("K 99999")},
    });
}

TEST(translate_header_string, code_3_writes_a_list_from_the_word_after_p1) {
    const std::vector<Entry> list{{"K ", 3, 40, 1}};
    run_rows({
        {"three numbers", list, "K 1 2 3\0"s, {{41, 1}, {42, 2}, {43, 3}}, ""},
        {"several blanks between", list, "K 1   2  3\0"s, {{41, 1}, {42, 2}, {43, 3}}, ""},
        {"two blanks after the last", list, "K 1 2 3  "s, {{41, 1}, {42, 2}, {43, 3}, {44, 0}}, ""},
        {"blank and zero after the last", list, "K 1 2 3 \0"s, {{41, 1}, {42, 2}, {43, 3}, {44, 0}}, ""},
        {"empty value writes nothing", list, "K "s, {}, ""},
        {"scaled", {{"K ", 3, 40, 1000}}, "K 0.001 0.0025\0"s, {{41, 1}, {42, 2}}, ""},
        {"no default multiplier", {{"K ", 3, 40, 0}}, "K 5 6\0"s, {{41, 0}, {42, 0}}, ""},
        {"out of range inside a list", list, "K 1 40000 3\0"s, {{41, 1}, {42, 0}, {43, 3}}, warning("K 1 40000 3")},
        {"reaches word 120", {{"K ", 3, 118, 1}}, "K 1 2\0"s, {{119, 1}, {120, 2}}, ""},
    });
}

TEST(translate_header_string, codes_2_and_4_vocabularies) {
    const std::vector<Entry> sort{{"TRACE_SORT ", 2, 91}};
    const std::vector<Entry> type{{"TRACE_TYPE ", 4, 15}};
    const std::string odd = " type may yield unprocessable data\r\n";
    const std::string unsupported = " unsupported type\r\n";
    run_rows({
        {"acquired", sort, "TRACE_SORT AS_ACQUIRED\0"s, {{91, 0}}, ""},
        {"gather", sort, "TRACE_SORT CDP_GATHER\0"s, {{91, 1}}, "Warning CDP_GATHER" + odd},
        {"stack", sort, "TRACE_SORT CDP_STACK\0"s, {{91, 2}}, "Warning CDP_STACK" + odd},
        {"receiver", sort, "TRACE_SORT COMMON_RECEIVER\0"s, {{91, 3}}, "Warning COMMON_RECEIVER" + odd},
        {"source", sort, "TRACE_SORT COMMON_SOURCE\0"s, {{91, 3}}, "Warning COMMON_SOURCE" + odd},
        {"offset", sort, "TRACE_SORT COMMON_OFFSET\0"s, {{91, 3}}, "Warning COMMON_OFFSET" + odd},
        {"first listed word decides", sort, "TRACE_SORT STACK_ACQUIRED\0"s, {{91, 0}}, ""},
        {"unknown sorting", sort, "TRACE_SORT RANDOM\0"s, {{91, 0}}, "Unknown string RANDOM\r\n"},
        {"seismic", type, "TRACE_TYPE SEISMIC_DATA\0"s, {{15, 1}}, ""},
        {"dead", type, "TRACE_TYPE DEAD\0"s, {{15, 2}}, ""},
        {"test", type, "TRACE_TYPE TEST_DATA\0"s, {{15, 1}}, "Warning TEST_DATA" + unsupported},
        {"radar", type, "TRACE_TYPE RADAR_DATA\0"s, {{15, 1}}, "Warning RADAR_DATA" + unsupported},
        {"uphole", type, "TRACE_TYPE UPHOLE\0"s, {{15, 1}}, "Warning UPHOLE" + unsupported},
        {"unknown type leaves the word", type, "TRACE_TYPE NOISE\0"s, {}, "Warning NOISE unknown type\r\n"},
    });
}

TEST(translate_header_string, other_codes_are_reported_and_skipped) {
    run_rows({
        {"code 7", {{"K ", 7, 10, 1}, {"K ", 1, 11, 1}}, "K 5\0"s, {{11, 5}}, "Illegal function value  7 K \r\n"},
        {"negative code", {{"K ", -3, 10, 1}}, "K 5\0"s, {}, "Illegal function value -3 K \r\n"},
    });
}
// clang-format on

TEST(translate_header_string, code_5_sets_the_trace_scale_factor) {
    struct ScaleRow {
        std::int32_t p1;
        std::string s;
        double expected;
    };
    const ScaleRow rows[] = {
        {1000, "DESCALING_FACTOR 0.001\0"s, 1.0},
        {0, "DESCALING_FACTOR 2\0"s, 0.0},            // no default multiplier
        {1, "DESCALING_FACTOR 2 .5\0"s, 2.5},         // blanks inside are skipped
        {1, "DESCALING_FACTOR 100000\0"s, 100000.0},  // no range check
    };
    for (const ScaleRow& row : rows) {
        SCOPED_TRACE(row.s);
        Harness h({{"DESCALING_FACTOR ", 5, row.p1}});
        EXPECT_EQ(h.translate(row.s), HeaderStringReceiver::Result::go_on);
        EXPECT_DOUBLE_EQ(h.scale, row.expected);
        expect_words(h.header, {});
        EXPECT_EQ(h.log.text(), "");
    }
}

TEST(translate_header_string, range_warnings_stop_after_fifty_for_the_program_life) {
    Harness h({{"K ", 3, 0, 1}});
    std::string expected;
    for (int i = 1; i <= 49; ++i) {
        ASSERT_EQ(h.translate("K 40000\0"s), HeaderStringReceiver::Result::go_on);
        expected += warning("K 40000");
    }
    EXPECT_EQ(h.translator.range_warning_count(), 49);
    EXPECT_EQ(h.log.text(), expected);

    // One string with two values out of range: the 50th warning, the closing line, then
    // silence for the 51st.
    (void)h.translate("K 40000 -40000 7\0"s);
    expected += warning("K 40000 -40000 7") + "No futher warnings will be issued!\r\n";
    EXPECT_EQ(h.log.text(), expected);
    EXPECT_EQ(h.translator.range_warning_count(), 50);
    EXPECT_EQ(h.header.word(1), 0);
    EXPECT_EQ(h.header.word(2), 0);
    EXPECT_EQ(h.header.word(3), 7);

    // A later run (fresh header) still gets zeros, silently.
    h.header.clear();
    h.header.word(1) = untouched;
    (void)h.translate("K 40000\0"s);
    EXPECT_EQ(h.header.word(1), 0);
    EXPECT_EQ(h.log.text(), expected);
    EXPECT_EQ(h.translator.range_warning_count(), 50);
}

TEST(translate_header_string, word_outside_the_header_stops_the_run_after_a_box) {
    struct StopRow {
        const char* name;
        Entry entry;
        std::string s;
        const char* word_shown;
        Words words;  // written before the stop
    };
    const StopRow rows[] = {
        {"code 1 above", {"K ", 1, 121, 1}, "K 5\0"s, " 121,", {}},
        {"code 2", {"K ", 2, 500}, "K AS_ACQUIRED\0"s, " 500,", {}},
        {"code 4", {"K ", 4, 32767}, "K NOISE\0"s, " 32767,", {}},
        {"code 3 runs past 120", {"K ", 3, 119, 1}, "K 1 2 3\0"s, " 121,", {{120, 1}}},
        {"code 3 starts beyond 16 bits", {"K ", 3, 2147483647, 1}, "K 1\0"s, " 2147483648,", {}},
    };
    for (const StopRow& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h({row.entry, {"K ", 1, 10, 1}});
        h.ui.queue(testing::Reply::button(Answer::ok));
        EXPECT_EQ(h.translate(row.s), HeaderStringReceiver::Result::stop_run);
        ASSERT_EQ(h.ui.dialogs().size(), 1U);
        const testing::Dialog& box = h.ui.dialogs().front();
        EXPECT_EQ(box.title, "Keyword File Error");
        EXPECT_EQ(box.icon, Icon::critical);
        EXPECT_THAT(box.text, HasSubstr("\"K \""));
        EXPECT_THAT(box.text, HasSubstr(std::string("header word") + row.word_shown));
        expect_words(h.header, row.words);  // nothing outside, and no later entry applied
        EXPECT_EQ(h.log.text(), "");
    }
}

// Entries are passed over by the byte pairs their keywords hold before any search; every
// entry whose keyword occurs must still be applied, whatever bytes it holds. Random strings
// and tables over a small alphabet (blanks, tabs, zeros and bytes of 128 and above among
// them), with keywords taken from the string, the same with one byte changed, and made up,
// against a plain search of each keyword in table order.
TEST(translate_header_string, every_entry_whose_keyword_occurs_applies_whatever_its_bytes) {
    const std::string alphabet = "AB_1. \t\0\x80\xff\xe9"s;
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525U + 1013904223U;
        return (state >> 8) % below;
    };
    const auto random_text = [&](std::size_t size) {
        std::string text;
        for (std::size_t i = 0; i < size; ++i) text += alphabet[next(alphabet.size())];
        return text;
    };
    const std::size_t sizes[] = {0, 1, 2, 3, 63, 64, 65, 66, 200};
    for (int round = 0; round < 600; ++round) {
        const std::size_t size = round < 90 ? sizes[round % 9] : next(round % 2 == 0 ? 40 : 160);
        const std::string s = random_text(size);

        std::vector<Entry> entries;
        const int entry_count = 1 + static_cast<int>(next(OutputTraceHeader::last_word));
        for (int e = 0; e < entry_count; ++e) {
            std::string keyword;
            switch (next(6)) {
                case 0:  // empty, or one byte
                    keyword = random_text(next(2));
                    break;
                case 1:
                case 2:  // a part of the string
                    if (!s.empty()) {
                        const std::size_t from = next(static_cast<std::uint32_t>(s.size()));
                        keyword = s.substr(from, 1 + next(12));
                    }
                    break;
                case 3:  // a part of the string with one byte changed
                    if (!s.empty()) {
                        const std::size_t from = next(static_cast<std::uint32_t>(s.size()));
                        keyword = s.substr(from, 1 + next(12));
                        keyword[next(static_cast<std::uint32_t>(keyword.size()))] =
                            alphabet[next(alphabet.size())];
                    }
                    break;
                default:  // made up
                    keyword = random_text(2 + next(8));
                    break;
            }
            // One entry in twelve stops the string; the others write 0 to a word of their own.
            const std::int16_t code = next(12) == 0 ? 0 : 1;
            entries.push_back({keyword, code, e + 1, 0});
        }

        Words words;
        bool matched = false;
        for (const Entry& entry : entries) {
            if (s.empty() || s.find(entry.keyword) == std::string::npos) continue;
            matched = true;
            if (entry.code == 0) break;
            words[entry.p1] = 0;
        }

        SCOPED_TRACE("round " + std::to_string(round));
        Harness h(entries);
        EXPECT_EQ(h.translate(s), HeaderStringReceiver::Result::go_on);
        expect_words(h.header, words);
        std::string shown = s;  // the log leaves out zero characters
        std::erase(shown, '\0');
        EXPECT_EQ(h.log.text(), matched ? "" : shown + "   No Match Found \r\n");
    }
}

TEST(translate_header_string, entries_added_after_the_translator_was_made_are_tried) {
    Harness h({{"K ", 1, 10, 1}});
    for (int n = 0; n < 40; ++n) {
        KeywordEntry entry;
        entry.keyword = std::to_string(n);
        entry.keyword += "J ";
        entry.function_code = 1;
        entry.params[0] = 11 + n;
        entry.params[1] = 1;
        ASSERT_TRUE(h.table.add(entry));
        EXPECT_EQ(h.translate(entry.keyword + "7\0"s), HeaderStringReceiver::Result::go_on);
        EXPECT_EQ(h.header.word(11 + n), 7);
    }
    EXPECT_EQ(h.log.text(), "");
}

// A string translated again, in any order and over any header, does what a translator
// meeting it for the first time does: the same words, scale factor, log lines and result,
// whether its first translation was quiet (and so is done again from memory) or not.
TEST(translate_header_string, a_string_met_again_does_what_it_did_the_first_time) {
    const std::vector<Entry> table = {
        {"SAMPLE_INTERVAL", 1, 59, 1000000},
        {"CHANNEL_NUMBER", 1, 14, 1},
        {"RECEIVER_LOCATION", 3, 40, 1},
        {"TRACE_SORT", 2, 27, 0},
        {"TRACE_TYPE", 4, 28, 0},
        {"DESCALING_FACTOR", 5, 3, 0},
        {"NOTE", 0, 0, 0},
        {"NOTE", 1, 50, 1},
        {"ODD", 7, 0, 0},
        {"BEYOND", 1, 121, 1},
        {"STACK", 1, 31, 1},
    };
    const std::vector<std::string> strings = {
        "SAMPLE_INTERVAL 0.000250\0\0"s,
        "CHANNEL_NUMBER 7\0"s,
        "RECEIVER_LOCATION 1 2 3\0"s,
        "TRACE_SORT AS_ACQUIRED\0"s,
        "TRACE_SORT CMP GATHER\0"s,
        "TRACE_TYPE SEISMIC\0"s,
        "TRACE_TYPE UPHOLE\0"s,
        "DESCALING_FACTOR 2.5\0"s,
        "NOTE STACK 5\0"s,
        "STACK 99999\0"s,
        "ODD 1\0"s,
        "BEYOND 1\0"s,
        "NOTHING HERE\0"s,
        "CHANNEL_NUMBER 7 STACK 4\0"s,
        ""s,
    };
    ScriptedUi ui;
    const KeywordTable keywords = make_table(table);
    StatusLog log(ui);
    HeaderTranslator translator(keywords, log, ui);
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < strings.size(); ++i) {
            SCOPED_TRACE("round " + std::to_string(round) + ", string " + std::to_string(i));
            Harness fresh(table);
            const bool box = strings[i].starts_with("BEYOND");  // the stop for word 121
            if (box) {
                ui.queue(testing::Reply::button(Answer::ok));
                fresh.ui.queue(testing::Reply::button(Answer::ok));
            }
            const std::size_t boxes = ui.dialogs().size();
            OutputTraceHeader header;
            // A different header each time: a remembered effect must write its words, not
            // leave them as an earlier header had them.
            const auto fill = static_cast<std::int16_t>(100 * round + static_cast<int>(i));
            for (int n = 0; n <= OutputTraceHeader::last_word; ++n) {
                header.word(n) = fill;
                fresh.header.word(n) = fill;
            }
            double scale = 1.0 + round;
            fresh.scale = scale;
            const std::size_t logged = log.text().size();
            EXPECT_EQ(translator.header_string(strings[i], header, scale),
                      fresh.translate(strings[i]));
            for (int n = 0; n <= OutputTraceHeader::last_word; ++n) {
                EXPECT_EQ(header.word(n), fresh.header.word(n)) << "word " << n;
            }
            EXPECT_EQ(scale, fresh.scale);
            EXPECT_EQ(log.text().substr(logged), fresh.log.text());
            EXPECT_EQ(ui.dialogs().size() - boxes, box ? 1U : 0U);
            EXPECT_EQ(fresh.ui.dialogs().size(), box ? 1U : 0U);
        }
    }
}

// Files of a batch mostly hold the same strings in the same places, and a string is first
// looked for where the file before held it; strings that moved, strings never met, and more
// strings than are kept must all still translate as they do the first time.
TEST(translate_header_string, strings_in_files_that_follow_one_another_translate_alike) {
    const std::vector<Entry> table = {{"CHANNEL_NUMBER", 1, 14, 1},
                                      {"RECEIVER_LOCATION", 3, 40, 1},
                                      {"STACK", 1, 31, 1},
                                      {"DESCALING_FACTOR", 5, 3, 0}};
    const auto shot = [](int first_channel, int count) {
        std::vector<std::string> strings;
        for (int c = first_channel; c < first_channel + count; ++c) {
            strings.push_back("CHANNEL_NUMBER " + std::to_string(c) + "\0"s);
            strings.push_back("RECEIVER_LOCATION " + std::to_string(2 * c) + " 7\0"s);
            strings.push_back("DESCALING_FACTOR 0.5\0"s);
            strings.push_back("STACK 1\0"s);
        }
        return strings;
    };
    const std::vector<std::vector<std::string>> files = {
        shot(1, 24),   shot(1, 24),  // alike
        shot(3, 24),                 // every string two traces from where it was
        shot(1, 2100),               // more strings than are kept: the store empties midway
        shot(1, 24),   {},           // a file without strings
        shot(1, 24),
    };
    ScriptedUi ui;
    const KeywordTable keywords = make_table(table);
    StatusLog log(ui);
    HeaderTranslator translator(keywords, log, ui);
    Harness fresh(table);
    for (std::size_t f = 0; f < files.size(); ++f) {
        translator.file_begins();
        for (std::size_t i = 0; i < files[f].size(); ++i) {
            OutputTraceHeader header;
            double scale = 1.0;
            fresh.header = OutputTraceHeader{};
            fresh.scale = 1.0;
            ASSERT_EQ(translator.header_string(files[f][i], header, scale),
                      fresh.translate(files[f][i]));
            for (int n = 0; n <= OutputTraceHeader::last_word; ++n) {
                ASSERT_EQ(header.word(n), fresh.header.word(n))
                    << "file " << f << ", string " << i << ", word " << n;
            }
            ASSERT_EQ(scale, fresh.scale);
        }
    }
    EXPECT_EQ(log.text(), "");
}

TEST(translate_header_string, a_string_met_again_after_the_table_grew_meets_the_new_entries) {
    Harness h({{"K ", 1, 10, 1}});
    EXPECT_EQ(h.translate("K 5\0"s), HeaderStringReceiver::Result::go_on);
    KeywordEntry entry;
    entry.keyword = "5";
    entry.function_code = 1;
    entry.params[0] = 20;
    entry.params[1] = 1;
    ASSERT_TRUE(h.table.add(entry));
    EXPECT_EQ(h.translate("K 5\0"s), HeaderStringReceiver::Result::go_on);
    expect_words(h.header, {{10, 5}, {20, 5}});
    EXPECT_EQ(h.log.text(), "");
}

TEST(strip_space, removes_leading_blanks_only) {
    const std::pair<const char*, const char*> rows[] = {
        {"", ""}, {"   ", ""}, {"  a b ", "a b "}, {"a", "a"}, {"\ta", "\ta"}};
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        EXPECT_EQ(strip_space(in), out);
    }
    EXPECT_EQ(strip_space(" \0 "s), "\0 "s);
}

}  // namespace
}  // namespace quarvent
