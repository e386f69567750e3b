#pragma once
// The Convert command: the checks and confirmations, the starting SSN, then every input file
// in list order, trace by trace, each converted trace appended to the one output file, with
// the status log.
//
// A run only ever appends whole records to the output; an output file that the run created
// and wrote nothing into is removed at its end. An input is deleted (when asked) only after
// every one of its traces, at least one, was written and the output was flushed to disk, and
// only while its path still names the file that was read.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/conversion_options.hpp"
#include "common/header_string_receiver.hpp"
#include "common/status_log.hpp"
#include "common/ui_port.hpp"
#include "engine/output_file.hpp"

namespace quarvent {

// What a run did, counted as it goes; a stopped run counts up to its stop.
struct RunTally {
    int files_complete = 0;    // every trace of the file was written (at least one)
    int files_incomplete = 0;  // files whose turn ended with a trace or the whole file skipped
    long long traces_written = 0;
    std::vector<std::size_t> deleted_inputs;  // indices into RunRequest::inputs, ascending
};

struct RunRequest {
    std::vector<std::string> inputs;  // the List1 entries, full paths, in list order
    std::string output_file_name;
    ConversionOptions options;
    // Local time of day as "hh:mm:ss"; tests replace it. Empty function = the real clock.
    std::function<std::string()> time_of_day;
    // The system calls the output file is written and closed with; tests replace them.
    OutputSystemCalls output_calls = OutputSystemCalls::real();
    // true: when the output already holds records, the SSN prompt proposes the number after
    // the last record's SSN, so that appending does not repeat one by accident. false: it
    // always proposes 1.
    bool propose_next_ssn = false;
    // Filled in during the run when given.
    RunTally* tally = nullptr;
};

enum class RunOutcome {
    completed,       // the run reached its normal end
    ended_at_check,  // a check failed or the operator refused; nothing was converted
    stopped,         // the run stopped part way; the records written stay in the output
};

// The whole Convert command: checks, confirmations, SSN prompt, every file and trace.
// UiPort::yield_events returning false stops the run after the record just written.
RunOutcome convert_run(const RunRequest& request, UiPort& ui, StatusLog& log,
                       HeaderStringReceiver& header_strings);

// The local time of day as hh:mm:ss on the 24-hour clock.
std::string local_time_of_day();

void PrintTo(RunOutcome outcome, std::ostream* os);

}  // namespace quarvent
