#pragma once
// The keyword table: which SEG-2 header keywords become which output header words. The
// programs read it once at start-up from the editable keyword file and only read it
// afterwards; tests also build tables entry by entry (add), which the header translation
// allows for.
//
// Keyword file format (one entry per line, in file order):
//   - a line whose first character is '*' is a comment;
//   - every other line, an empty one included, is an entry;
//   - fields are separated by single blanks (a tab is part of a field, two blanks enclose an
//     empty field): keyword (kept with its trailing blank), function code, P1 .. P10; the
//     function code is taken only from a field that a blank ends, the last field of a line is
//     always read whole, and anything after P10 is ignored;
//   - numbers are read with read_number and rounded halves-to-even;
//   - lines end with CR LF or LF; a final line without a line end is still a line.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/enum_names.hpp"

namespace quarvent {

struct KeywordEntry {
    std::string keyword;  // up to and including its first blank; empty when the line has none
    std::int16_t function_code = 0;
    std::array<std::int32_t, 10> params{};  // P1 .. P10 at [0] .. [9]; 0 when not given

    std::int32_t p1() const { return params[0]; }
    std::int32_t p2() const { return params[1]; }
};

class KeywordTable {
public:
    // Entry numbers and the count are signed 16-bit values; the storage grows in steps of 10,
    // and 32,760 is the last count whose next step still fits.
    static constexpr std::int16_t max_entries = 32760;

    std::int16_t entry_count() const { return static_cast<std::int16_t>(entries_.size()); }
    // Entry i, 1 .. entry_count(); other numbers are a programming fault (checked, throws).
    const KeywordEntry& entry(int i) const { return entries_.at(static_cast<std::size_t>(i - 1)); }
    // All entries in table order (entry 1 first).
    std::span<const KeywordEntry> entries() const { return entries_; }

    // Appends an entry as number entry_count() + 1; false, with the table unchanged, when it
    // already holds max_entries.
    [[nodiscard]] bool add(KeywordEntry entry);

private:
    std::vector<KeywordEntry> entries_;
};

// Why a keyword file could not be loaded.
enum class KeywordFileError {
    none,
    cannot_read,             // open or read failed
    code_out_of_range,       // function code does not fit 16 bits
    parameter_out_of_range,  // a parameter does not fit 32 bits
    too_many_entries,        // a 32,761st entry line
};
constexpr std::string_view name_of(KeywordFileError error) {
    constexpr auto names = enum_names<KeywordFileError::too_many_entries>(
        "none", "cannot_read", "code_out_of_range", "parameter_out_of_range", "too_many_entries");
    return name_in(names, error);
}

struct KeywordLoadResult {
    std::optional<KeywordTable> table;  // set on success
    std::string error_title;            // else: a message box title and text that name
    std::string error_text;             //   the keyword file and the line number
    KeywordFileError error = KeywordFileError::none;
    int line_number = 0;  // 1-based line of the file where loading stopped; 0 on success
};

// Title of every message box about the keyword file.
inline constexpr const char* keyword_file_error_title = "Keyword File Error";

// Reads the keyword file at path whole. Never returns a partial table: any line that cannot
// be stored, or a failed read, gives an error and no table.
KeywordLoadResult load_keyword_table(const std::string& path);

// The message text for error (never empty for an error other than none). detail is the
// system's reason (cannot_read) or the offending field (out-of-range errors); parameter is
// the parameter's number, 1 .. 10 (parameter_out_of_range only).
std::string keyword_file_error_text(KeywordFileError error, const std::string& path,
                                    int line_number, const std::string& detail, int parameter = 0);

}  // namespace quarvent
