// quarvent-batch: converts SEG-2 files into one QEX output file without a window.
//
//   quarvent-batch -o OUTPUT [options] INPUT...
//
// Standard output carries the status log as the run appends it; standard error carries
// every message box as "Title: text" (followed by the input it concerns) and, at the end, a
// summary of the run. Exit status: 0 when the run reached its normal end with every input
// converted completely, 3 when it reached its end but some input was not, 1 when it ended
// at a check or refusal or stopped part way, 2 for a usage error (an output that is the file
// standard output or standard error goes to is one).

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
#include "common/numbers.hpp"
#include "common/status_log.hpp"
#include "engine/conversion_run.hpp"
#include "engine/file_probe.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "shell/system_directory.hpp"

namespace {

constexpr int exit_completed = 0;
constexpr int exit_not_completed = 1;
constexpr int exit_usage = 2;
constexpr int exit_not_all_converted = 3;

constexpr const char* exit_status_table =
    "Exit status:\n"
    "  0  the run reached its end and every input was converted completely\n"
    "  1  the run ended at a check or a refused question, or stopped part way, or the\n"
    "     report could not be written\n"
    "  2  usage error\n"
    "  3  the run reached its end, but at least one input was not converted completely\n";

// The paths of a list: one a line, or NUL-separated. Empty entries are left out. Returns
// false when the list cannot be read.
bool read_list(const std::string& from, bool null_separated, std::vector<std::string>& paths) {
    std::string text;
    if (from == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
        if (std::cin.bad()) return false;
    } else {
        std::ifstream in(from, std::ios::binary);
        if (!in) return false;
        text.assign(std::istreambuf_iterator<char>(in), {});
        if (in.bad()) return false;
    }
    const char separator = null_separated ? '\0' : '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) paths.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

// The file starts with the SEG-2 file descriptor block's identifier (little-endian form).
bool starts_as_seg2(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    unsigned char first[2] = {};
    const ssize_t got = ::read(fd, first, sizeof first);
    ::close(fd);
    return got == 2 && first[0] == 0x55 && first[1] == 0x3A;
}

// The SEG-2 files below directory, in name order: each directory's entries sorted by name,
// a subdirectory's files where its name falls. Links to directories are not followed, so a
// link back up cannot loop.
void add_seg2_files(const std::filesystem::path& directory, std::vector<std::string>& paths) {
    std::error_code failed;
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(directory, failed)) {
        entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    for (const std::filesystem::path& entry : entries) {
        const auto status = std::filesystem::symlink_status(entry, failed);
        if (std::filesystem::is_directory(status)) {
            add_seg2_files(entry, paths);
        } else if (std::filesystem::is_regular_file(std::filesystem::status(entry, failed)) &&
                   starts_as_seg2(entry)) {
            paths.push_back(entry.string());
        }
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

// Writes the report next to its final name and renames it into place, so that a reader
// finds either no report or a whole one. False with errno's reason when that fails.
bool write_report(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
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
                        double seconds, bool dry_run, int exit_status) {
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
                         : nlohmann::json(report.next_ssn)},
        {"elapsed_seconds", seconds},
        {"megabytes_per_second", megabytes_per_second(report.bytes_written, seconds)},
        {"inputs", inputs},
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

// True when path names the file open as descriptor fd.
bool names_open_file(const std::string& path, int fd) {
    struct stat named {};
    struct stat open {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(fd, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
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
// that appending runs (and the chunks of one list) never reuse an SSN. A new or empty
// output starts at 1. After 32767 the answer is out of range and the run says so.
constexpr std::string_view ssn_continue = "continue";

std::string continued_ssn(const std::string& output) {
    const std::optional<std::int16_t> last = quarvent::last_record_ssn(output);
    return last ? std::to_string(static_cast<int>(*last) + 1) : "1";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Converts SEG-2 seismic recordings into one QEX trace file."};
    app.name("quarvent-batch");

    std::string output;
    std::string keywords;
    std::string ssn = "1";
    int resample = 1;
    std::string record_end_ms = "0";
    bool delete_inputs = false;
    bool append = false;
    std::string sample_interval_ms;
    bool quiet = false;
    bool keep_going = false;
    bool dry_run = false;
    std::vector<std::string> lists;
    bool null_separated = false;
    bool recursive = false;
    std::string report_path;
    std::vector<std::string> inputs;

    app.add_option("-o,--output", output, "Output file; always appended to")->required();
    app.add_option("-k,--keywords", keywords,
                   "Keyword file (default: QEXKEYWO.RD in the system directory)");
    app.add_option("--ssn", ssn,
                   "Starting SSN; \"continue\": the one after the last record's SSN (word 92) "
                   "in the output, 1 for a new output")
        ->capture_default_str();
    app.add_option("--resample", resample, "Resample factor: 1, 2 or 4")
        ->check(CLI::Validator(
            [](const std::string& value) {
                return value.empty() ? std::string("an empty value is not 1, 2 or 4")
                                     : std::string();
            },
            "", "not empty"))
        ->check(CLI::IsMember({1, 2, 4}))
        ->capture_default_str();
    app.add_option("--record-end-ms", record_end_ms, "Record length in ms; 0 keeps each length")
        ->capture_default_str();
    app.add_flag("--delete-inputs", delete_inputs,
                 "Delete each input whose traces were all converted");
    app.add_flag("--append", append, "Append to an existing output file");
    app.add_option("--sample-interval-ms", sample_interval_ms,
                   "Sample interval in ms, needed at the first trace that has no interval of "
                   "its own nor one left by an earlier trace; from then on used for every "
                   "trace that states none. A trace that states its interval keeps it.");
    app.add_flag("-q,--quiet", quiet, "No progress display and no summary");
    app.add_flag("--keep-going", keep_going,
                 "A file that would end the run (too many samples, a length or interval the "
                 "record cannot hold, a short pointer table) ends only its own turn; it is kept");
    app.add_flag("--dry-run", dry_run,
                 "Check and read every trace as a run would, but write, delete and ask nothing");
    app.add_option("--files-from", lists,
                   "Convert the paths listed in this file too, one a line (- is standard "
                   "input); after the INPUT arguments, in list order")
        ->take_all();
    app.add_flag("--null", null_separated, "The --files-from lists are NUL-separated");
    app.add_flag("-r,--recursive", recursive,
                 "A directory among the inputs stands for the SEG-2 files below it, in name "
                 "order");
    app.add_option("--report", report_path,
                   "Write a JSON report of the run and of every input to this file");
    app.add_option("INPUT", inputs, "SEG-2 input files, converted in this order");
    app.footer(exit_status_table);
    app.set_version_flag("--version", "quarvent-batch " QUARVENT_VERSION);

    install_signal_handlers();
    try {
        app.parse(with_empty_values(app, argc, argv));
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exit_completed : exit_usage;
    }
    for (const std::string& list : lists) {
        if (!read_list(list, null_separated, inputs)) {
            std::fprintf(stderr, "quarvent-batch: the list %s cannot be read: %s\n",
                         quarvent::as_utf8(list).c_str(), std::strerror(errno));
            return exit_usage;
        }
    }
    if (inputs.empty() && lists.empty()) {
        std::fprintf(stderr, "quarvent-batch: name the inputs (INPUT or --files-from)\n%s",
                     app.help().c_str());
        return exit_usage;
    }

    // Records written into the file that also receives the log or the messages would be
    // broken by their text: refused before anything is opened.
    const std::string output_path = absolute_path(output);
    const bool output_is_out = names_open_file(output_path, STDOUT_FILENO);
    const bool output_is_err = names_open_file(output_path, STDERR_FILENO);
    if (output_is_out || output_is_err) {
        // The message goes where it does not land in the output itself.
        std::FILE* to = !output_is_err ? stderr : !output_is_out ? stdout : nullptr;
        if (to != nullptr) {
            std::fprintf(to,
                         "quarvent-batch: the output %s is the same file as standard %s; "
                         "name another output file\n",
                         quarvent::as_utf8(output).c_str(), output_is_out ? "output" : "error");
        }
        return exit_usage;
    }

    if (keywords.empty()) keywords = quarvent::default_keyword_file_path();
    const quarvent::KeywordLoadResult loaded = quarvent::load_keyword_table(keywords);
    if (!loaded.table) {
        std::string message;
        for (char c : loaded.error_title + ": " + loaded.error_text) {
            if (c != '\r') message.push_back(c);  // CR LF as a newline
        }
        while (!message.empty() && message.back() == '\n') message.pop_back();
        std::fprintf(stderr, "%s\n", quarvent::as_utf8(message).c_str());
        return exit_not_completed;
    }

    if (!report_path.empty()) {
        report_path = absolute_path(report_path);
        if (report_path == output_path) {
            std::fprintf(stderr, "quarvent-batch: the report and the output are one file\n");
            return exit_usage;
        }
    }

    quarvent::RunRequest request;
    for (const std::string& input : inputs) {
        const std::string path = absolute_path(input);
        std::error_code failed;
        if (recursive && std::filesystem::is_directory(path, failed)) {
            add_seg2_files(path, request.inputs);
        } else {
            request.inputs.push_back(path);
        }
    }
    request.output_file_name = output_path;
    request.keep_going = keep_going;
    request.dry_run = dry_run;
    request.options.resample_factor = static_cast<std::int16_t>(resample);
    request.options.delete_inputs = delete_inputs;
    request.options.record_end_ms = quarvent::to_float(quarvent::read_number(record_end_ms));

    quarvent::ConsoleAnswers answers;
    answers.ssn = ssn == ssn_continue ? continued_ssn(request.output_file_name) : ssn;
    answers.sample_interval_ms = sample_interval_ms;
    answers.append = append;
    answers.delete_inputs = delete_inputs;
    answers.dry_run = dry_run;
    quarvent::Progress progress = quarvent::Progress::none;
    if (!quiet && ::isatty(STDERR_FILENO) == 1) {
        progress =
            one_terminal() ? quarvent::Progress::shared_terminal : quarvent::Progress::own_terminal;
    }
    quarvent::ConsolePort port(answers, stdout, stderr, progress,
                               static_cast<int>(request.inputs.size()));
    // The log goes to standard output as it is written; keeping it too would cost memory
    // without end on a long run.
    quarvent::StatusLog log(port, quarvent::StatusLog::Keeping::length_only);
    quarvent::HeaderTranslator translator(*loaded.table, log, port);

    const auto start = std::chrono::steady_clock::now();
    quarvent::RunReport report = quarvent::convert_run_reporting(request, port, log, translator);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    port.finish();
    std::fflush(stdout);

    int status = exit_not_completed;
    if (report.outcome == quarvent::RunOutcome::completed) {
        const bool all = std::all_of(report.inputs.begin(), report.inputs.end(), [](const auto& i) {
            return i.status == quarvent::InputStatus::converted;
        });
        status = all ? exit_completed : exit_not_all_converted;
    }
    if (report.outcome == quarvent::RunOutcome::ended_at_check) {
        // Nothing was converted: every input is listed as not reached.
        for (const std::string& path : request.inputs) {
            quarvent::InputResult input;
            input.path = path;
            input.reason = "not reached: the run ended at a check before the first file";
            report.inputs.push_back(input);
        }
    } else if (!quiet) {
        print_summary(report, seconds, dry_run);
    }
    if (!report_path.empty() &&
        !write_report(report_path, report_text(report, output_path, seconds, dry_run, status))) {
        std::fprintf(stderr, "quarvent-batch: the report %s could not be written: %s\n",
                     quarvent::as_utf8(report_path).c_str(), std::strerror(errno));
        status = exit_not_completed;
    }
    return status;
}
