// quarvent-batch: converts SEG-2 files into one QEX output file without a window.
//
//   quarvent-batch -o OUTPUT [options] INPUT...
//
// Standard output carries the status log as the run appends it; standard error carries
// every message box as "Title: text" (followed by the input it concerns) and, at the end, a
// summary of the run. Exit status: 0 when the run reached its normal end with every input
// converted completely, 3 when it reached its end but some input was not, 1 when it ended
// at a check or refusal or stopped part way, 2 for a usage error (an output that is the file
// standard output or standard error goes to is one, and so is a report that would replace the
// output or an input, or that its folder cannot take).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/console_port.hpp"
#include "common/natural_order.hpp"
#include "common/numbers.hpp"
#include "common/status_log.hpp"
#include "common/system_directory.hpp"
#include "common/title_watch.hpp"
#include "engine/conversion_run.hpp"
#include "engine/file_probe.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "shell/run_log.hpp"

namespace {

constexpr int exit_completed = 0;
constexpr int exit_not_completed = 1;
constexpr int exit_usage = 2;
constexpr int exit_not_all_converted = 3;

constexpr const char* exit_status_table =
    "Exit status:\n"
    "  0  the run reached its end and every input was converted completely\n"
    "  1  the run ended at a check or a refused question, or stopped part way, or the\n"
    "     keyword file could not be loaded or the report could not be written; also when\n"
    "     the output is not a QEX file, ends in part of a record (without\n"
    "     --trim-partial-record) or is being written by another conversion, and then\n"
    "     nothing was written\n"
    "  2  usage error, also lists and folders that hold no input, or a report that would\n"
    "     replace the output or an input, or that cannot be created where it is named\n"
    "  3  the run reached its end, but at least one input was not converted completely,\n"
    "     or -r could not read a folder or file\n";

// The whole content of descriptor fd. False with errno's reason when it cannot be read; a
// directory cannot (EISDIR), even where the system would hand out its bytes.
bool read_all(int fd, std::string& text) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// The paths of a list: one a line, or NUL-separated. A line may end in CR LF, as lists
// written on Windows do; with NUL separators a CR is part of the name. Empty entries are
// left out. Returns false with errno's reason when the list cannot be read.
bool read_list(const std::string& from, bool null_separated, std::vector<std::string>& paths) {
    std::string text;
    if (from == "-") {
        if (!read_all(STDIN_FILENO, text)) return false;
    } else {
        const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool read = read_all(fd, text);
        const int reason = errno;
        ::close(fd);
        errno = reason;
        if (!read) return false;
    }
    const char separator = null_separated ? '\0' : '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        const bool line_end = end != std::string::npos;
        if (!line_end) end = text.size();
        std::size_t stop = end;
        if (!null_separated && line_end && stop > start && text[stop - 1] == '\r') --stop;
        if (stop > start) paths.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return true;
}

// What -r left out below the folders it was given, and why: the run's log does not see
// these files, so they are counted on standard error and in the report.
struct LeftOut {
    struct File {
        std::string path;
        std::string reason;
    };
    int not_seg2 = 0;
    int unreadable = 0;
    std::vector<File> files;

    void add_not_seg2(const std::string& path) {
        ++not_seg2;
        files.push_back({path, "not SEG-2 by its first bytes"});
    }
    void add_unreadable(const std::string& path, const std::error_code& reason) {
        ++unreadable;
        files.push_back({path, "unreadable: " + reason.message()});
    }
};

// Whether the file starts with the SEG-2 file descriptor block's identifier (little-endian
// form); the reason when it cannot be read.
enum class FirstBytes { seg2, other, unreadable };
FirstBytes first_bytes(const std::filesystem::path& path, std::error_code& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason.assign(errno, std::generic_category());
        return FirstBytes::unreadable;
    }
    unsigned char first[2] = {};
    ssize_t got = 0;
    do {
        got = ::read(fd, first, sizeof first);
    } while (got < 0 && errno == EINTR);
    if (got < 0) reason.assign(errno, std::generic_category());
    ::close(fd);
    if (got < 0) return FirstBytes::unreadable;
    return got == 2 && first[0] == 0x55 && first[1] == 0x3A ? FirstBytes::seg2 : FirstBytes::other;
}

// The SEG-2 files below directory, in natural name order (9.sg2 before 10.sg2): each
// directory's entries sorted by name, a subdirectory's files where its name falls. Links to
// directories are not followed, so a link back up cannot loop. What cannot be read, and
// files that are not SEG-2, go to left_out.
void add_seg2_files(const std::filesystem::path& directory, std::vector<std::string>& paths,
                    LeftOut& left_out) {
    std::error_code failed;
    std::vector<std::filesystem::path> entries;
    std::filesystem::directory_iterator it(directory, failed);
    for (const std::filesystem::directory_iterator end; !failed && it != end;
         it.increment(failed)) {
        entries.push_back(it->path());
    }
    if (failed) {
        left_out.add_unreadable(directory.string(), failed);
        if (entries.empty()) return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return quarvent::natural_less(a.filename().native(), b.filename().native());
    });
    for (const std::filesystem::path& entry : entries) {
        std::error_code reason;
        const auto own = std::filesystem::symlink_status(entry, reason);
        if (std::filesystem::is_directory(own)) {
            add_seg2_files(entry, paths, left_out);
            continue;
        }
        const auto status = std::filesystem::status(entry, reason);
        if (reason) {
            left_out.add_unreadable(entry.string(), reason);
        } else if (std::filesystem::is_regular_file(status)) {
            switch (first_bytes(entry, reason)) {
                case FirstBytes::seg2:
                    paths.push_back(entry.string());
                    break;
                case FirstBytes::other:
                    left_out.add_not_seg2(entry.string());
                    break;
                case FirstBytes::unreadable:
                    left_out.add_unreadable(entry.string(), reason);
                    break;
            }
        }
    }
}

// The counts of what -r left out, and with verbose every file.
void print_left_out(const LeftOut& left_out, bool verbose) {
    if (left_out.files.empty()) return;
    std::fprintf(stderr,
                 "quarvent-batch: -r left out, below the folders given: %d file%s not SEG-2 by "
                 "their first bytes, %d unreadable folder%s or file%s%s\n",
                 left_out.not_seg2, left_out.not_seg2 == 1 ? "" : "s", left_out.unreadable,
                 left_out.unreadable == 1 ? "" : "s", left_out.unreadable == 1 ? "" : "s",
                 verbose ? "" : " (--verbose names them)");
    if (!verbose) return;
    for (const LeftOut::File& file : left_out.files) {
        std::fprintf(stderr, "quarvent-batch: left out, %s: %s\n",
                     quarvent::as_utf8(file.reason).c_str(), quarvent::as_utf8(file.path).c_str());
    }
}

double megabytes_per_second(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
}

void print_summary(const quarvent::RunReport& report, double seconds, bool dry_run) {
    const quarvent::RunTotals totals = quarvent::run_totals(report);
    std::fprintf(stderr,
                 "%s%zu inputs: %d converted completely, %d kept partly converted, %d skipped "
                 "at open, %d not reached\n",
                 dry_run ? "Dry run: " : "", report.inputs.size(), totals.converted, totals.partial,
                 totals.skipped, totals.not_reached);
    std::fprintf(stderr, "%lld traces %s, %lld skipped; %llu bytes %s in %.2f s (%.1f MB/s)\n",
                 totals.traces_written, dry_run ? "would be written" : "written",
                 totals.traces_skipped, static_cast<unsigned long long>(report.bytes_written),
                 dry_run ? "would be written" : "written", seconds,
                 megabytes_per_second(report.bytes_written, seconds));
}

nlohmann::json optional_number(std::optional<std::int16_t> value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

std::string_view outcome_name(quarvent::RunOutcome outcome) {
    switch (outcome) {
        case quarvent::RunOutcome::completed:
            return "completed";
        case quarvent::RunOutcome::ended_at_check:
            return "ended_at_check";
        case quarvent::RunOutcome::stopped:
            return "stopped";
    }
    return "unknown";
}

// The report is written next to its final name and renamed into place, so that a reader
// finds either no report or a whole one. The file it is written into is created before the
// run, so that a folder that cannot take it is found out before anything is converted.
struct ReportFile {
    std::string temporary;
    int fd = -1;
};

// Creates the temporary file beside path. False with errno's reason when that fails.
bool create_report_file(const std::string& path, ReportFile& file) {
    file.temporary = path + ".XXXXXX";
    file.fd = ::mkstemp(file.temporary.data());
    return file.fd >= 0;
}

// Writes text into the file created before and renames it to path. False with errno's
// reason when that fails; the temporary file is then removed.
bool write_report(const std::string& path, const ReportFile& file, const std::string& text) {
    const std::string& temporary = file.temporary;
    const int fd = file.fd;
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(wrote);
    }
    // Readable like a file the shell would create.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd, 0666 & ~mask) == 0 && ::fsync(fd) == 0;
    const int saved = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    const int reason = ok ? errno : saved;
    ::unlink(temporary.c_str());
    errno = reason;
    return false;
}

std::string report_text(const quarvent::RunReport& report, const std::string& output,
                        double seconds, bool dry_run, int exit_status, const LeftOut& left_out) {
    const quarvent::RunTotals totals = quarvent::run_totals(report);
    nlohmann::json inputs = nlohmann::json::array();
    for (const quarvent::InputResult& input : report.inputs) {
        nlohmann::json& entry = inputs.emplace_back(nlohmann::json{
            {"path", quarvent::as_utf8(input.path)},
            {"status", quarvent::name_of(input.status)},
            {"traces_written", input.traces_written},
            {"traces_skipped", input.traces_skipped},
            {"first_ssn", optional_number(input.first_ssn)},
            {"last_ssn", optional_number(input.last_ssn)},
            {"deleted", input.deleted},
            {"reason", quarvent::as_utf8(input.reason)},
        });
        // A name that is not UTF-8 changes in "path": its exact bytes let a script find it.
        if (!quarvent::is_utf8(input.path))
            entry["path_bytes_hex"] = quarvent::hex_bytes(input.path);
    }
    nlohmann::json left_out_files = nlohmann::json::array();
    for (const LeftOut::File& file : left_out.files) {
        left_out_files.push_back(
            {{"path", quarvent::as_utf8(file.path)}, {"reason", quarvent::as_utf8(file.reason)}});
    }
    const nlohmann::json json = {
        {"program", "quarvent-batch"},
        {"version", QUARVENT_VERSION},
        {"output", quarvent::as_utf8(output)},
        {"dry_run", dry_run},
        {"outcome", outcome_name(report.outcome)},
        {"exit_status", exit_status},
        {"files",
         {{"inputs", report.inputs.size()},
          {"converted", totals.converted},
          {"partial", totals.partial},
          {"skipped", totals.skipped},
          {"not_reached", totals.not_reached}}},
        {"traces_written", totals.traces_written},
        {"traces_skipped", totals.traces_skipped},
        {"bytes_written", report.bytes_written},
        {"first_ssn", optional_number(totals.first_ssn)},
        {"last_ssn", optional_number(totals.last_ssn)},
        {"next_ssn", report.outcome == quarvent::RunOutcome::ended_at_check
                         ? nlohmann::json(nullptr)
                         : optional_number(report.next_ssn)},
        {"elapsed_seconds", seconds},
        {"megabytes_per_second", megabytes_per_second(report.bytes_written, seconds)},
        {"inputs", inputs},
        {"left_out",
         {{"not_seg2", left_out.not_seg2},
          {"unreadable", left_out.unreadable},
          {"files", left_out_files}}},
    };
    return json.dump(2) + "\n";
}

// The path made absolute against the working directory. Only "." and empty components are
// taken out; ".." stays for the kernel to resolve, since after a symbolic link it leads
// somewhere else than a text edit of the path would.
std::string absolute_path(const std::string& path) {
    if (path.empty()) return path;
    std::string whole = path;
    if (path.front() != '/') {
        // Asked once: thousands of relative input names would otherwise ask thousands of times.
        static const std::optional<std::string> working = []() -> std::optional<std::string> {
            std::error_code failed;
            std::string directory = std::filesystem::current_path(failed).string();
            if (failed) return std::nullopt;
            return directory;
        }();
        if (!working) return path;
        whole = *working + "/" + path;
    }
    std::string result;
    std::size_t start = 0;
    while (start <= whole.size()) {
        std::size_t end = whole.find('/', start);
        if (end == std::string::npos) end = whole.size();
        const std::string_view part = std::string_view(whole).substr(start, end - start);
        // A "." or slash at the very end still asks for a directory: it is kept.
        const bool last = end == whole.size();
        if (!part.empty() && (part != "." || last)) {
            result += '/';
            result += part;
        } else if (last && start > 0) {
            result += '/';
        }
        start = end + 1;
    }
    return result.empty() ? "/" : result;
}

// CLI11 reads "--name=" as "the value follows" and takes the next argument. Here, as with
// getopt_long, "--name=" gives the option an empty value: it is passed on as "--name" and
// "". Arguments that are an option's value or come after "--" are passed on unchanged.
// Returns the arguments in the reverse order that CLI::App::parse takes.
std::vector<std::string> with_empty_values(const CLI::App& app, int argc, char** argv) {
    const auto takes_value = [&](const std::string& name) {
        const CLI::Option* option = nullptr;
        try {
            option = app.get_option(name);
        } catch (const CLI::OptionNotFound&) {
            return false;
        }
        return option->get_items_expected_max() > 0 && option->nonpositional();
    };
    std::vector<std::string> args;
    bool value_next = false;
    bool only_operands = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (value_next || only_operands || arg.size() < 2 || arg[0] != '-') {
            args.push_back(arg);
            value_next = false;
            continue;
        }
        if (arg == "--") {
            only_operands = true;
        } else if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (takes_value(name)) {
                if (equals == std::string::npos) {
                    value_next = true;
                } else if (equals + 1 == arg.size()) {
                    args.push_back(name);
                    args.emplace_back();
                    continue;
                }
            }
        } else {
            // Grouped short options: flags, then perhaps one that takes the rest of the
            // argument, or the next argument when nothing is left.
            for (std::size_t at = 1; at < arg.size(); ++at) {
                const std::string name = std::string("-") + arg[at];
                if (takes_value(name)) {
                    value_next = at + 1 == arg.size();
                    break;
                }
                try {
                    (void)app.get_option(name);
                } catch (const CLI::OptionNotFound&) {
                    break;
                }
            }
        }
        args.push_back(arg);
    }
    return {args.rbegin(), args.rend()};
}

// Where the report goes: its folder as the kernel resolves it followed by its name, and the
// file that name holds now (device and inode; a symbolic link is itself the file that the
// rename replaces), when there is one.
struct ReportPlace {
    std::string place;  // empty when the folder does not resolve
    std::optional<std::pair<dev_t, ino_t>> file;
};

std::string resolved_place(const std::string& path) {
    const std::filesystem::path whole(path);
    std::error_code failed;
    const std::filesystem::path folder =
        std::filesystem::canonical(whole.parent_path().empty() ? "." : whole.parent_path(), failed);
    return failed ? std::string() : (folder / whole.filename()).string();
}

ReportPlace report_place(const std::string& path) {
    ReportPlace report{resolved_place(path), std::nullopt};
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) report.file = std::make_pair(info.st_dev, info.st_ino);
    return report;
}

// Whether the report, renamed into place, would replace the file at target (followed through
// links, as it is read or written) or take the place where target is still to be created.
bool report_takes(const ReportPlace& report, const std::string& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        return report.file && report.file->first == info.st_dev &&
               report.file->second == info.st_ino;
    }
    return !report.file && !report.place.empty() && resolved_place(target) == report.place;
}

// True when path names the file open as descriptor fd, and records written there would be
// mixed with that descriptor's text. A character device (/dev/null, a terminal) keeps no
// bytes that the text could break.
bool names_open_file(const std::string& path, int fd) {
    struct stat named {};
    struct stat open {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(fd, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino && !S_ISCHR(named.st_mode);
}

// Standard output and standard error are the same terminal.
bool one_terminal() {
    struct stat out {};
    struct stat err {};
    return ::isatty(STDOUT_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1 &&
           ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

extern "C" void request_stop(int) { quarvent::ConsolePort::stop_requested = 1; }

// An interrupt, termination or hang-up stops the run after the record being written, so that
// the output ends with a whole record; a second interrupt or termination ends the program at
// once. Hang-ups can come twice for one closed terminal (from the kernel and from the shell),
// so every one of them only asks for the stop.
void install_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_flags = 0;
    sigaction(SIGHUP, &action, nullptr);
    // A reader of the log that goes away makes the log's writes fail; the conversion goes on.
    std::signal(SIGPIPE, SIG_IGN);
    // Past a file size limit a write then fails with EFBIG, which the run reports, instead
    // of the signal ending the program part way through a record.
    std::signal(SIGXFSZ, SIG_IGN);
}

// --ssn continue: the run goes on from the SSN after the last whole record of the output, so
// that appending runs (and the chunks of one list) never reuse an SSN. The run finds that
// record in its walk over the output, under its lock, and proposes the next SSN; a new or
// empty output starts at 1. After 32767 the answer is out of range and the run says so.
constexpr std::string_view ssn_continue = "continue";

// An option that takes a number is given one, read as the window reads an answer but whole:
// "12abc", "nan" or "0x10" would otherwise quietly count as 12 or 0. An empty value is the
// empty answer and passes. False after the message.
bool number_given(const char* option, const std::string& value, bool or_continue) {
    if (value.empty() || quarvent::is_whole_number(value)) return true;
    if (or_continue && value == ssn_continue) return true;
    std::fprintf(stderr, "quarvent-batch: %s takes a number%s, not \"%s\"\n", option,
                 or_continue ? " or \"continue\"" : "", quarvent::as_utf8(value).c_str());
    return false;
}

// --run-log with no name: the log goes beside the output.
constexpr std::string_view run_log_beside = "OUTPUT.log";

// The command line as given.
struct BatchOptions {
    std::string output;
    std::string keywords;
    std::string ssn = "1";
    int resample = 1;
    std::string record_end_ms = "0";
    bool delete_inputs = false;
    bool append = false;
    bool trim_partial_record = false;
    std::string sample_interval_ms;
    bool quiet = false;
    bool keep_going = false;
    bool dry_run = false;
    std::vector<std::string> lists;
    bool null_separated = false;
    bool recursive = false;
    bool verbose = false;
    bool fresh_header = false;
    std::string report_path;
    std::string run_log_path;
    bool write_run_log = false;  // --run-log was given
    std::vector<std::string> inputs;
    std::string usage;  // the help text, shown when the command line names no input
};

// What the checks settle before the run.
struct CheckedRun {
    std::string output_path;
    quarvent::KeywordLoadResult loaded;
    quarvent::RunRequest request;
    LeftOut left_out;
    ReportFile report_file;
};

// Reads the command line into options. The exit status when the program ends here: --help,
// --version or a command line that cannot be read.
std::optional<int> parse_options(int argc, char** argv, BatchOptions& options) {
    CLI::App app{"Converts SEG-2 seismic recordings into one QEX trace file."};
    app.name("quarvent-batch");

    app.add_option("-o,--output", options.output, "Output file; always appended to")->required();
    app.add_option("-k,--keywords", options.keywords,
                   "Keyword file (default: QEXKEYWO.RD in the system directory)");
    app.add_option("--ssn", options.ssn,
                   "Starting SSN, a number; \"continue\": the one after the last record's SSN "
                   "(word 92) in the output, 1 for a new output")
        ->capture_default_str();
    app.add_option("--resample", options.resample, "Resample factor: 1, 2 or 4")
        ->check(CLI::Validator(
            [](const std::string& value) {
                return value.empty() ? std::string("an empty value is not 1, 2 or 4")
                                     : std::string();
            },
            "", "not empty"))
        ->check(CLI::IsMember({1, 2, 4}))
        ->capture_default_str();
    app.add_option(
           "--record-end-ms", options.record_end_ms,
           "Record length in ms, a number; 0 keeps each length; shorter traces are not padded")
        ->capture_default_str();
    app.add_flag("--delete-inputs", options.delete_inputs,
                 "Delete each input whose traces were all converted");
    app.add_flag("--append", options.append, "Append to an existing output file");
    app.add_flag("--trim-partial-record", options.trim_partial_record,
                 "When the existing output ends in part of a record (left by a crash or a "
                 "killed run), cut it back to its last whole record before appending");
    app.add_option(
        "--sample-interval-ms", options.sample_interval_ms,
        "Sample interval in ms (a number), needed at the first trace that has no interval of "
        "its own nor one left by an earlier trace; from then on used for every "
        "trace that states none. A trace that states its interval keeps it.");
    app.add_flag("-q,--quiet", options.quiet, "No progress display and no summary");
    app.add_flag("--keep-going", options.keep_going,
                 "A file that would end the run (too many samples, a length or interval the "
                 "record cannot hold, a short pointer table) ends only its own turn; it is kept");
    app.add_flag("--dry-run", options.dry_run,
                 "Check and read every trace as a run would, but write, delete and ask nothing");
    app.add_option("--files-from", options.lists,
                   "Convert the paths listed in this file too, one a line (LF or CR LF; - is "
                   "standard input); after the INPUT arguments, in list order")
        ->take_all();
    app.add_flag("--null", options.null_separated, "The --files-from lists are NUL-separated");
    app.add_flag("-r,--recursive", options.recursive,
                 "A directory among the inputs stands for the SEG-2 files below it, in name "
                 "order with numbers by their value (9 before 10); what it leaves out is "
                 "counted on standard error and in the report");
    app.add_flag("--verbose", options.verbose, "Name each file that -r leaves out, and why");
    app.add_flag("--fresh-header-per-file", options.fresh_header,
                 "Clear the trace header at the start of each input file, so that no header "
                 "word of one file carries into the next (within a file words still carry)");
    app.add_option("--report", options.report_path,
                   "Write a JSON report of the run and of every input to this file");
    // A flag whose value, if any, follows "=": a bare --run-log never takes the next
    // argument (an input) for the log's name.
    CLI::Option* run_log_option =
        app.add_flag("--run-log{" + std::string(run_log_beside) + "}", options.run_log_path,
                     "Append the run's log (header, whole status log, summary) to a text "
                     "file: --run-log=FILE, or OUTPUT.log beside the output");
    app.add_option("INPUT", options.inputs, "SEG-2 input files, converted in this order");
    app.footer(exit_status_table);
    app.set_version_flag("--version", "quarvent-batch " QUARVENT_VERSION);

    try {
        app.parse(with_empty_values(app, argc, argv));
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exit_completed : exit_usage;
    }
    options.write_run_log = run_log_option->count() > 0;
    options.usage = app.help();
    return std::nullopt;
}

// The inputs: each one named, or with -r the SEG-2 files below a folder named. The exit
// status when the program ends here.
std::optional<int> gather_inputs(const BatchOptions& options, CheckedRun& checked) {
    for (const std::string& input : options.inputs) {
        const std::string path = absolute_path(input);
        std::error_code failed;
        if (options.recursive && std::filesystem::is_directory(path, failed)) {
            add_seg2_files(path, checked.request.inputs, checked.left_out);
        } else {
            checked.request.inputs.push_back(path);
        }
    }
    print_left_out(checked.left_out, options.verbose);
    // Lists and folders that hold nothing leave nothing to convert: said here, in the
    // program's own words, rather than by the window's message about the Files menu.
    if (checked.request.inputs.empty()) {
        std::fprintf(stderr,
                     "quarvent-batch: no input to convert: the lists and folders named hold "
                     "none\n");
        return exit_usage;
    }
    // The list is converted as it stands, a file named twice twice; the operator is told.
    for (const quarvent::RepeatedInput& repeated :
         quarvent::repeated_inputs(checked.request.inputs)) {
        std::fprintf(stderr,
                     "quarvent-batch: %s is named %d times among the inputs and is "
                     "converted each time\n",
                     quarvent::as_utf8(repeated.path).c_str(), repeated.times);
    }
    return std::nullopt;
}

// The report is renamed into place at the end: it must not take the place of the output
// or of an input, however their paths are spelt (".." or a link leads to the same file).
// Its folder must take a new file; both are known before anything is converted.
// The exit status when the program ends here.
std::optional<int> open_report(const BatchOptions& options, CheckedRun& checked) {
    if (!options.report_path.empty()) {
        const ReportPlace report_identity = report_place(options.report_path);
        const auto refuse = [&](const char* what, const std::string& path) {
            std::fprintf(stderr, "quarvent-batch: the report %s would replace %s %s\n",
                         quarvent::as_utf8(options.report_path).c_str(), what,
                         quarvent::as_utf8(path).c_str());
            return exit_usage;
        };
        if (options.report_path == checked.output_path ||
            report_takes(report_identity, checked.output_path)) {
            return refuse("the output", checked.output_path);
        }
        for (const std::string& input : checked.request.inputs) {
            if (options.report_path == input || report_takes(report_identity, input)) {
                return refuse("the input", input);
            }
        }
        if (!create_report_file(options.report_path, checked.report_file)) {
            std::fprintf(stderr, "quarvent-batch: the report %s cannot be created: %s\n",
                         quarvent::as_utf8(options.report_path).c_str(), std::strerror(errno));
            return exit_usage;
        }
    }
    return std::nullopt;
}

// Checks the options before anything is converted, and settles the output, the keyword
// table, the inputs and the report. The exit status when the program ends here.
std::optional<int> check_options(BatchOptions& options, CheckedRun& checked) {
    if (!number_given("--ssn", options.ssn, true) ||
        !number_given("--record-end-ms", options.record_end_ms, false) ||
        !number_given("--sample-interval-ms", options.sample_interval_ms, false)) {
        return exit_usage;
    }
    for (const std::string& list : options.lists) {
        if (!read_list(list, options.null_separated, options.inputs)) {
            std::fprintf(stderr, "quarvent-batch: the list %s cannot be read: %s\n",
                         list == "-" ? "- (standard input)" : quarvent::as_utf8(list).c_str(),
                         std::strerror(errno));
            return exit_usage;
        }
    }
    if (options.inputs.empty() && options.lists.empty()) {
        std::fprintf(stderr, "quarvent-batch: name the inputs (INPUT or --files-from)\n%s",
                     options.usage.c_str());
        return exit_usage;
    }

    // Records written into the file that also receives the log or the messages would be
    // broken by their text: refused before anything is opened.
    checked.output_path = absolute_path(options.output);
    const bool output_is_out = names_open_file(checked.output_path, STDOUT_FILENO);
    const bool output_is_err = names_open_file(checked.output_path, STDERR_FILENO);
    if (output_is_out || output_is_err) {
        // The message goes where it does not land in the output itself.
        std::FILE* to = !output_is_err ? stderr : !output_is_out ? stdout : nullptr;
        if (to != nullptr) {
            std::fprintf(to,
                         "quarvent-batch: the output %s is the same file as standard %s; "
                         "name another output file\n",
                         quarvent::as_utf8(options.output).c_str(),
                         output_is_out ? "output" : "error");
        }
        return exit_usage;
    }

    if (options.keywords.empty()) options.keywords = quarvent::default_keyword_file_path();
    checked.loaded = quarvent::load_keyword_table(options.keywords);
    if (!checked.loaded.table) {
        std::string message;
        for (char c : checked.loaded.error_title + ": " + checked.loaded.error_text) {
            if (c != '\r') message.push_back(c);  // CR LF as a newline
        }
        while (!message.empty() && message.back() == '\n') message.pop_back();
        std::fprintf(stderr, "%s\n", quarvent::as_utf8(message).c_str());
        return exit_not_completed;
    }

    if (!options.report_path.empty()) options.report_path = absolute_path(options.report_path);

    if (options.write_run_log) {
        options.run_log_path =
            options.run_log_path == run_log_beside || options.run_log_path.empty()
                ? quarvent::run_log_path_for(checked.output_path)
                : absolute_path(options.run_log_path);
        if (options.run_log_path == checked.output_path) {
            std::fprintf(stderr, "quarvent-batch: the run log and the output are one file\n");
            return exit_usage;
        }
    }

    if (const std::optional<int> status = gather_inputs(options, checked)) return status;
    checked.request.output_file_name = checked.output_path;
    checked.request.keep_going = options.keep_going;
    checked.request.dry_run = options.dry_run;
    checked.request.options.resample_factor = static_cast<std::int16_t>(options.resample);
    checked.request.options.delete_inputs = options.delete_inputs;
    checked.request.options.record_end_ms =
        quarvent::to_float(quarvent::read_number(options.record_end_ms));
    checked.request.options.fresh_header_per_file = options.fresh_header;

    return open_report(options, checked);
}

// The exit status the run's end gives: whether it reached its end, with every input
// converted completely.
int exit_status_of(const quarvent::RunReport& report, const LeftOut& left_out) {
    int status = exit_not_completed;
    if (report.outcome == quarvent::RunOutcome::completed) {
        const bool all = std::all_of(report.inputs.begin(), report.inputs.end(), [](const auto& i) {
            return i.status == quarvent::InputStatus::converted;
        });
        status = all ? exit_completed : exit_not_all_converted;
        // A folder or file -r could not read is an input not converted.
        if (left_out.unreadable > 0) status = exit_not_all_converted;
    }
    return status;
}

// The run itself, its summary on standard error, the run log and the report. The exit
// status.
int run(const BatchOptions& options, CheckedRun& checked) {
    quarvent::ConsoleAnswers answers;
    answers.ssn = options.ssn;
    answers.ssn_proposed = options.ssn == ssn_continue;
    checked.request.propose_next_ssn = answers.ssn_proposed;
    answers.trim_partial_record = options.trim_partial_record;
    answers.sample_interval_ms = options.sample_interval_ms;
    answers.append = options.append;
    answers.delete_inputs = options.delete_inputs;
    answers.dry_run = options.dry_run;
    quarvent::Progress progress = quarvent::Progress::none;
    if (!options.quiet && ::isatty(STDERR_FILENO) == 1) {
        progress =
            one_terminal() ? quarvent::Progress::shared_terminal : quarvent::Progress::own_terminal;
    }
    quarvent::ConsolePort port(answers, stdout, stderr, progress,
                               static_cast<int>(checked.request.inputs.size()));
    // The log goes to standard output as it is written; keeping it too would cost memory
    // without end on a long run.
    quarvent::StatusLog log(port, quarvent::StatusLog::Keeping::length_only);
    quarvent::HeaderTranslator translator(*checked.loaded.table, log, port);
    quarvent::TitleWatch titles(port, quarvent::TitleWatch::Counts::message_boxes_and_prompts);
    // The run log keeps the whole status log, which the console's log does not.
    std::string whole_log;
    if (options.write_run_log) log.copy_to(&whole_log);
    quarvent::RunLogHeader log_header;
    log_header.date_time = quarvent::local_date_and_time();
    log_header.program = "quarvent-batch";
    log_header.output = checked.output_path;
    log_header.options = checked.request.options;
    log_header.manual_interval_ms = options.sample_interval_ms;
    log_header.keyword_file = options.keywords;

    const auto start = std::chrono::steady_clock::now();
    quarvent::RunReport report =
        quarvent::convert_run_reporting(checked.request, titles, log, translator);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    port.finish();
    std::fflush(stdout);
    log.copy_to(nullptr);
    // A run that ended at a check wrote nothing and leaves no run log. A log that cannot be
    // written is reported; the run's result stands.
    if (options.write_run_log && report.outcome != quarvent::RunOutcome::ended_at_check) {
        const quarvent::RunEnding ending = quarvent::run_ending(
            report.outcome, quarvent::ConsolePort::stop_requested != 0, titles.last_title());
        if (const std::error_code reason = quarvent::append_run_log(
                options.run_log_path,
                quarvent::run_log_text(log_header, whole_log, report, ending))) {
            std::fprintf(stderr, "quarvent-batch: the run log %s was not written: %s\n",
                         quarvent::as_utf8(options.run_log_path).c_str(), reason.message().c_str());
        }
    }

    int status = exit_status_of(report, checked.left_out);
    if (report.outcome == quarvent::RunOutcome::ended_at_check) {
        // Nothing was converted: every input is listed as not reached.
        for (const std::string& path : checked.request.inputs) {
            quarvent::InputResult input;
            input.path = path;
            input.reason = "not reached: the run ended at a check before the first file";
            report.inputs.push_back(input);
        }
    } else if (!options.quiet) {
        print_summary(report, seconds, options.dry_run);
    }
    if (!options.report_path.empty() &&
        !write_report(options.report_path, checked.report_file,
                      report_text(report, checked.output_path, seconds, options.dry_run, status,
                                  checked.left_out))) {
        std::fprintf(stderr, "quarvent-batch: the report %s could not be written: %s\n",
                     quarvent::as_utf8(options.report_path).c_str(), std::strerror(errno));
        status = exit_not_completed;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    install_signal_handlers();
    BatchOptions options;
    if (const std::optional<int> status = parse_options(argc, argv, options)) return *status;
    CheckedRun checked;
    if (const std::optional<int> status = check_options(options, checked)) return *status;
    return run(options, checked);
}
