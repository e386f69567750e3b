#include "engine/conversion_run.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <vector>

#include "common/byte_source.hpp"
#include "common/numbers.hpp"
#include "common/title_watch.hpp"
#include "common/trace_header.hpp"
#include "engine/file_probe.hpp"
#include "engine/input_deletion.hpp"
#include "engine/output_file.hpp"
#include "engine/qex_reader.hpp"
#include "engine/run_texts.hpp"
#include "engine/sample_decoding.hpp"
#include "engine/seg2_reader.hpp"
#include "engine/trace_record.hpp"

namespace quarvent {

namespace {

// The walk over an existing output lets window events run after this many records.
constexpr std::uint64_t walk_records_between_yields = 4096;

// Word 92 holds the SSN: the run can go no further than this one.
constexpr std::int16_t last_ssn = std::numeric_limits<std::int16_t>::max();

std::optional<struct stat> status_of(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return info;
}

// Paths are 8-bit Latin-1 text: its capital letters are A to Z and 0xC0 to 0xDE, less the
// multiplication sign 0xD7, each 0x20 below its small letter.
std::string lower_case(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) {
            c = static_cast<char>(byte + 0x20);
        }
    }
    return lower;
}

// The path with every link and "." or ".." resolved by the kernel: the file's own, or for a
// file that does not exist yet its directory's followed by its name. Empty when neither
// resolves.
std::string resolved_path(const std::string& path) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string resolved(real);
        std::free(real);
        return resolved;
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return {};
    const std::string name = path.substr(slash + 1);
    if (name == "." || name == "..") return {};
    const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
    char* real = ::realpath(directory.c_str(), nullptr);
    if (real == nullptr) return {};
    std::string resolved(real);
    std::free(real);
    if (resolved.back() != '/') resolved += '/';
    return resolved + name;
}

// Whether an input shares the output: either path contains the other, in any letter case,
// as given or as the kernel resolves them (a link or ".." spells the same place differently),
// or both name the same file. What belongs to the output is worked out once; an input in the
// same directory as the one before costs one lstat rather than a realpath of every directory
// on its path, which matters for a batch of thousands of shot files.
class OutputShareCheck {
public:
    explicit OutputShareCheck(const std::string& output)
        : output_(lower_case(output)),
          real_output_(lower_case(resolved_path(output))),
          output_status_(status_of(output)) {}

    // status: the input's stat, when it has one; link: its name is a symbolic link (or it
    // could not be told).
    bool shared_by(const std::string& input, const std::optional<struct stat>& status, bool link) {
        if (contains_either(lower_case(input), output_)) return true;
        const std::string real_input = lower_case(resolved_input(input, link));
        if (!real_input.empty() && !real_output_.empty() &&
            contains_either(real_input, real_output_)) {
            return true;
        }
        return status && output_status_ && status->st_dev == output_status_->st_dev &&
               status->st_ino == output_status_->st_ino;
    }

private:
    static bool contains_either(const std::string& a, const std::string& b) {
        return a.find(b) != std::string::npos || b.find(a) != std::string::npos;
    }

    // resolved_path(input). A name that is no link resolves to its resolved directory followed
    // by the name; the directory's resolution is kept for the next input.
    std::string resolved_input(const std::string& input, bool link) {
        const std::size_t slash = input.rfind('/');
        if (link || slash == std::string::npos || slash + 1 == input.size()) {
            return resolved_path(input);
        }
        const std::string_view name = std::string_view(input).substr(slash + 1);
        if (name == "." || name == "..") return resolved_path(input);
        const std::string_view directory =
            slash == 0 ? std::string_view("/") : std::string_view(input).substr(0, slash);
        if (!directory_known_ || directory != directory_) {
            directory_ = directory;
            directory_known_ = true;
            real_directory_.clear();
            if (char* real = ::realpath(directory_.c_str(), nullptr)) {
                real_directory_ = real;
                std::free(real);
                if (real_directory_.back() != '/') real_directory_ += '/';
            }
        }
        if (real_directory_.empty()) return resolved_path(input);
        std::string resolved = real_directory_;
        resolved += name;
        return resolved;
    }

    std::string output_;       // in lower case
    std::string real_output_;  // resolved, in lower case
    std::optional<struct stat> output_status_;
    std::string directory_;       // the directory of the input before
    std::string real_directory_;  // its resolution followed by '/', or empty
    bool directory_known_ = false;
};

// Passes every header string on and notes whether it wrote word 59, the sample interval.
// The keyword translation never writes not_written (its values lie within -32535 .. 32535),
// so word 59 still holding it afterwards means that the string did not write the word.
class IntervalWatch final : public HeaderStringReceiver {
public:
    explicit IntervalWatch(HeaderStringReceiver& receiver) : receiver_(receiver) {}

    Result header_string(std::string_view s, OutputTraceHeader& header,
                         double& trace_scale_factor) override {
        const std::int16_t before = header.word(interval_word);
        header.word(interval_word) = not_written;
        const Result result = receiver_.header_string(s, header, trace_scale_factor);
        if (header.word(interval_word) == not_written) {
            header.word(interval_word) = before;
        } else {
            written_ = true;
            unrounded_ = receiver_.unrounded_value(interval_word);
            // Kept short: it is shown in one line of a prompt.
            last_writer_.assign(s.substr(0, std::min<std::size_t>(s.size(), 80)));
            std::erase(last_writer_, '\0');
        }
        return result;
    }

    void file_begins() override {
        last_writer_.clear();
        receiver_.file_begins();
    }
    std::optional<float> unrounded_value(int n) const override {
        return receiver_.unrounded_value(n);
    }
    // The last string that wrote the interval, as it was given; empty when none of this
    // file's strings did.
    const std::string& last_writer() const { return last_writer_; }

    // Forgets what earlier strings wrote.
    void start() {
        written_ = false;
        unrounded_.reset();
    }
    // The interval that the strings since start wrote, when they wrote one.
    std::optional<std::int16_t> stated(const OutputTraceHeader& header) const {
        if (!written_) return std::nullopt;
        return header.word(interval_word);
    }
    // That interval before it was rounded to whole microseconds, when a number gave it.
    std::optional<float> stated_unrounded() const { return written_ ? unrounded_ : std::nullopt; }

private:
    static constexpr int interval_word = 59;
    static constexpr std::int16_t not_written = -32768;

    HeaderStringReceiver& receiver_;
    bool written_ = false;
    std::optional<float> unrounded_;
    std::string last_writer_;
};

class ConversionRun {
public:
    ConversionRun(const RunRequest& request, UiPort& ui, StatusLog& log,
                  HeaderStringReceiver& receiver)
        : request_(request),
          watch_(ui),
          ui_(watch_),
          log_(log),
          interval_watch_(receiver),
          sink_{interval_watch_, header_, trace_scale_factor_},
          output_(request.output_calls) {}

    RunReport run() {
        report_.outcome = run_files();
        report_.bytes_written = output_.bytes_written();
        if (!ssn_exhausted_) report_.next_ssn = ssn_;
        return std::move(report_);
    }

private:
    // stop_file: a check ended the file's turn (keep_going); the run goes on. written_then_stop:
    // the record is written, and the run stops after it.
    enum class TraceOutcome { written, skipped, stop_file, written_then_stop, stop };

    RunOutcome run_files() {
        if (!prepare()) {
            (void)output_.close();  // nothing written: an output the open created goes again
            return RunOutcome::ended_at_check;
        }
        report_.inputs.resize(request_.inputs.size());
        for (std::size_t i = 0; i < request_.inputs.size(); ++i) {
            report_.inputs[i].path = request_.inputs[i];
        }
        for (std::size_t i = 0; i < request_.inputs.size(); ++i) {
            const bool go_on = convert_file(i);
            ui_.set_current_input({});
            if (!go_on) return stop();
        }
        if (!delete_converted_inputs()) return stop();
        ui_.set_mouse_pointer(MousePointer::normal);
        input_.close();
        // The close may report a write that failed late; the run is then not complete.
        if (const std::error_code reason = output_.close()) {
            output_failed(reason);
            ui_.set_text1_visible(true);
            return RunOutcome::stopped;
        }
        log_.append(run_complete_entry(time_of_day()));
        ui_.set_text1_visible(true);
        return RunOutcome::completed;
    }

    void note_first_skip(int t, std::string_view cause) {
        std::string& first = report_.inputs[current_].first_skip;
        if (!first.empty()) return;
        first = "trace " + std::to_string(t);
        if (!cause.empty()) first += " " + std::string(cause);
    }

    // The line of our own under the sample interval prompt: the file, the trace, and what
    // its strings said about the interval.
    std::string interval_detail(std::string_view path, int t) const {
        std::string detail(path);
        detail += ", trace " + std::to_string(t) + ": ";
        const std::string& said = interval_watch_.last_writer();
        if (said.empty()) return detail + "its strings state no sample interval";
        detail += said;
        // SEG-2 states the interval in seconds.
        std::string_view text(said);
        const std::size_t blank = text.find_first_of(" \t");
        if (blank != std::string_view::npos) {
            const double us = read_number(text.substr(blank)) * 1e6;
            detail += ": " + number_text(us).substr(us < 0 ? 0 : 1) + " microseconds";
            if (us < 1) detail += ", below 1 microsecond";
        }
        return detail;
    }

    // Whether a check that ended the run at this point ends only the file's turn.
    TraceOutcome ended_by_check(int t) {
        InputResult& result = report_.inputs[current_];
        if (!request_.keep_going) {
            result.reason =
                "the run stopped at trace " + std::to_string(t) + ": " + watch_.last_title();
            return TraceOutcome::stop;
        }
        result.reason = "ended at trace " + std::to_string(t) + ": " + watch_.last_title();
        log_.append(turn_ended_entry(request_.inputs[current_], watch_.last_title(), t));
        return TraceOutcome::stop_file;
    }

    std::string time_of_day() const {
        return request_.time_of_day ? request_.time_of_day() : local_time_of_day();
    }

    // The checks and confirmations up to the starting SSN; false when the command ends.
    bool prepare() {
        header_.clear();
        manual_interval_ = ManualInterval{};
        const std::string& output = request_.output_file_name;
        if (output.empty()) {
            ui_.message_box(no_output_message());
            return false;
        }
        if (request_.inputs.empty()) {
            ui_.message_box(no_input_message());
            return false;
        }
        std::string missing;
        OutputShareCheck sharing(output);
        for (const std::string& input : request_.inputs) {
            // One lstat tells most of it: stat gives the same for a name that is no link.
            struct stat own {};
            const bool named = ::lstat(input.c_str(), &own) == 0;
            const bool link = !named || S_ISLNK(own.st_mode);
            const std::optional<struct stat> status = link ? status_of(input) : own;
            if (!status) {
                missing += input;
                missing += line_break;
            }
            if (sharing.shared_by(input, status, link)) {
                ui_.message_box(share_message());
                return false;
            }
        }
        if (!missing.empty()) {
            ui_.message_box(not_found_message(missing));
            return false;
        }
        if (status_of(output) && ui_.message_box(appending_message()) != Answer::ok) return false;
        if (request_.options.delete_inputs && ui_.message_box(deletion_message()) != Answer::yes) {
            return false;
        }
        if (const std::error_code reason =
                request_.dry_run ? output_.open_for_counting(output) : output_.open(output)) {
            ui_.message_box(output_open_message(reason));
            return false;
        }
        std::optional<std::uint64_t> cut_to;
        if (!check_existing_output(cut_to)) return false;
        const std::string answer =
            ui_.input_prompt({Dialog::starting_ssn, std::string(ssn_prompt),
                              std::string(ssn_prompt_title), proposed_ssn()});
        if (answer.empty()) return false;
        const std::optional<std::int16_t> ssn = to_int16(read_number(answer));
        if (!ssn) {
            ui_.message_box(ssn_answer_out_of_range_message(answer));
            return false;
        }
        ssn_ = *ssn;
        // Only now, with every question answered, is anything cut.
        if (cut_to) {
            if (const std::error_code reason = output_.cut_back(*cut_to)) {
                ui_.message_box(output_write_error_message(output, reason));
                return false;
            }
        }
        handed_over_bytes_ = output_.file_size();

        ui_.set_text1_visible(true);
        log_.clear();
        ui_.set_label3_visible(true);
        ui_.set_mouse_pointer(MousePointer::hourglass);
        ui_.set_text1_visible(false);
        return true;
    }

    // The output as it stands, judged through the open that the run then writes through,
    // under a lock that keeps every other conversion out from here to the close: a file of
    // whole QEX records (or an empty one) is appended to; anything else is refused untouched;
    // a file that ends in part of a record is cut back to its last whole record only when
    // the operator says so (cut_to: where; the cut waits for the last question). The walk
    // reads one header per record and lets window events run now and then. False when the
    // command ends.
    bool check_existing_output(std::optional<std::uint64_t>& cut_to) {
        const std::string& output = request_.output_file_name;
        // A character device (/dev/null, /dev/full) holds no records to judge or damage, and
        // any number of runs may write into it.
        if (output_.is_character_device()) return true;
        if (!request_.dry_run && output_.lock() == OutputFile::LockResult::held_elsewhere) {
            ui_.message_box(output_in_use_message(output));
            return false;
        }
        if (!output_.is_regular()) {
            ui_.message_box(output_not_qex_message(output, "it is not a regular file"));
            return false;
        }
        bool go_on = true;
        const QexWalk walk =
            output_.walk([&](std::uint64_t number, std::uint64_t, std::span<const std::uint8_t>) {
                if (go_on && number % walk_records_between_yields == 0) {
                    go_on = ui_.keep_responsive();
                }
            });
        if (!go_on) return false;
        if (walk.read_failed()) {
            ui_.message_box(output_open_message(std::make_error_code(std::errc::io_error)));
            return false;
        }
        if (walk.kind == QexKind::not_qex) {
            ui_.message_box(output_not_qex_message(output, walk.reason));
            return false;
        }
        if (walk.partial()) {
            if (ui_.message_box(partial_record_message(output, walk)) != Answer::yes) return false;
            cut_to = walk.whole_bytes;
        }
        output_last_ssn_ = walk.last_ssn;
        return true;
    }

    std::string proposed_ssn() const {
        if (!request_.propose_next_ssn || !output_last_ssn_) return std::string(ssn_proposed);
        return std::to_string(static_cast<int>(*output_last_ssn_) + 1);
    }

    // One file's turn; false when the run stops.
    bool convert_file(std::size_t i) {
        const std::string& path = request_.inputs[i];
        current_ = i;
        InputResult& result = report_.inputs[i];
        ui_.set_current_input(path);
        if (ssn_exhausted_) {
            result.reason = "not reached: the SSN can not advance past 32767";
            ui_.message_box(ssn_exhausted_message(path));
            return false;
        }
        input_.close();
        // Every record gathered before is in the file by now (each turn ends with a flush):
        // the records written from here on are this input's.
        turn_first_record_ = output_.records_written();
        turn_trace_count_ = 0;
        log_.append(file_start_entry(path, time_of_day()));
        if (log_.size() > StatusLog::limit) log_.clear();
        ui_.list1_select(static_cast<int>(i));
        scale_entry_logged_ = false;

        std::error_code open_failure = input_.open(path);
        if (!open_failure && awaits_deletion(input_.identity())) {
            // Listed again (or under another name): it goes first, as it would have gone at
            // the end of its own turn, and the open sees what is left.
            input_.close();
            if (!delete_converted_inputs()) return false;
            open_failure = input_.open(path);
        }
        if (open_failure) {
            log_.append(open_failure_entry(path, open_failure));
            result.status = InputStatus::skipped;
            result.reason = "not opened: " + open_failure.message();
            return end_of_turn(path, false);
        }
        ui_.set_label3_caption(path);

        // Asked for: no word of an earlier file reaches this file's records. Within the file
        // words still carry from trace to trace.
        if (request_.options.fresh_header_per_file) header_.clear();
        FileDescriptor file;
        interval_watch_.start();
        interval_watch_.file_begins();
        const FileDescriptorResult descriptor = read_file_descriptor(input_, file, sink_);
        file_interval_ = interval_watch_.stated(header_);
        file_unrounded_interval_ = interval_watch_.stated_unrounded();
        switch (descriptor) {
            case FileDescriptorResult::read:
                break;
            case FileDescriptorResult::not_seg2:
                log_.append(not_seg2_entry(path));
                result.status = InputStatus::skipped;
                result.reason = "not a SEG-2 file";
                result.not_seg2 = true;
                return end_of_turn(path, false);
            case FileDescriptorResult::pointer_shortage:
                ui_.message_box(pointer_shortage_message(file));
                result.status = InputStatus::skipped;
                if (!request_.keep_going) {
                    result.reason = "the run stopped: " + watch_.last_title();
                    return false;
                }
                // Like a file that is not SEG-2, it does not advance the SSN.
                result.reason = "ended: " + watch_.last_title();
                log_.append(turn_ended_entry(path, watch_.last_title(), 0));
                return end_of_turn(path, false);
            case FileDescriptorResult::stop_run:
                result.status = InputStatus::skipped;
                result.reason = "the run stopped while its header strings were read";
                return false;
        }

        result.status = InputStatus::partial;
        const int trace_count = std::max<int>(0, file.trace_count);
        turn_trace_count_ = trace_count;
        bool go_on = true;
        for (int t = 1; t <= file.trace_count; ++t) {
            const TraceOutcome outcome = convert_trace(path, file, t);
            if (outcome == TraceOutcome::written || outcome == TraceOutcome::written_then_stop) {
                ++result.traces_written;
                if (!result.first_ssn) result.first_ssn = header_.word(92);
                result.last_ssn = header_.word(92);
            }
            if (outcome == TraceOutcome::stop || outcome == TraceOutcome::written_then_stop) {
                go_on = false;
                break;
            }
            if (outcome == TraceOutcome::stop_file) break;
        }
        const int written = result.traces_written;
        result.traces_skipped = trace_count - written;
        if (!go_on) return false;
        // A file from which nothing was written (a trace count of 0 or less among them) is
        // not converted, whatever else it holds.
        const bool complete = written > 0 && written == file.trace_count;
        if (complete) {
            result.status = InputStatus::converted;
        } else if (result.reason.empty()) {
            result.reason = trace_count == 0 ? "it holds no trace"
                                             : std::to_string(result.traces_skipped) + " of " +
                                                   std::to_string(trace_count) + " traces skipped";
        }

        if (ssn_ == last_ssn) {
            ssn_exhausted_ = true;
        } else {
            ++ssn_;
        }
        return end_of_turn(path, complete);
    }

    TraceOutcome convert_trace(const std::string& path, const FileDescriptor& file, int t) {
        TraceDescriptor trace;
        // Each trace is read as the file is when its turn comes (looked at every few
        // milliseconds).
        input_.recheck();
        interval_watch_.start();
        const TraceDescriptorResult read = read_trace_descriptor(input_, file, t, trace, sink_);
        // The trace's own interval: from its strings, or else from its file's.
        std::optional<std::int16_t> own_interval = interval_watch_.stated(header_);
        std::optional<float> own_unrounded = interval_watch_.stated_unrounded();
        if (!own_interval) {
            own_interval = file_interval_;
            own_unrounded = file_unrounded_interval_;
        }
        switch (read) {
            case TraceDescriptorResult::read:
                break;
            case TraceDescriptorResult::bad_trace_id:
            case TraceDescriptorResult::truncated:
                log_.append(skipped_trace_entry(read, path, t));
                note_first_skip(t, read == TraceDescriptorResult::truncated
                                       ? "truncated"
                                       : "with a bad trace identifier");
                return TraceOutcome::skipped;
            case TraceDescriptorResult::stop_run:
                return TraceOutcome::stop;
        }
        if (trace_scale_factor_ != 1.0 && !scale_entry_logged_) {
            log_.append(scale_entry);
            scale_entry_logged_ = true;
        }

        // At factor 1 the samples are decoded where their record will be built, when the
        // output has room for it without writing first.
        arrays_.destination = {};
        if (request_.options.resample_factor == 1 && trace.sample_count >= 0 &&
            trace.sample_count < 65536) {
            const std::size_t samples = static_cast<std::size_t>(trace.sample_count);
            const std::span<std::uint8_t> room =
                output_.next_room(OutputTraceHeader::byte_size + 4 * samples);
            if (!room.empty()) {
                arrays_.destination = {
                    reinterpret_cast<float*>(room.data() + OutputTraceHeader::byte_size), samples};
            }
        }
        const TraceToDecode to_decode{input_,
                                      trace.data_offset,
                                      trace.sample_count,
                                      trace.format_code,
                                      static_cast<std::int16_t>(t),
                                      path};
        switch (
            decode_trace_samples(to_decode, request_.options.resample_factor, arrays_, ui_, log_)) {
            case DecodeResult::decoded:
                break;
            case DecodeResult::skipped:
                note_first_skip(t, arrays_.skip_cause);
                return TraceOutcome::skipped;
            case DecodeResult::run_ended:
                return ended_by_check(t);
        }
        if (check_sample_interval(header_, manual_interval_, own_interval, ui_, log_,
                                  interval_detail(path, t)) == IntervalResult::run_ended) {
            report_.inputs[current_].reason =
                "the run stopped at trace " + std::to_string(t) + ": no usable sample interval";
            return TraceOutcome::stop;
        }

        const TraceInRun in_run{static_cast<std::int16_t>(t),
                                file.trace_count,
                                trace.sample_count,
                                path,
                                ssn_,
                                own_unrounded};
        if (finish_trace_header(header_, in_run, request_.options, record_, ui_) ==
            FinishResult::run_ended) {
            return ended_by_check(t);
        }
        if (const std::error_code reason = write_trace_record(output_, header_, arrays_.decoded,
                                                              trace_scale_factor_, record_, log_)) {
            report_.inputs[current_].reason = "the run stopped at trace " + std::to_string(t) +
                                              ": the output could not be written";
            output_failed(reason);
            return TraceOutcome::stop;
        }
        if (!ui_.yield_events()) {
            // The record is written, and counts; the stop comes after it.
            report_.inputs[current_].reason =
                "stopped by the operator after trace " + std::to_string(t);
            return TraceOutcome::written_then_stop;
        }
        return TraceOutcome::written;
    }

    // The end of a file's turn: its records reach the output file. With delete_inputs an
    // input whose traces are all in the output joins the group of inputs to delete, which
    // goes once it is large enough (see delete_converted_inputs). False when the run stops.
    bool end_of_turn(const std::string& path, bool complete) {
        log_.end_header_string_messages();
        if (const std::error_code reason = output_.flush()) {
            output_failed(reason);
            return false;
        }
        if (!request_.options.delete_inputs) return true;
        const FileSource::Identity read = input_.identity();
        const FileSource::FileVersion version = input_.opened_version();
        input_.close();
        if (!complete) {
            log_.append(kept_entry(path));
            return true;
        }
        if (request_.dry_run) {
            log_.append(would_delete_entry(path));
            return true;
        }
        to_delete_.push_back({path, read, version, current_});
        if (to_delete_.size() >= deletion_group_files ||
            output_.file_size() - handed_over_bytes_ >= deletion_group_bytes) {
            hand_over_group();
        }
        return collect_deletions(false, true);
    }

    bool awaits_deletion(const FileSource::Identity& identity) const {
        const auto same = [&](const FileSource::Identity& read) { return read == identity; };
        return std::any_of(to_delete_.begin(), to_delete_.end(),
                           [&](const ConvertedInput& input) { return same(input.read); }) ||
               std::any_of(handed_over_.begin(), handed_over_.end(), same);
    }

    // Hands the group of converted inputs, whose records have all reached the output file, to
    // the deletion queue. An input goes only when its records are on the disk and its path
    // still names the file that was read, unchanged (a file put in its place or written to
    // meanwhile holds what was never converted): one sync of the output covers the whole
    // group, so that deleting many small files does not wait for the disk once per file,
    // and the queue's thread waits for the disk while this one converts on. A crash before
    // the sync keeps the group's inputs, and loses nothing.
    void hand_over_group() {
        if (to_delete_.empty()) return;
        handed_over_bytes_ = output_.file_size();
        for (const ConvertedInput& input : to_delete_) handed_over_.push_back(input.read);
        deletions_.add(std::move(to_delete_));
        to_delete_.clear();
    }

    // Logs what the finished groups could not delete; with wait, once every group handed
    // over is finished. False when a sync failed: the run stops, and that group and every
    // later one are kept, with the reason. tell: a failed sync is shown in the "Output Write
    // Error" box, unless a failing output has been told already.
    bool collect_deletions(bool wait, bool tell) {
        for (DeletionQueue::Done& done : deletions_.take_done(wait)) {
            handed_over_.erase(
                handed_over_.begin(),
                handed_over_.begin() + static_cast<std::ptrdiff_t>(done.group.size()));
            if (done.sync_failure) {
                if (tell && !sync_failed_ && !output_failure_told_) {
                    output_failure_told_ = true;
                    ui_.message_box(output_write_error_message(
                        request_.output_file_name, done.sync_failure, output_.cut_back_failure()));
                }
                sync_failed_ = true;
                sync_failure_ = done.sync_failure;
                keep_with_reason(done.group);
                continue;
            }
            for (std::size_t i = 0; i < done.group.size(); ++i) {
                const std::string& path = done.group[i].path;
                switch (done.outcomes[i].result) {
                    case DeletionResult::deleted:
                        report_.inputs[done.group[i].index].deleted = true;
                        break;
                    case DeletionResult::replaced:
                        log_.append(kept_entry(path));
                        report_.inputs[done.group[i].index].reason =
                            std::string(changed_after_conversion);
                        break;
                    case DeletionResult::failed:
                        log_.append(deletion_failed_entry(path, done.outcomes[i].reason));
                        break;
                }
            }
        }
        return !sync_failed_;
    }

    // Deletes every converted input waiting for it, and waits until that is done. False when
    // a sync failed.
    bool delete_converted_inputs() {
        hand_over_group();
        return collect_deletions(true, true);
    }

    // Converted inputs kept because a sync of the output failed.
    void keep_with_reason(const std::vector<ConvertedInput>& inputs) {
        for (const ConvertedInput& input : inputs) {
            report_.inputs[input.index].reason =
                "kept: the output could not be synced to the disk: " + sync_failure_.message();
        }
    }

    // Tells a failed write or close of the output in the "Output Write Error" box, and counts
    // for the current input only the records that reached the file: those gathered with the
    // failed write are not in it.
    void output_failed(const std::error_code& reason) {
        output_failure_told_ = true;
        ui_.message_box(output_write_error_message(request_.output_file_name, reason,
                                                   output_.cut_back_failure()));
        if (current_ >= report_.inputs.size()) return;
        InputResult& result = report_.inputs[current_];
        const auto reached = static_cast<int>(
            std::min<std::uint64_t>(output_.records_written() - turn_first_record_,
                                    static_cast<std::uint64_t>(result.traces_written)));
        if (reached == result.traces_written) return;
        result.traces_written = reached;
        result.traces_skipped = turn_trace_count_ - reached;
        if (reached == 0) {
            result.first_ssn.reset();
            result.last_ssn.reset();
        }
        if (result.status == InputStatus::converted) {
            result.status = InputStatus::partial;
            result.reason = std::to_string(reached) + " of " + std::to_string(turn_trace_count_) +
                            " traces reached the output: " + reason.message();
        }
    }

    // The records written before the stop stay in the output.
    RunOutcome stop() {
        for (std::size_t j = current_ + 1; j < report_.inputs.size(); ++j) {
            report_.inputs[j].reason = "not reached: the run stopped before its turn";
        }
        log_.end_header_string_messages();
        // Inputs converted whole before the stop go as they would have at the end of the run;
        // a failing output keeps them all. The records gathered before the stop are written
        // first: a write that fails then is told like any other.
        const std::error_code flushed = output_.flush();
        if (flushed) {
            output_failed(flushed);
            for (const ConvertedInput& input : to_delete_) {
                report_.inputs[input.index].reason =
                    "kept: the output could not be written when the run stopped: " +
                    flushed.message();
            }
        } else if (!sync_failed_) {
            hand_over_group();
        } else {
            keep_with_reason(to_delete_);
        }
        to_delete_.clear();
        (void)collect_deletions(true, true);
        if (const std::error_code reason = output_.close()) output_failed(reason);
        ui_.set_mouse_pointer(MousePointer::normal);
        input_.close();
        ui_.set_text1_visible(true);
        return RunOutcome::stopped;
    }

    const RunRequest& request_;
    TitleWatch watch_;
    UiPort& ui_;
    StatusLog& log_;

    OutputTraceHeader header_;
    double trace_scale_factor_ = 1.0;
    IntervalWatch interval_watch_;
    HeaderStringSink sink_;
    ManualInterval manual_interval_;
    std::optional<std::int16_t> file_interval_;     // what the current file's strings state
    std::optional<float> file_unrounded_interval_;  // the same before rounding
    SampleArrays arrays_;
    TraceRecordState record_;
    OutputFile output_;
    FileSource input_;
    // Inputs converted whole and waiting for deletion, in the order they were converted.
    // A group of converted inputs is deleted once it holds this many files or the output has
    // grown by this many bytes since the last sync: few syncs for many small files, and
    // little to convert again after a crash.
    static constexpr std::size_t deletion_group_files = 256;
    static constexpr std::uint64_t deletion_group_bytes = std::uint64_t{8} << 20;
    std::vector<ConvertedInput> to_delete_;
    std::uint64_t handed_over_bytes_ =
        0;  // output bytes written when the last group was handed over
    // The groups handed over and not yet finished, and which files they hold. Made after the
    // output and gone before it, so that every sync is over before the output closes.
    DeletionQueue deletions_{[this] { return output_.sync_written(); }};
    std::vector<FileSource::Identity> handed_over_;
    bool sync_failed_ = false;
    std::error_code sync_failure_;      // of the first sync that failed
    bool output_failure_told_ = false;  // an "Output Write Error" box has been shown
    // The output's record count when the current input's turn began, and its trace count.
    std::uint64_t turn_first_record_ = 0;
    int turn_trace_count_ = 0;

    // The SSN of the output's last whole record, found by the walk before appending.
    std::optional<std::int16_t> output_last_ssn_;
    std::int16_t ssn_ = 0;
    bool ssn_exhausted_ = false;  // the last file used SSN 32767
    bool scale_entry_logged_ = false;
    RunReport report_;
    std::size_t current_ = 0;  // index of the input whose turn it is
};

}  // namespace

RunReport convert_run_reporting(const RunRequest& request, UiPort& ui, StatusLog& log,
                                HeaderStringReceiver& header_strings) {
    ConversionRun run(request, ui, log, header_strings);
    return run.run();
}

RunOutcome convert_run(const RunRequest& request, UiPort& ui, StatusLog& log,
                       HeaderStringReceiver& header_strings) {
    return convert_run_reporting(request, ui, log, header_strings).outcome;
}

std::string local_time_of_day() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

}  // namespace quarvent
