#pragma once
// The View menu's trace display: which file it shows, how many of its traces, the window's
// title, and what the operator is told when there is nothing to show.

#include <cstdint>
#include <string>
#include <string_view>

namespace quarvent {

struct FileReport;

// A display holds at most this many traces at a time, so that its memory stays bounded
// whatever the file's size: an output file is paged through this many records at a time, a
// SEG-2 recording shows its first ones.
inline constexpr std::uint64_t trace_display_limit = 2000;

inline constexpr std::string_view view_message_title = "View";
inline constexpr std::string_view view_no_inputs_text =
    "The input list is empty. Add SEG-2 recordings with Files, Select Inputs first.";
inline constexpr std::string_view view_no_selection_text =
    "Select an input file in the list first.";
inline constexpr std::string_view view_no_output_text =
    "No output file has been chosen yet. Choose one with Files, Output first.";

// The display window's title: the file's name, then the traces (or records) shown and how
// many the file holds, e.g. "shot.dat - traces 1-24 of 24"; for a damaged recording also how
// many of them can be read, e.g. "cut.dat - traces 1-24 of 24, 14 of 24 traces readable".
std::string trace_display_title(const FileReport& report, std::uint64_t first, std::uint64_t last);

// Why path cannot be shown, for a report that gives no traces; empty when it has some.
std::string trace_display_problem(const FileReport& report);

}  // namespace quarvent
