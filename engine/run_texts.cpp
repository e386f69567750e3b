#include "engine/run_texts.hpp"

#include <initializer_list>

#include "common/numbers.hpp"
#include "engine/conversion_run.hpp"

namespace quarvent {

namespace {

std::string lines(std::initializer_list<std::string_view> parts) {
    std::string text;
    bool first = true;
    for (std::string_view part : parts) {
        if (!first) text += line_break;
        text += part;
        first = false;
    }
    return text;
}

constexpr std::string_view ssn_title = "SSN Out Of Range";

}  // namespace

MessageBoxRequest no_output_message() {
    return {
        Dialog::no_output,
        lines({"No Output file selected.", "Please selected an output file under", "Files menu."}),
        "No Output File Selected", Buttons::ok, Icon::information};
}

MessageBoxRequest no_input_message() {
    return {Dialog::no_input,
            lines({"No Input file(s) selected.", "Please selected an input file(s) under",
                   "Files menu."}),
            "No Input File Selected", Buttons::ok, Icon::information};
}

MessageBoxRequest share_message() {
    return {Dialog::input_output_share, "Output file can not be an input file also.",
            "Input/Output Share Error", Buttons::ok, Icon::critical};
}

MessageBoxRequest not_found_message(const std::string& missing) {
    std::string text = "The following files not found:";
    text += line_break;
    text += missing;
    text += "Can not Continue.";
    return {Dialog::files_not_found, text, "Files Not Found", Buttons::ok, Icon::information};
}

// "exisits" and "all ready" are the message's long-standing spelling, kept as operators know it.
MessageBoxRequest appending_message() {
    return {Dialog::appending,
            lines({"Warning-Output file all ready exisits.",
                   "converted data will be appended to end!"}),
            "Appending Data", Buttons::ok_cancel, Icon::question};
}

MessageBoxRequest deletion_message() {
    return {Dialog::delete_inputs,
            lines({"WARNING:  Automatic input file deletion selected!", "Ok to proceed?"}),
            "Input Files Will Be Deleted", Buttons::yes_no, Icon::question};
}

MessageBoxRequest output_open_message(const std::error_code& reason) {
    std::string text = lines({"I'm sorry there was an error while attempting to open",
                              "the output file. Make sure it is not in use by",
                              "other programs. Error message ="});
    text += line_break;
    text += reason.message();
    text += line_break;
    return {Dialog::output_open_error, text, "QUARVENT FILE-ERROR", Buttons::ok, Icon::critical};
}

MessageBoxRequest output_in_use_message(const std::string& path) {
    return {Dialog::output_in_use, path + " is being written by another conversion",
            "Output File In Use", Buttons::ok, Icon::critical};
}

MessageBoxRequest partial_record_message(const std::string& path, const QexWalk& walk) {
    std::string text = path;
    text += " ends in part of a record (";
    text += describe(walk.stop);
    text += ").";
    text += line_break;
    text += "Cut the file back to its last whole record? ";
    text += std::to_string(walk.records);
    text += walk.records == 1 ? " record (" : " records (";
    text += std::to_string(walk.whole_bytes);
    text += " bytes) stay and ";
    text += std::to_string(walk.file_bytes - walk.whole_bytes);
    text += " bytes go.";
    text += line_break;
    text += "No: nothing is cut and nothing is written.";
    return {Dialog::partial_record, text, "Partial Record at End of Output", Buttons::yes_no,
            Icon::exclamation};
}

MessageBoxRequest ssn_answer_out_of_range_message(const std::string& answer) {
    std::string text = "The starting SSN must lie between -32768 and 32767.";
    text += line_break;
    text += "Entered value = ";
    text += answer;
    return {Dialog::ssn_out_of_range, text, std::string(ssn_title), Buttons::ok, Icon::exclamation};
}

MessageBoxRequest ssn_exhausted_message(std::string_view next_path) {
    std::string text = "The SSN can not advance past 32767. The conversion stops before";
    text += line_break;
    text += next_path;
    return {Dialog::ssn_exhausted, text, std::string(ssn_title), Buttons::ok, Icon::exclamation};
}

std::string file_start_entry(std::string_view path, const std::string& time) {
    std::string entry(line_break);
    entry += "Conversion of ";
    entry += path;
    entry += " begun at ";
    entry += time;
    entry += line_break;
    return entry;
}

// "occured" is the log entry's long-standing spelling, kept for whoever searches old logs.
std::string open_failure_entry(std::string_view path, const std::error_code& reason) {
    std::string entry = "An ";
    entry += reason.message();
    entry += " occured on file ";
    entry += path;
    entry += " skipping ";
    entry += line_break;
    return entry;
}

std::string run_complete_entry(const std::string& time) {
    std::string entry = "Conversion complete @ ";
    entry += time;
    entry += line_break;
    return entry;
}

std::string kept_entry(std::string_view path) {
    std::string entry(path);
    entry += " kept: not converted completely";
    entry += line_break;
    return entry;
}

std::string deletion_failed_entry(std::string_view path, const std::error_code& reason) {
    std::string entry(path);
    entry += " could not be deleted: ";
    entry += reason.message();
    entry += line_break;
    return entry;
}

std::string turn_ended_entry(std::string_view path, std::string_view title, int t) {
    std::string entry(path);
    entry += " ended by \"";
    entry += title;
    entry += "\"";
    if (t > 0) {
        entry += " at trace";
        entry += number_text(t);
        entry += ": its remaining traces are skipped and the run goes on";
    } else {
        entry += ": none of its traces is read and the run goes on";
    }
    entry += line_break;
    return entry;
}

std::string would_delete_entry(std::string_view path) {
    std::string entry(path);
    entry += " would be deleted (dry run)";
    entry += line_break;
    return entry;
}

MessageBoxRequest output_not_qex_message(const std::string& path, const std::string& reason) {
    std::string text = path + " is not a QEX file; nothing was written";
    if (!reason.empty()) {
        text += line_break;
        text += "(" + reason + ")";
    }
    return {Dialog::output_not_qex, text, "Output Is Not QEX", Buttons::ok, Icon::critical};
}

}  // namespace quarvent
