#pragma once
// The Convert command's own fixed texts: the message boxes its checks and confirmations show,
// its prompt for the starting SSN, and the entries it appends to the status log. Operators
// know them as they are, spelling included; the run shows and logs them unchanged.

#include <string>
#include <string_view>
#include <system_error>

#include "common/ui_port.hpp"
#include "engine/qex_reader.hpp"

namespace quarvent {

MessageBoxRequest no_output_message();
MessageBoxRequest no_input_message();
MessageBoxRequest share_message();
// missing holds each missing path followed by the line break.
MessageBoxRequest not_found_message(const std::string& missing);
MessageBoxRequest appending_message();
MessageBoxRequest deletion_message();
MessageBoxRequest output_open_message(const std::error_code& reason);
MessageBoxRequest output_in_use_message(const std::string& path);
// Where the existing output ends in something that is not a whole record: what stays and
// what goes if it is cut back to its last whole record.
MessageBoxRequest partial_record_message(const std::string& path, const QexWalk& walk);
MessageBoxRequest ssn_answer_out_of_range_message(const std::string& answer);
MessageBoxRequest ssn_exhausted_message(std::string_view next_path);

inline constexpr std::string_view ssn_prompt = "Enter Starting SSN";
inline constexpr std::string_view ssn_prompt_title = "SSN Value?";
inline constexpr std::string_view ssn_proposed = "1";

std::string file_start_entry(std::string_view path, const std::string& time);
std::string open_failure_entry(std::string_view path, const std::error_code& reason);
std::string run_complete_entry(const std::string& time);
std::string kept_entry(std::string_view path);
std::string deletion_failed_entry(std::string_view path, const std::error_code& reason);
// The entry for a file whose turn a check ended part way, with --keep-going.
std::string turn_ended_entry(std::string_view path, std::string_view title, int t);
std::string would_delete_entry(std::string_view path);

}  // namespace quarvent
