// The keyword file loader on any file, and the header string translation on whatever table
// it loads.
//
// A file either loads whole or gives an error with a message; a loaded table holds one entry
// per line that is not a comment, in file order, each keyword being its line up to and
// including the first blank. The translation must then cope with any table: word numbers
// out of range, illegal function codes, empty keywords.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status_log.hpp"
#include "common/trace_header.hpp"
#include "fuzz/fuzz_support.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"

namespace {

using namespace quarvent;
using namespace std::string_view_literals;

// The file's entry lines, read apart from the loader: lines end at LF, a CR before the LF is
// not part of the line, a last line without its line end counts unless it is empty or a
// lone CR, and lines that begin with '*' are comments.
std::vector<std::string_view> entry_lines(std::string_view file) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= file.size()) {
        const std::size_t end = file.find('\n', start);
        const bool last = end == std::string_view::npos;
        std::string_view line = file.substr(start, (last ? file.size() : end) - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!(last && line.empty()) && (line.empty() || line.front() != '*')) {
            lines.push_back(line);
        }
        if (last) break;
        start = end + 1;
    }
    return lines;
}

// Header strings as files hold them: keyword, value, terminating zero.
constexpr std::string_view header_strings[] = {
    "SAMPLE_INTERVAL 0.00025\0"sv,
    "CHANNEL_NUMBER 7\0\0"sv,
    "SOURCE_LOCATION 1.5 -2 300 4 5 6\0"sv,
    "TRACE_TYPE SEISMIC_DATA\0"sv,
    "TRACE_SORT AS_ACQUIRED\0"sv,
    "DESCALING_FACTOR 2.5E-3\0"sv,
    "NOTE line 1 shot 2\0"sv,
    " \0"sv,
    ""sv,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::ScratchFile file;
    file.assign(std::span(data, size));
    const KeywordLoadResult loaded = load_keyword_table(file.path());

    if (!loaded.table) {
        FUZZ_CHECK(loaded.error != KeywordFileError::none, "no table and no error");
        FUZZ_CHECK(loaded.error_title == keyword_file_error_title, loaded.error_title);
        FUZZ_CHECK(!loaded.error_text.empty(), "an error without a message");
        FUZZ_CHECK(loaded.line_number >= 1, "an error without its line");
        return 0;
    }
    FUZZ_CHECK(loaded.error == KeywordFileError::none, "a table and an error");
    const KeywordTable& table = *loaded.table;

    const std::vector<std::string_view> lines =
        entry_lines(std::string_view(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(static_cast<std::size_t>(table.entry_count()) == lines.size(),
               std::to_string(table.entry_count()) + " entries from " +
                   std::to_string(lines.size()) + " entry lines");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t blank = lines[i].find(' ');
        const std::string_view keyword =
            blank == std::string_view::npos ? std::string_view() : lines[i].substr(0, blank + 1);
        FUZZ_CHECK(table.entries()[i].keyword == keyword, "entry " + std::to_string(i + 1) +
                                                              " has the keyword \"" +
                                                              table.entries()[i].keyword + "\"");
    }

    fuzzing::SilentUi ui;
    StatusLog log(ui);
    HeaderTranslator translator(table, log, ui);
    OutputTraceHeader header;
    double trace_scale_factor = 1.0;
    for (std::string_view s : header_strings) {
        const int boxes_before = ui.message_boxes();
        const auto result = translator.translate_header_string(s, header, trace_scale_factor);
        // A stop always comes with a message box that says why.
        if (result == HeaderStringReceiver::Result::stop_run) {
            FUZZ_CHECK(ui.message_boxes() == boxes_before + 1, "a stop without its message");
        }
    }
    FUZZ_CHECK(log.text().find('\0') == std::string::npos, "a NUL in the status log");
    return 0;
}
