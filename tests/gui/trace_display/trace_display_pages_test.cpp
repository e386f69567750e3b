// Paging through a whole QEX output: pages by record range and by SSN, with memory that stays
// that of one page.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <string>

#include "common/header_string_receiver.hpp"
#include "inspect/section_loader.hpp"
#include "qt/trace_display_window.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

// Under the address sanitizer, freed memory is held back in a quarantine (256 MB by default)
// before it is reused, which would read as growth between pages; a small one lets the peak
// show what the window holds.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=4"; }

namespace quarvent {
namespace {

using ::testing::HasSubstr;

constexpr std::uint64_t records = 10000;
constexpr std::uint64_t per_shot = 24;
constexpr std::uint64_t page = 2000;

// The process's peak resident memory so far, in kB.
long peak_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

TEST(trace_display_pages, page_through_a_whole_output_in_flat_memory) {
    const testing::TempDir dir;
    const std::string path = dir.file("day.qex");
    // 10,000 records of 1,000 samples: 42 MB, five times the page of 2,000 records.
    testing::write_qex_output(
        path, {.records = records, .samples = 1000, .per_shot = per_shot, .first_ssn = 101});
    IgnoreHeaderStrings no_translation;
    const FileReport report = read_file_report(path, no_translation);
    auto pages = std::make_unique<FileSectionPages>(report, no_translation, page);
    ASSERT_EQ(pages->problem(), "");
    ASSERT_EQ(pages->count(), records);
    // The index: one offset a record, and one entry a shot.
    EXPECT_EQ(pages->index().offsets.size(), records);
    EXPECT_EQ(pages->index().ssn_runs.size(), (records + per_shot - 1) / per_shot);

    TraceDisplayWindow window(std::move(pages), page);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const long first_peak_kb = peak_kb();

    struct Step {
        const char* name;
        void (*go)(TraceDisplayWindow& window);
        std::uint64_t first;
        std::uint64_t shown;
    };
    const Step steps[] = {
        {"first page", [](TraceDisplayWindow&) {}, 1, page},
        {"next page",
         [](TraceDisplayWindow& w) { w.findChild<QAction*>("nextPageAction")->trigger(); }, 2001,
         page},
        {"a middle record", [](TraceDisplayWindow& w) { EXPECT_TRUE(w.go_to_record(5000)); }, 4001,
         page},
        {"the last record", [](TraceDisplayWindow& w) { EXPECT_TRUE(w.go_to_record(records)); },
         8001, page},
        {"next page past the end does nothing", [](TraceDisplayWindow& w) { w.next_page(); }, 8001,
         page},
        {"previous page",
         [](TraceDisplayWindow& w) { w.findChild<QAction*>("previousPageAction")->trigger(); },
         6001, page},
        // Shot 300 is the 200th: its first record is 199 * 24 + 1.
        {"go to SSN", [](TraceDisplayWindow& w) { EXPECT_TRUE(w.go_to_ssn(300)); }, 4777, page},
        {"go to the last SSN", [](TraceDisplayWindow& w) { EXPECT_TRUE(w.go_to_ssn(517)); }, 9985,
         16},
        {"an SSN no record has", [](TraceDisplayWindow& w) { EXPECT_FALSE(w.go_to_ssn(99)); }, 9985,
         16},
        {"a record past the end", [](TraceDisplayWindow& w) { EXPECT_FALSE(w.go_to_record(0)); },
         9985, 16},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.go(window);
        ASSERT_EQ(window.page_first(), step.first);
        const render::Section& shown = window.section();
        ASSERT_EQ(shown.traces.size(), step.shown);
        // Each record on show is the record of its number, read from its own offset.
        for (const std::size_t i : {std::size_t{0}, shown.traces.size() - 1}) {
            const render::SectionTrace& trace = shown.traces[i];
            const std::uint64_t number = step.first + i;
            EXPECT_EQ(trace.number, number);
            EXPECT_FALSE(trace.missing);
            EXPECT_EQ(trace.word(92), static_cast<int>(101 + (number - 1) / per_shot));
            EXPECT_EQ(trace.word(8), static_cast<int>((number - 1) % per_shot + 1));
            EXPECT_EQ(trace.samples[number % 1000], static_cast<float>(number));
        }
        EXPECT_THAT(window.windowTitle().toStdString(),
                    HasSubstr("day.qex - records " + std::to_string(step.first) + "-" +
                              std::to_string(step.first + step.shown - 1) + " of 10000"));
        (void)window.picture();
    }
    // The header panel names the words the record writer sets.
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("headerTable"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->verticalHeaderItem(59 - 1)->text(), QStringLiteral("59 sample interval (µs)"));
    EXPECT_EQ(table->verticalHeaderItem(92 - 1)->text(), QStringLiteral("92 SSN"));
    EXPECT_EQ(table->verticalHeaderItem(17 - 1)->text(), QStringLiteral("17"));

    // Holding every record would take 40 MB more than one page; paging keeps to one page.
    EXPECT_LT(peak_kb() - first_peak_kb, 16 * 1024);
}

TEST(trace_display_pages, missing_traces_are_counted_and_explained) {
    render::Section section;
    for (int t = 1; t <= 24; ++t) {
        render::SectionTrace& trace = section.traces.emplace_back();
        trace.number = static_cast<std::uint64_t>(t);
        trace.set_word(8, static_cast<std::int16_t>(t));
        if (t > 14) {
            trace.missing = true;
            trace.missing_reason = "truncated trace " + std::to_string(t) + " Skipping";
        } else {
            trace.samples.assign(100, 0.0f);
        }
    }
    TraceDisplayWindow window(
        std::make_unique<render::MemoryPages>(std::move(section), "trace", "/data/cut.dat"), 2000);
    EXPECT_EQ(window.windowTitle(), "cut.dat - traces 1-24 of 24, 14 of 24 traces readable");
    EXPECT_EQ(window.suggested_png_path(), "/data/cut-wiggle.png");
}

}  // namespace
}  // namespace quarvent
