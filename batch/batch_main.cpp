// quarvent-batch: converts SEG-2 files into one QEX output file without a window.
//
//   quarvent-batch -o OUTPUT [options] INPUT...
//
// Standard output carries the status log as the run appends it; standard error carries
// every message box as "Title: text". Exit status: 0 when the run reached its normal end,
// 1 when it ended at a check or refusal or stopped part way, 2 for a usage error.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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

std::string absolute_normal(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    return (absolute.empty() ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

extern "C" void request_stop(int) { quarvent::ConsolePort::stop_requested = 1; }

// An interrupt or termination stops the run after the record being written, so that the
// output ends with a whole record; a second interrupt ends the program at once.
void install_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exit_completed : exit_usage;
    }

    if (keywords.empty()) keywords = quarvent::default_keyword_file_path();
    const quarvent::KeywordLoadResult loaded = quarvent::load_keyword_table(keywords);
    if (!loaded.table) {
        std::string message;
        for (char c : loaded.error_title + ": " + loaded.error_text) {
            if (c != '\r') message.push_back(c);  // CR LF as a newline
        }
        while (!message.empty() && message.back() == '\n') message.pop_back();
        std::fprintf(stderr, "%s\n", quarvent::latin1_to_utf8(message).c_str());
        return exit_not_completed;
    }

    quarvent::RunRequest request;
    for (const std::string& input : inputs) request.inputs.push_back(absolute_normal(input));
    request.output_file_name = absolute_normal(output);
    request.options.resample_factor = static_cast<std::int16_t>(resample);
    request.options.delete_inputs = delete_inputs;
    request.options.record_end_ms = static_cast<float>(quarvent::read_number(record_end_ms));

    quarvent::ConsoleAnswers answers;
    answers.ssn = ssn;
    answers.sample_interval_ms = sample_interval_ms;
    answers.append = append;
    answers.delete_inputs = delete_inputs;
    const bool progress = !quiet && ::isatty(STDERR_FILENO) == 1;
    quarvent::ConsolePort port(answers, stdout, stderr, progress,
                               static_cast<int>(request.inputs.size()));
    // The log goes to standard output as it is written; keeping it too would cost memory
    // without end on a long run.
    quarvent::StatusLog log(port, quarvent::StatusLog::Keeping::length_only);
    quarvent::HeaderTranslator translator(*loaded.table, log, port);

    install_signal_handlers();
    const quarvent::RunOutcome outcome = quarvent::convert_run(request, port, log, translator);
    port.finish();
    std::fflush(stdout);
    return outcome == quarvent::RunOutcome::completed ? exit_completed : exit_not_completed;
}
