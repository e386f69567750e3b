#pragma once
// What quarvent-info knows about a file and how it shows it: the file's kind, found by
// content, its summary, the traces or records with their header words and samples, and the
// texts and JSON the program prints.

#include <cstdint>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "common/header_string_receiver.hpp"
#include "engine/qex_reader.hpp"
#include "engine/seg2_summary.hpp"

namespace quarvent {

enum class FileKind {
    seg2,        // starts with the SEG-2 file block id (bytes 0x55 0x3A)
    qex,         // its first record is a plausible QEX record, by the rule of walk_qex that
                 // quarvent-batch applies before it appends
    unknown,     // neither
    unreadable,  // could not be opened
    empty,       // 0 bytes
};

struct FileReport {
    std::string path;
    FileKind kind = FileKind::unknown;
    std::string open_error;  // unreadable: the system's reason
    QexSummary qex;          // kind qex (and unknown: its size)
    std::string not_qex;     // unknown: why it is not QEX, for a person
    Seg2Summary seg2;        // kind seg2
    // Read whole: a QEX file of whole records, or a SEG-2 file without a damaged part.
    bool whole() const;
};

// Opens path, finds its kind and reads it through once. SEG-2 header strings go to receiver.
FileReport read_file_report(const std::string& path, HeaderStringReceiver& receiver);

// One trace of a SEG-2 file or one record of a QEX file.
struct TraceData {
    std::uint64_t number = 0;    // 1-based
    QexWords words{};            // SEG-2: the words its strings gave through the receiver
    std::vector<float> samples;  // SEG-2: as decoded, before DESCALING_FACTOR
    bool samples_read = false;   // false: a damaged trace, samples empty
    // SEG-2: the factor its strings gave (DESCALING_FACTOR through the keyword translation),
    // by which the output's record holds each sample (scaled_output_sample); 1 for QEX.
    double scale_factor = 1.0;
};

// Return false to stop.
using TraceVisitor = std::function<bool(const TraceData&)>;

// Calls visit for the traces or records numbered first to last (1-based, both included, cut
// to what the file holds), in file order, with their words and samples; memory stays that of
// one trace. A SEG-2 file's earlier traces still have their strings translated, so that the
// words are the ones a run would carry into trace first. False when the file cannot be read.
bool for_each_trace(const FileReport& report, std::uint64_t first, std::uint64_t last,
                    HeaderStringReceiver& receiver, const TraceVisitor& visit);

// The number of traces or whole records the file holds.
std::uint64_t trace_count(const FileReport& report);

// Texts for a person. Lines end in "\n"; file texts appear as UTF-8.
std::string summary_text(const FileReport& report);
std::string strings_text(const FileReport& report);
// A table with one row per trace or record and one column per word. For a SEG-2 file a line
// first says that the words are those of the file converted alone.
std::string words_table(const FileReport& report, const std::vector<int>& words,
                        HeaderStringReceiver& receiver);

// The same facts for machines; words and samples when asked for.
nlohmann::json report_json(const FileReport& report, bool with_strings);
nlohmann::json words_json(const FileReport& report, const std::vector<int>& words,
                          HeaderStringReceiver& receiver);

// Parses "5,8,58": word numbers 1 to 120, comma-separated; nothing when the text is not that.
std::optional<std::vector<int>> parse_word_list(const std::string& text);

}  // namespace quarvent
