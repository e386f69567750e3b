#pragma once
// The Convert command: the checks and confirmations, the starting SSN, then every input file
// in list order, trace by trace, each converted trace appended to the one output file, with
// the status log.
//
// A run only ever appends whole records to the output; an output file that the run created
// and wrote nothing into is removed at its end. Before anything is written, an existing
// output is locked against other conversions and walked record by record: a file that is not
// QEX is refused untouched, and one that ends in part of a record is cut back to its last
// whole record only when the operator says so. An input is deleted (when asked) only after
// every one of its traces, at least one, was written and the output was flushed to disk, and
// only while its path still names the file that was read.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/conversion_options.hpp"
#include "common/enum_names.hpp"
#include "common/header_string_receiver.hpp"
#include "common/status_log.hpp"
#include "common/ui_port.hpp"
#include "engine/output_file.hpp"

namespace quarvent {

struct RunRequest {
    std::vector<std::string> inputs;  // the List1 entries, full paths, in list order
    std::string output_file_name;
    ConversionOptions options;
    // Local time of day as "hh:mm:ss"; tests replace it. Empty function = the real clock.
    std::function<std::string()> time_of_day;
    // The system calls the output file is written and closed with; tests replace them.
    OutputSystemCalls output_calls = OutputSystemCalls::real();
    // The checks that would otherwise end the whole run because of one file (too many
    // samples, a record that cannot hold the trace's length or interval, a pointer table
    // shorter than the trace count) end only that file's turn: its remaining traces are
    // skipped, the log says so, the file is kept, and the run goes on with the next file.
    bool keep_going = false;
    // Everything is checked and every trace read and decoded as in a run, but the output is
    // neither created nor written (records are only counted) and no input is deleted.
    bool dry_run = false;
    // true: when the output already holds records, the SSN prompt proposes the number after
    // the last whole record's SSN, so that appending does not repeat one by accident. false:
    // it always proposes 1.
    bool propose_next_ssn = false;
};

enum class RunOutcome {
    completed,       // the run reached its normal end
    ended_at_check,  // a check failed or the operator refused; nothing was converted
    stopped,         // the run stopped part way; the records written stay in the output
};
constexpr std::string_view name_of(RunOutcome outcome) {
    constexpr auto names =
        enum_names<RunOutcome::stopped>("completed", "ended_at_check", "stopped");
    return name_in(names, outcome);
}

// How far one input got.
enum class InputStatus {
    converted,    // every trace, at least one, written
    partial,      // read as SEG-2, but not every trace written (or it holds none)
    skipped,      // not opened, not SEG-2, or its pointer table is short: no trace read
    not_reached,  // the run ended before its turn
};
// The status's name, also its text in the batch program's JSON report.
constexpr std::string_view name_of(InputStatus status) {
    constexpr auto names =
        enum_names<InputStatus::not_reached>("converted", "partial", "skipped", "not_reached");
    return name_in(names, status, "unknown");
}

struct InputResult {
    std::string path;
    InputStatus status = InputStatus::not_reached;
    int traces_written = 0;
    int traces_skipped = 0;  // of the file's trace count, those not written
    // Word 92 of the first and last record written from this input.
    std::optional<std::int16_t> first_ssn;
    std::optional<std::int16_t> last_ssn;
    bool deleted = false;
    std::string reason;  // why it is short of converted; empty when converted
    // Skipped because it is not a SEG-2 file.
    bool not_seg2 = false;
    // The first trace skipped and why ("trace 15 truncated"); empty when none was.
    std::string first_skip;
};

struct RunReport {
    RunOutcome outcome = RunOutcome::ended_at_check;
    std::vector<InputResult> inputs;  // one per input, in list order (empty at a check)
    std::uint64_t bytes_written = 0;  // record bytes that reached the output (or would have)
    // The SSN the next file would have received; none once a file has used SSN 32767.
    std::optional<std::int16_t> next_ssn;
};

// The reason given for a converted input that was kept because its file was written to or
// replaced after its conversion: what the path names now was never converted.
inline constexpr std::string_view changed_after_conversion = "changed after it was converted; kept";

// What a run's report adds up to: its inputs by status, their traces, and the SSNs of the
// first and last files that received records.
struct RunTotals {
    int converted = 0;
    int partial = 0;
    int skipped = 0;
    int not_reached = 0;
    long long traces_written = 0;
    long long traces_skipped = 0;
    std::optional<std::int16_t> first_ssn;
    std::optional<std::int16_t> last_ssn;
};
RunTotals run_totals(const RunReport& report);

// The refusal of an existing output that is not a QEX file (reason: why not, for a person;
// may be empty). The run shows it, and so does the window when such a file is chosen.
MessageBoxRequest output_not_qex_message(const std::string& path, const std::string& reason);

// The whole Convert command, with what became of every input.
RunReport convert_run_reporting(const RunRequest& request, UiPort& ui, StatusLog& log,
                                HeaderStringReceiver& header_strings);

// The whole Convert command: checks, confirmations, SSN prompt, every file and trace.
// UiPort::yield_events returning false stops the run after the record just written.
RunOutcome convert_run(const RunRequest& request, UiPort& ui, StatusLog& log,
                       HeaderStringReceiver& header_strings);

// The local time of day as hh:mm:ss on the 24-hour clock.
std::string local_time_of_day();

}  // namespace quarvent
