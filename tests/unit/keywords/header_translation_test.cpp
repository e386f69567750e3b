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

TEST(translate_header_string, matching_and_the_no_match_line) {
    const Entry k{"K ", 1, 10, 1};
    run_rows({
        {"empty table",
         {},
         "SAMPLE_INTERVAL 0.25\0"s,
         {},
         "SAMPLE_INTERVAL 0.25   No Match Found \r\n"},
        {"empty string matches not even the empty keyword",
         {{"", 1, 10, 1}},
         "",
         {},
         "   No Match Found \r\n"},
        {"keyword case matters", {k}, "k 5\0"s, {}, "k 5   No Match Found \r\n"},
        {"trailing blank is part of the keyword", {k}, "KK\0"s, {}, "KK   No Match Found \r\n"},
        {"value is cut from the start of the string by the keyword's length",
         {{"Z ", 3, 40, 1}},
         "XYZ 4 5 6\0"s,
         {{41, 0}, {42, 4}, {43, 5}, {44, 6}},
         ""},
        {"all matching entries apply until code 0",
         {{"K ", 1, 10, 1}, {"K ", 1, 11, 2}, {"K ", 0}, {"K ", 1, 12, 3}},
         "K 5\0"s,
         {{10, 5}, {11, 10}},
         ""},
        {"entries of other keywords are skipped",
         {{"A ", 1, 10, 1}, k, {"B ", 1, 12, 1}},
         "K 5\0"s,
         {{10, 5}},
         ""},
        {"empty keyword with code 0 first stops everything", {{"", 0}, k}, "K 5\0"s, {}, ""},
        {"empty keyword later still lets earlier entries apply",
         {k, {"", 0}},
         "K 5\0"s,
         {{10, 5}},
         ""},
        {"a blank keyword matches strings with a blank",
         {{" ", 1, 10, 1}},
         "K 7\0"s,
         {{10, 7}},
         ""},
        {"word 0 is the scratch word", {{"K ", 1, 0, 1}}, "K 9\0"s, {{0, 9}}, ""},
        {"word 120 is the last", {{"K ", 1, 120, 1}}, "K 9\0"s, {{120, 9}}, ""},
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
        {"negative multiplier", one(-2), "K 3\0"s, {{59, -6}}, ""},
        {"several blanks before the value", one(1), "K      42\0"s, {{59, 42}}, ""},
        {"only the first field", one(1), "K 12 34\0"s, {{59, 12}}, ""},
        {"no time reading", one(1), "K 10:30:00\0"s, {{59, 10}}, ""},
        {"day first date", one(1), "K 07/MAR/2018\0"s, {{59, 7}}, ""},
        {"not a number", one(1), "K NONE\0"s, {{59, 0}}, ""},
        {"upper end", one(1), "K 32535\0"s, {{59, 32535}}, ""},
        {"lower end", one(1), "K -32535\0"s, {{59, -32535}}, ""},
        {"inside the end before rounding", one(1), "K -32534.6\0"s, {{59, -32535}}, ""},
        {"the check is made before rounding",
         one(1),
         "K 32535.4\0"s,
         {{59, 0}},
         "Warning- Keyword->K 32535.4<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"above the end",
         one(1),
         "K 32536\0"s,
         {{59, 0}},
         "Warning- Keyword->K 32536<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"below the end",
         one(1),
         "K -32536\0"s,
         {{59, 0}},
         "Warning- Keyword->K -32536<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"half beyond the end",
         one(1),
         "K 32535.5\0"s,
         {{59, 0}},
         "Warning- Keyword->K 32535.5<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"scaled beyond the end",
         one(1000000),
         "K 0.5\0"s,
         {{59, 0}},
         "Warning- Keyword->K 0.5<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"infinite value",
         one(1),
         "K 1e999\0"s,
         {{59, 0}},
         "Warning- Keyword->K 1e999<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"infinite value times 0",
         one(0),
         "K 1e999\0"s,
         {{59, 0}},
         "Warning- Keyword->K 1e999<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"warning shows the string less its last character",
         one(1),
         "K 99999\0\0"s,
         {{59, 0}},
         "Warning- Keyword->K 99999<-\r\nCaused Over/Under flow set to 0\r\n"},
    });
}

TEST(translate_header_string, code_3_writes_a_list_from_the_word_after_p1) {
    const std::vector<Entry> list{{"K ", 3, 40, 1}};
    run_rows({
        {"three numbers", list, "K 1 2 3\0"s, {{41, 1}, {42, 2}, {43, 3}}, ""},
        {"several blanks between", list, "K 1   2  3\0"s, {{41, 1}, {42, 2}, {43, 3}}, ""},
        {"two blanks after the last", list, "K 1 2 3  "s, {{41, 1}, {42, 2}, {43, 3}, {44, 0}}, ""},
        {"blank and zero after the last",
         list,
         "K 1 2 3 \0"s,
         {{41, 1}, {42, 2}, {43, 3}, {44, 0}},
         ""},
        {"one number", list, "K -7.5\0\0"s, {{41, -8}}, ""},
        {"empty value writes nothing", list, "K "s, {}, ""},
        {"scaled", {{"K ", 3, 40, 1000}}, "K 0.001 0.0025\0"s, {{41, 1}, {42, 2}}, ""},
        {"no default multiplier", {{"K ", 3, 40, 0}}, "K 5 6\0"s, {{41, 0}, {42, 0}}, ""},
        {"out of range inside a list",
         list,
         "K 1 40000 3\0"s,
         {{41, 1}, {42, 0}, {43, 3}},
         "Warning- Keyword->K 1 40000 3<-\r\nCaused Over/Under flow set to 0\r\n"},
        {"reaches word 120", {{"K ", 3, 118, 1}}, "K 1 2\0"s, {{119, 1}, {120, 2}}, ""},
    });
}

TEST(translate_header_string, code_2_sorting_vocabulary) {
    const std::vector<Entry> sort{{"TRACE_SORT ", 2, 91}};
    const char* tail = " type may yield unprocessable data\r\n";
    run_rows({
        {"acquired", sort, "TRACE_SORT AS_ACQUIRED\0"s, {{91, 0}}, ""},
        {"gather", sort, "TRACE_SORT CDP_GATHER\0"s, {{91, 1}}, "Warning CDP_GATHER"s + tail},
        {"stack", sort, "TRACE_SORT CDP_STACK\0"s, {{91, 2}}, "Warning CDP_STACK"s + tail},
        {"receiver",
         sort,
         "TRACE_SORT COMMON_RECEIVER\0"s,
         {{91, 3}},
         "Warning COMMON_RECEIVER"s + tail},
        {"source", sort, "TRACE_SORT COMMON_SOURCE\0"s, {{91, 3}}, "Warning COMMON_SOURCE"s + tail},
        {"offset", sort, "TRACE_SORT COMMON_OFFSET\0"s, {{91, 3}}, "Warning COMMON_OFFSET"s + tail},
        {"first listed word decides", sort, "TRACE_SORT STACK_ACQUIRED\0"s, {{91, 0}}, ""},
        {"case sensitive",
         sort,
         "TRACE_SORT as_acquired\0"s,
         {{91, 0}},
         "Unknown string as_acquired\r\n"},
        {"unknown", sort, "TRACE_SORT RANDOM\0"s, {{91, 0}}, "Unknown string RANDOM\r\n"},
    });
}

TEST(translate_header_string, code_4_trace_type_vocabulary) {
    const std::vector<Entry> type{{"TRACE_TYPE ", 4, 15}};
    run_rows({
        {"seismic", type, "TRACE_TYPE SEISMIC_DATA\0"s, {{15, 1}}, ""},
        {"dead", type, "TRACE_TYPE DEAD\0"s, {{15, 2}}, ""},
        {"test",
         type,
         "TRACE_TYPE TEST_DATA\0"s,
         {{15, 1}},
         "Warning TEST_DATA unsupported type\r\n"},
        {"radar",
         type,
         "TRACE_TYPE RADAR_DATA\0"s,
         {{15, 1}},
         "Warning RADAR_DATA unsupported type\r\n"},
        {"uphole", type, "TRACE_TYPE UPHOLE\0"s, {{15, 1}}, "Warning UPHOLE unsupported type\r\n"},
        {"unknown leaves the word",
         type,
         "TRACE_TYPE NOISE\0"s,
         {},
         "Warning NOISE unknown type\r\n"},
    });
}

TEST(translate_header_string, code_5_sets_the_trace_scale_factor) {
    struct ScaleRow {
        const char* name;
        std::int32_t p1;
        std::string s;
        double expected;
    };
    const ScaleRow rows[] = {
        {"thousandths times 1000", 1000, "DESCALING_FACTOR 0.001\0"s, 1.0},
        {"as written", 1, "DESCALING_FACTOR        2.14815e-05\0"s, 2.14815e-05},
        {"no default multiplier", 0, "DESCALING_FACTOR 2\0"s, 0.0},
        {"blanks inside are skipped", 1, "DESCALING_FACTOR 2 .5\0"s, 2.5},
        {"beyond the 16-bit range is no warning", 1, "DESCALING_FACTOR 100000\0"s, 100000.0},
    };
    for (const ScaleRow& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h({{"DESCALING_FACTOR ", 5, row.p1}});
        EXPECT_EQ(h.translate(row.s), HeaderStringReceiver::Result::go_on);
        EXPECT_DOUBLE_EQ(h.scale, row.expected);
        expect_words(h.header, {});
        EXPECT_EQ(h.log.text(), "");
    }
}

TEST(translate_header_string, other_codes_are_reported_and_skipped) {
    run_rows({
        {"code 7",
         {{"K ", 7, 10, 1}, {"K ", 1, 11, 1}},
         "K 5\0"s,
         {{11, 5}},
         "Illegal function value  7 K \r\n"},
        {"negative code", {{"K ", -3, 10, 1}}, "K 5\0"s, {}, "Illegal function value -3 K \r\n"},
    });
}

TEST(translate_header_string, range_warnings_stop_after_fifty_for_the_program_life) {
    Harness h({{"K ", 3, 0, 1}});
    const std::string warning =
        "Warning- Keyword->K 40000<-\r\nCaused Over/Under flow set to 0\r\n";
    std::string expected;
    for (int i = 1; i <= 49; ++i) {
        ASSERT_EQ(h.translate("K 40000\0"s), HeaderStringReceiver::Result::go_on);
        expected += warning;
    }
    EXPECT_EQ(h.translator.range_warning_count(), 49);
    EXPECT_EQ(h.log.text(), expected);

    // One string with two values out of range: the 50th warning, the closing line, then
    // silence for the 51st.
    (void)h.translate("K 40000 -40000 7\0"s);
    expected += "Warning- Keyword->K 40000 -40000 7<-\r\nCaused Over/Under flow set to 0\r\n";
    expected += "No futher warnings will be issued!\r\n";
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
        {"code 1 below", {"K ", 1, -1, 1}, "K 5\0"s, "-1,", {}},
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
