#include "keywords/keyword_table.hpp"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

#include "common/byte_source.hpp"
#include "common/numbers.hpp"

namespace quarvent {

bool KeywordTable::add(KeywordEntry entry) {
    if (entries_.size() >= static_cast<std::size_t>(max_entries)) return false;
    entries_.push_back(std::move(entry));
    return true;
}

std::string keyword_file_error_text(KeywordFileError error, const std::string& path,
                                    int line_number, const std::string& detail, int parameter) {
    const std::string where =
        "In the keyword file " + path + ", line" + number_text(line_number) + " holds";
    std::string text;
    switch (error) {
        case KeywordFileError::none:
            return {};
        case KeywordFileError::cannot_read:
            text = "The keyword file " + path + " could not be read at line" +
                   number_text(line_number) + ":" + std::string(line_break) + detail + ".";
            break;
        case KeywordFileError::code_out_of_range:
            text = where + " the function code " + detail + ", which is outside -32768 to 32767.";
            break;
        case KeywordFileError::parameter_out_of_range:
            text = where + " the parameter P" + std::to_string(parameter) + " = " + detail +
                   ", which is outside -2147483648 to 2147483647.";
            break;
        case KeywordFileError::too_many_entries:
            text = "The keyword file " + path + " holds more than" +
                   number_text(static_cast<int>(KeywordTable::max_entries)) + " entries: line" +
                   number_text(line_number) + " would be entry" +
                   number_text(static_cast<int>(KeywordTable::max_entries) + 1) + ".";
            break;
    }
    if (text.empty()) return "Unknown keyword file error at line" + number_text(line_number) + ".";
    return text + std::string(line_break) + "Correct the keyword file and start the program again.";
}

namespace {

// Why one line could not be stored.
struct LineFault {
    KeywordFileError error;
    std::string field;  // the offending field, without its ending blank
    int parameter = 0;
};

std::string_view without_end_blank(std::string_view field) {
    if (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    return field;
}

// Splits one entry line into its fields. The function code comes only from a field that a
// blank ends; each parameter field ends at a blank, except the last field of the line, which
// is read whole.
std::variant<KeywordEntry, LineFault> parse_entry(std::string_view line) {
    KeywordEntry entry;
    std::string_view rest = line;

    const std::size_t a = rest.find(' ');
    if (a != std::string_view::npos) {
        entry.keyword.assign(rest.substr(0, a + 1));
        rest.remove_prefix(a + 1);
    }

    const std::size_t b = rest.find(' ');
    if (b != std::string_view::npos) {
        const std::string_view field = rest.substr(0, b + 1);
        const auto code = to_int16(read_number(field));
        if (!code) {
            return LineFault{KeywordFileError::code_out_of_range,
                             std::string(without_end_blank(field))};
        }
        entry.function_code = *code;
        rest.remove_prefix(b + 1);
    }

    for (std::size_t i = 0; i < entry.params.size(); ++i) {
        const std::size_t c = rest.find(' ');
        std::string_view field;
        if (c != std::string_view::npos) {
            field = rest.substr(0, c + 1);
        } else if (!rest.empty()) {
            field = rest;
        } else {
            break;
        }
        const auto value = to_int32(read_number(field));
        if (!value) {
            return LineFault{KeywordFileError::parameter_out_of_range,
                             std::string(without_end_blank(field)), static_cast<int>(i) + 1};
        }
        entry.params[i] = *value;
        if (c == std::string_view::npos) break;
        rest.remove_prefix(c + 1);
    }
    return entry;
}

KeywordLoadResult failure(KeywordFileError error, const std::string& path, int line_number,
                          const std::string& detail, int parameter = 0) {
    KeywordLoadResult result;
    result.error = error;
    result.line_number = line_number;
    result.error_title = keyword_file_error_title;
    result.error_text = keyword_file_error_text(error, path, line_number, detail, parameter);
    return result;
}

}  // namespace

KeywordLoadResult load_keyword_table(const std::string& path) {
    FileSource file;
    if (const std::error_code reason = file.open(path)) {
        return failure(KeywordFileError::cannot_read, path, 1, reason.message());
    }

    KeywordTable table;
    int line_number = 0;
    std::string line;
    std::optional<KeywordLoadResult> fault;

    // Takes one complete line (its line end removed); sets fault when it cannot be stored.
    const auto take_line = [&](std::string_view text) {
        ++line_number;
        if (!text.empty() && text.front() == '*') return;
        if (table.entry_count() >= KeywordTable::max_entries) {
            fault = failure(KeywordFileError::too_many_entries, path, line_number, {});
            return;
        }
        auto parsed = parse_entry(text);
        if (auto* bad = std::get_if<LineFault>(&parsed)) {
            fault = failure(bad->error, path, line_number, bad->field, bad->parameter);
            return;
        }
        (void)table.add(std::move(std::get<KeywordEntry>(parsed)));
    };

    // Read in chunks so that a large file (comment lines are unlimited) is never held whole.
    constexpr std::uint64_t chunk_size = 64 * 1024;
    std::vector<std::uint8_t> chunk;
    const std::uint64_t size = file.size();
    for (std::uint64_t offset = 0; offset < size && !fault; offset += chunk.size()) {
        chunk.resize(static_cast<std::size_t>(std::min(chunk_size, size - offset)));
        if (!file.read_at(offset, chunk)) {
            return failure(KeywordFileError::cannot_read, path, line_number + 1,
                           std::make_error_code(std::errc::io_error).message());
        }
        for (const std::uint8_t byte : chunk) {
            if (byte != '\n') {
                line.push_back(static_cast<char>(byte));
                continue;
            }
            // CR LF and LF both end a line; a CR elsewhere stays in the line.
            if (!line.empty() && line.back() == '\r') line.pop_back();
            take_line(line);
            line.clear();
            if (fault) break;
        }
    }
    if (fault) return std::move(*fault);

    // The last line may lack its line end. A lone CR there is a cut-off line end rather than
    // an empty line, which would make an entry that matches every header string.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) {
        take_line(line);
        if (fault) return std::move(*fault);
    }

    KeywordLoadResult result;
    result.table = std::move(table);
    return result;
}

}  // namespace quarvent
