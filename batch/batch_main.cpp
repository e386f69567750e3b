// quarvent-batch: converts SEG-2 files into one QEX output file without a window.
//
//   quarvent-batch -o OUTPUT [options] INPUT...
//
// Standard output carries the status log as the run appends it; standard error carries
// every message box as "Title: text". Exit status: 0 when the run reached its normal end,
// 1 when it ended at a check or refusal or stopped part way, 2 for a usage error (an output
// that is the file standard output or standard error goes to is one).

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "batch/console_port.hpp"
#include "common/numbers.hpp"
#include "common/status_log.hpp"
#include "engine/conversion_run.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "shell/system_directory.hpp"

namespace {

constexpr int exit_completed = 0;
constexpr int exit_not_completed = 1;
constexpr int exit_usage = 2;

// The path made absolute against the working directory. Only "." and empty components are
// taken out; ".." stays for the kernel to resolve, since after a symbolic link it leads
// somewhere else than a text edit of the path would.
std::string absolute_path(const std::string& path) {
    if (path.empty()) return path;
    std::string whole = path;
    if (path.front() != '/') {
        std::error_code failed;
        const std::filesystem::path working = std::filesystem::current_path(failed);
        if (failed) return path;
        whole = working.string() + "/" + path;
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
    std::vector<std::string> inputs;

    app.add_option("-o,--output", output, "Output file; always appended to")->required();
    app.add_option("-k,--keywords", keywords,
                   "Keyword file (default: QEXKEYWO.RD in the system directory)");
    app.add_option("--ssn", ssn, "Starting SSN")->capture_default_str();
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
    app.add_flag("-q,--quiet", quiet, "No progress display");
    app.add_option("INPUT", inputs, "SEG-2 input files, converted in this order")->required();
    app.set_version_flag("--version", "quarvent-batch " QUARVENT_VERSION);

    install_signal_handlers();
    try {
        app.parse(with_empty_values(app, argc, argv));
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exit_completed : exit_usage;
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

    quarvent::RunRequest request;
    for (const std::string& input : inputs) request.inputs.push_back(absolute_path(input));
    request.output_file_name = output_path;
    request.options.resample_factor = static_cast<std::int16_t>(resample);
    request.options.delete_inputs = delete_inputs;
    request.options.record_end_ms = static_cast<float>(quarvent::read_number(record_end_ms));

    quarvent::ConsoleAnswers answers;
    answers.ssn = ssn;
    answers.sample_interval_ms = sample_interval_ms;
    answers.append = append;
    answers.delete_inputs = delete_inputs;
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

    const quarvent::RunOutcome outcome = quarvent::convert_run(request, port, log, translator);
    port.finish();
    std::fflush(stdout);
    return outcome == quarvent::RunOutcome::completed ? exit_completed : exit_not_completed;
}
