#pragma once
// The run log: a plain text record of one conversion, appended to a file beside the output
// (or where the operator names it): a header with the date, the program, the output, the
// options and the keyword file; then the whole status log of the run, however often the
// window's copy was emptied; then a summary with every file that was kept and why, the
// traces, bytes and SSNs written, and how the run ended. The desktop window and
// quarvent-batch both build it here, so the text is the same from both but for the
// program's name.

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/conversion_options.hpp"
#include "common/ui_port.hpp"
#include "engine/conversion_run.hpp"
#include "engine/output_file.hpp"

namespace quarvent {

// The version both programs report.
std::string_view program_version();

// The local date and time as "YYYY-MM-DD hh:mm:ss".
std::string local_date_and_time();

// Where the window writes the run log of output: "<output>.log" beside it.
std::string run_log_path_for(std::string_view output);

struct RunLogHeader {
    std::string date_time;  // "YYYY-MM-DD hh:mm:ss"
    std::string program;    // "quarvent" or "quarvent-batch"
    std::string output;
    ConversionOptions options;
    // The sample interval given before the run for traces that state none, as the operator
    // gave it (ms); empty: asked at the first such trace.
    std::string manual_interval_ms;
    std::string keyword_file;
};
std::string run_log_header_text(const RunLogHeader& header);

// How a run ended, for the summary.
struct RunEnding {
    enum class Kind { completed, stopped_by_operator, ended_at_check };
    Kind kind = Kind::completed;
    std::string message;  // ended_at_check: the title of the message or prompt that ended it
};
// The ending of a run from its outcome: a stop the operator asked for, or else the check
// whose message (or prompt) came last.
RunEnding run_ending(RunOutcome outcome, bool operator_stop, std::string_view last_title);
std::string ending_text(const RunEnding& ending);

// An input the run did not convert and delete as asked: not SEG-2, partly converted,
// not reached, or kept for another reason.
struct KeptFile {
    std::string path;
    std::string reason;  // in a few words: "not SEG-2", "trace 15 truncated (...)"
    bool not_seg2 = false;
};
std::vector<KeptFile> kept_files(const RunReport& report);

std::string run_log_summary_text(const RunReport& report, const RunEnding& ending);

// The whole entry of one run: header, the status log (line breaks as this system writes
// them), summary.
std::string run_log_text(const RunLogHeader& header, std::string_view status_log,
                         const RunReport& report, const RunEnding& ending);

// Appends text to the file at path through the checked writes of the output file: only
// whole blocks reach it, and a failed write is cut back and reported.
std::error_code append_run_log(const std::string& path, std::string_view text,
                               const OutputSystemCalls& calls = OutputSystemCalls::real());

// Writes text to the file at path, replacing what it held, with its line breaks as this
// system writes them. Returns the reason when any part of it could not be written.
std::error_code save_text_file(const std::string& path, std::string_view text);

// The options that differ from their start-up values, for the status bar:
// "2:1 · record 500 ms · Delete Input Files"; empty when all are at their defaults. The
// separator is given so that a window can use its own character set.
std::string options_in_force_text(const ConversionOptions& options, std::string_view separator);

}  // namespace quarvent
