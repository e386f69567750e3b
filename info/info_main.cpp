// quarvent-info: shows what SEG-2 recordings and QEX output files hold, without changing
// or converting anything.
//
//   quarvent-info [options] FILE...
//
// Each file's kind is found from its content. Exit status: 0 when every file was read
// whole, 1 when any was damaged, unreadable, empty or of neither kind, 2 for a usage error.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/status_log.hpp"
#include "common/system_directory.hpp"
#include "engine/trace_record.hpp"
#include "inspect/file_report.hpp"
#include "inspect/first_sample.hpp"
#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"

#ifdef QUARVENT_INFO_PLOT
#include <QGuiApplication>

#include "inspect/section_loader.hpp"
#include "render/section_pages.hpp"
#include "render/section_renderer.hpp"
#endif

namespace {

constexpr int exit_whole = 0;
constexpr int exit_damaged = 1;
constexpr int exit_usage = 2;

// Nothing is shown and no question is answered: the translation's notes are not wanted.
class QuietPort final : public quarvent::WindowlessPort {
public:
    quarvent::Answer message_box(const quarvent::MessageBoxRequest&) override {
        return quarvent::Answer::ok;
    }
    std::string input_prompt(const quarvent::PromptRequest&) override { return {}; }
};

// The receiver of SEG-2 header strings: the keyword translation when the words are asked
// for, so that they are the words a run would write; otherwise one that ignores them.
struct Strings {
    QuietPort port;
    quarvent::StatusLog log{port};
    std::optional<quarvent::KeywordTable> table;
    std::unique_ptr<quarvent::HeaderStringReceiver> receiver =
        std::make_unique<quarvent::IgnoreHeaderStrings>();

    // False, with the reason on standard error unless quiet, when the keyword file cannot be
    // loaded.
    bool translate(std::string path, bool quiet = false) {
        if (path.empty()) path = quarvent::default_keyword_file_path();
        quarvent::KeywordLoadResult loaded = quarvent::load_keyword_table(path);
        if (!loaded.table) {
            if (quiet) return false;
            std::string message;
            for (char c : loaded.error_title + ": " + loaded.error_text) {
                if (c != '\r') message.push_back(c == '\n' ? ' ' : c);
            }
            std::fprintf(stderr, "quarvent-info: %s\n", quarvent::one_line(message).c_str());
            return false;
        }
        table = std::move(*loaded.table);
        receiver = std::make_unique<quarvent::HeaderTranslator>(*table, log, port);
        return true;
    }
};

// Anything a run of the options can print for one file; the output goes on standard output.
struct Shown {
    std::optional<std::vector<int>> words;
    bool strings = false;
    std::optional<std::uint64_t> samples_of;
    bool json = false;
};

// Prints trace or record n's samples, one per line; false when the file holds no such one.
// A SEG-2 trace's line holds two columns, separated by a tab: the sample as the file stores
// it, and as the output's record holds it after the trace's DESCALING_FACTOR. In JSON the
// second column is "samples_scaled".
bool print_samples(const quarvent::FileReport& report, std::uint64_t n,
                   quarvent::HeaderStringReceiver& receiver, nlohmann::json* json) {
    bool found = false;
    const bool seg2 = report.kind == quarvent::FileKind::seg2;
    quarvent::for_each_trace(report, n, n, receiver, [&](const quarvent::TraceData& trace) {
        found = trace.samples_read;
        const auto scaled = [&](float sample) {
            return quarvent::scaled_output_sample(sample, trace.scale_factor);
        };
        if (json != nullptr) {
            (*json)["samples"] = trace.samples;
            if (seg2) {
                nlohmann::json& out = (*json)["samples_scaled"] = nlohmann::json::array();
                for (float sample : trace.samples) out.push_back(scaled(sample));
            }
        } else if (seg2) {
            for (float sample : trace.samples) {
                std::printf("%.9g\t%.9g\n", static_cast<double>(sample),
                            static_cast<double>(scaled(sample)));
            }
        } else {
            for (float sample : trace.samples) {
                std::printf("%.9g\n", static_cast<double>(sample));
            }
        }
        return false;
    });
    return found;
}

#ifdef QUARVENT_INFO_PLOT
// What --plot draws: the file, the traces, the picture's size and the display mode.
struct PlotRequest {
    std::string png;
    std::string records;
    std::optional<int> ssn;
    bool caption = true;
    std::string size = "1280x900";
    std::string mode = "wiggle";
};

// More traces than this would not be told apart in a picture and would need their samples
// in memory at once; a longer range is cut, with a note.
constexpr std::uint64_t plot_trace_limit = 2000;

std::optional<QSize> parse_size(const std::string& text) {
    unsigned width = 0;
    unsigned height = 0;
    char x = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%u%c%u%c", &width, &x, &height, &extra) != 3 ||
        (x != 'x' && x != 'X') || width < 64 || height < 64 || width > 16384 || height > 16384) {
        return std::nullopt;
    }
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// The traces or records of shot ssn (word 92): the first that has it to the last of that run.
std::optional<quarvent::TraceRange> ssn_range(const quarvent::FileReport& report,
                                              quarvent::HeaderStringReceiver& receiver,
                                              std::int16_t ssn) {
    quarvent::FileSectionPages pages(report, receiver, plot_trace_limit);
    const std::optional<std::uint64_t> first = pages.first_of_ssn(ssn);
    if (!first) return std::nullopt;
    std::uint64_t last = *first;
    if (report.kind == quarvent::FileKind::qex) {
        const auto& runs = pages.index().ssn_runs;
        last = pages.count();
        for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
            if (runs[i].first_record == *first) last = runs[i + 1].first_record - 1;
        }
    } else {
        const quarvent::render::Section all = pages.load(1, pages.count());
        while (last < all.traces.size() && all.traces[last].word(92) == ssn) ++last;
    }
    return quarvent::TraceRange{*first, last};
}

// Draws the record section of one file into a PNG file; the exit status.
int plot(const PlotRequest& request, const quarvent::FileReport& report,
         quarvent::HeaderStringReceiver& receiver) {
    auto range = request.records.empty() ? std::optional(quarvent::TraceRange{})
                                         : quarvent::parse_trace_range(request.records);
    const auto size = parse_size(request.size);
    if (!range || !size || (request.mode != "wiggle" && request.mode != "density") ||
        (request.ssn && !request.records.empty())) {
        std::fprintf(stderr,
                     "quarvent-info: --records takes A-B, A- or A; --ssn N instead of --records; "
                     "--size WIDTHxHEIGHT (64 to 16384); --mode wiggle or density\n");
        return exit_usage;
    }
    if (request.ssn) {
        // The records of the shot: from the first record with that SSN to the last of its run.
        const auto shot = ssn_range(report, receiver, static_cast<std::int16_t>(*request.ssn));
        if (!shot) {
            std::fprintf(stderr, "quarvent-info: %s: no trace or record has SSN %d\n",
                         report.path.c_str(), *request.ssn);
            return exit_damaged;
        }
        range = shot;
    }
    const quarvent::LoadedSection loaded =
        quarvent::load_section(report, *range, receiver, plot_trace_limit);
    if (!loaded.problem.empty()) {
        std::fprintf(stderr, "quarvent-info: %s: nothing to plot: %s\n", report.path.c_str(),
                     loaded.problem.c_str());
        return exit_damaged;
    }
    if (loaded.cut) {
        std::fprintf(stderr, "quarvent-info: plotting traces %llu to %llu of %llu\n",
                     static_cast<unsigned long long>(loaded.first),
                     static_cast<unsigned long long>(loaded.first + plot_trace_limit - 1),
                     static_cast<unsigned long long>(loaded.available));
    }
    // The picture is drawn without a display; the application object lives only as long as
    // the drawing, so that what it holds is given back before the program ends.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int app_argc = 1;
    char app_name[] = "quarvent-info";
    char* app_argv[] = {app_name, nullptr};
    const QGuiApplication app(app_argc, app_argv);

    quarvent::render::RenderOptions options;
    options.mode = request.mode == "density" ? quarvent::render::DisplayMode::density
                                             : quarvent::render::DisplayMode::wiggle;
    options.caption = request.caption;
    const std::size_t slash = report.path.find_last_of('/');
    options.caption_file = slash == std::string::npos ? report.path : report.path.substr(slash + 1);
    const std::uint64_t shown = loaded.section.traces.size();
    const char* unit = report.kind == quarvent::FileKind::qex ? "records " : "traces ";
    options.caption_range = unit + std::to_string(loaded.first) + "-" +
                            std::to_string(loaded.first + shown - 1) + " of " +
                            std::to_string(loaded.available);
    const std::size_t readable = quarvent::render::readable_traces(loaded.section);
    if (readable < shown) {
        options.caption_range += ", " + std::to_string(readable) + " of " + std::to_string(shown) +
                                 " " + unit + "readable";
        std::fprintf(stderr, "quarvent-info: %s: %zu of %llu %sreadable\n", report.path.c_str(),
                     readable, static_cast<unsigned long long>(shown), unit);
    }
    std::string reason;
    const quarvent::render::PngResult result =
        quarvent::render::render_section_png(loaded.section, options, *size, request.png, &reason);
    if (result != quarvent::render::PngResult::written) {
        std::fprintf(stderr, "quarvent-info: %s: %s %s\n", request.png.c_str(),
                     quarvent::render::png_result_text(result), reason.c_str());
        return exit_damaged;
    }
    return report.whole() ? exit_whole : exit_damaged;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Shows what SEG-2 recordings and QEX trace files hold."};
    app.name("quarvent-info");

    std::vector<std::string> files;
    std::string words_text;
    std::string keywords;
    bool strings = false;
    std::uint64_t samples_of = 0;
    bool json = false;

    app.add_option("--words", words_text,
                   "Header words to show, one row per record or trace (e.g. 5,8,58,59,92); a "
                   "SEG-2 file's words are shown as if it were converted alone");
    app.add_option("-k,--keywords", keywords,
                   "Keyword file for the words of SEG-2 traces (default: QEXKEYWO.RD in the "
                   "system directory)");
    app.add_flag("--strings", strings, "Show the SEG-2 file and trace header strings");
    CLI::Option* samples_option =
        app.add_option("--samples", samples_of,
                       "Show trace or record N's samples, one per line; for a SEG-2 trace two "
                       "columns: raw (as the file stores it) and scaled (after the trace's "
                       "DESCALING_FACTOR, as the output holds it)")
            ->check(CLI::Range(std::uint64_t{1}, std::numeric_limits<std::uint64_t>::max()));
    app.add_flag("--json", json, "Print the same facts as JSON");
    app.add_option("FILE", files, "SEG-2 or QEX files")->required();
    app.set_version_flag("--version", "quarvent-info " QUARVENT_VERSION);
#ifdef QUARVENT_INFO_PLOT
    PlotRequest plot_request;
    app.add_option("--plot", plot_request.png,
                   "Draw the record section of the one FILE given into this PNG file");
    app.add_option("--records", plot_request.records,
                   "With --plot: the traces or records to draw, A-B, A- or A (default: all, "
                   "at most 2000)");
    app.add_option("--size", plot_request.size, "With --plot: the picture's size, WIDTHxHEIGHT")
        ->capture_default_str();
    app.add_option("--mode", plot_request.mode, "With --plot: wiggle or density")
        ->capture_default_str();
    int plot_ssn = 0;
    app.add_option("--ssn", plot_ssn,
                   "With --plot: draw the records of this shot (word 92) instead of --records")
        ->check(CLI::Range(-32768, 32767));
    bool no_caption = false;
    app.add_flag("--no-caption", no_caption,
                 "With --plot: leave out the caption strip that names the file and the settings");
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exit_whole : exit_usage;
    }

    Shown shown;
    shown.strings = strings;
    shown.json = json;
    if (samples_option->count() > 0) shown.samples_of = samples_of;
    if (!words_text.empty() || app.count("--words") > 0) {
        shown.words = quarvent::parse_word_list(words_text);
        if (!shown.words) {
            std::fprintf(stderr,
                         "quarvent-info: --words takes word numbers 1 to 120 separated by "
                         "commas, not \"%s\"\n",
                         words_text.c_str());
            return exit_usage;
        }
    }

#ifdef QUARVENT_INFO_PLOT
    const bool plotting = app.count("--plot") > 0;
    if (app.count("--ssn") > 0) plot_request.ssn = plot_ssn;
    plot_request.caption = !no_caption;
    if (plotting && (files.size() != 1 || plot_request.png.empty())) {
        std::fprintf(stderr, "quarvent-info: --plot takes a PNG file name and one FILE\n");
        return exit_usage;
    }
#else
    const bool plotting = false;
#endif

    Strings header_strings;
    // The words of SEG-2 traces (the interval of a plot among them) and the factor by which
    // the output scales their samples come from the keyword translation.
    if ((shown.words || shown.samples_of || plotting || !keywords.empty()) &&
        !header_strings.translate(keywords)) {
        return exit_usage;
    }
    // The time of a SEG-2 trace's first sample (word 55) comes through the keyword translation
    // too; without a keyword file it stays 0.
    if (!header_strings.table) (void)header_strings.translate(keywords, true);
    quarvent::HeaderStringReceiver& receiver = *header_strings.receiver;
#ifdef QUARVENT_INFO_PLOT
    if (plotting)
        return plot(plot_request, quarvent::read_file_report(files.front(), receiver), receiver);
#endif

    int status = exit_whole;
    nlohmann::json all = nlohmann::json::array();
    for (const std::string& path : files) {
        const quarvent::FileReport report = quarvent::read_file_report(path, receiver);
        if (!report.whole()) status = exit_damaged;
        const bool heading = files.size() > 1;

        if (shown.json) {
            nlohmann::json j = quarvent::report_json(report, shown.strings);
            const auto runs = quarvent::first_sample_runs(report);
            if (!runs.empty()) j["first_sample_ms"] = quarvent::first_sample_json(runs);
            if (shown.words) j["words"] = quarvent::words_json(report, *shown.words, receiver);
            if (shown.samples_of && !print_samples(report, *shown.samples_of, receiver, &j)) {
                j["samples"] = nullptr;
                j.erase("samples_scaled");
                status = exit_damaged;
            }
            all.push_back(std::move(j));
            continue;
        }
        if (shown.samples_of) {
            // Only the numbers, so that they can be read by another program.
            if (heading)
                std::printf("%s: trace %llu\n", path.c_str(),
                            static_cast<unsigned long long>(*shown.samples_of));
            std::fflush(stdout);
            if (!print_samples(report, *shown.samples_of, receiver, nullptr)) {
                std::fprintf(stderr, "quarvent-info: %s holds no readable trace %llu\n",
                             path.c_str(), static_cast<unsigned long long>(*shown.samples_of));
                status = exit_damaged;
            }
            continue;
        }
        std::fputs(quarvent::summary_text(report).c_str(), stdout);
        std::fputs(quarvent::first_sample_text(report, quarvent::first_sample_runs(report)).c_str(),
                   stdout);
        if (shown.strings) std::fputs(quarvent::strings_text(report).c_str(), stdout);
        if (shown.words && trace_count(report) > 0) {
            std::fputs(quarvent::words_table(report, *shown.words, receiver).c_str(), stdout);
        }
    }
    if (shown.json) std::printf("%s\n", nlohmann::json{{"files", all}}.dump(2).c_str());
    std::fflush(stdout);
    return status;
}
