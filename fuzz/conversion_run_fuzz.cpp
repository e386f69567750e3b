// The whole conversion run on one fuzzed input file with fuzzed options, writing a real output
// file, which is then checked from its bytes.
//
// Input: when it begins with 'O' and holds at least 8 bytes, bytes 1 .. 7 are options and the
// rest is the SEG-2 file; otherwise the whole input is the file and the options are the
// defaults. Option bytes:
//   1      bits 0-1 resample factor 1, 2, 4, or 3 (which the engine must refuse safely);
//          bit 2 delete inputs; bit 3 the output already holds a record; bit 4 the input's
//          name carries digits (word 6 from the name); bits 5-7 the answer to the sample
//          interval prompt, from a small table
//   2, 3   starting SSN, little-endian
//   4 .. 7 record_end_ms, a little-endian float
//
// After the run: the output is the earlier record untouched followed by a whole number of
// records, each as long as its word 58 says; every new record carries the engine's fixed
// words and its place in the file, and at factor 1 a trace that is not scaled keeps its
// samples exactly (a separate reading of the file tells which trace and which samples); a
// deleted input had every one of its traces, at least one, written.

#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "common/byte_source.hpp"
#include "common/status_log.hpp"
#include "engine/conversion_run.hpp"
#include "engine/qex_reader.hpp"
#include "fuzz/fuzz_support.hpp"
#include "fuzz/seg2_reference.hpp"
#include "keywords/header_translation.hpp"

namespace {

using namespace quarvent;
namespace fs = std::filesystem;

struct FuzzedOptions {
    ConversionOptions options;
    bool existing_output = false;
    bool digits_in_name = false;
    std::string interval_answer = "0.25";
    std::int16_t ssn = 1;
};

constexpr const char* interval_answers[] = {"0.25", "", "1", "0", "-1", "40", "0.0001", "1e9"};

std::int16_t le16(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | (p[1] << 8)); }

// Splits the input into options and file bytes.
FuzzedOptions take_options(std::span<const std::uint8_t>& data) {
    FuzzedOptions fuzzed;
    if (data.size() < 8 || data[0] != 'O') return fuzzed;
    const std::uint8_t flags = data[1];
    constexpr std::int16_t factors[] = {1, 2, 4, 3};
    fuzzed.options.resample_factor = factors[flags & 3];
    fuzzed.options.delete_inputs = (flags & 4) != 0;
    fuzzed.existing_output = (flags & 8) != 0;
    fuzzed.digits_in_name = (flags & 16) != 0;
    fuzzed.interval_answer = interval_answers[flags >> 5];
    fuzzed.ssn = le16(&data[2]);
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(data[4 + i]) << (8 * i);
    fuzzed.options.record_end_ms = std::bit_cast<float>(bits);
    data = data.subspan(8);
    return fuzzed;
}

// A private directory on a memory file system when there is one: the run syncs the output
// before it deletes an input. Removed at exit; the path is never destroyed, so that the
// removal can still use it after the static objects are gone.
const fs::path& work_dir() {
    static const fs::path* const dir = [] {
        std::error_code ignored;
        const fs::path base =
            fs::is_directory("/dev/shm", ignored) && ::access("/dev/shm", W_OK) == 0
                ? fs::path("/dev/shm")
                : fs::temp_directory_path();
        std::string pattern = (base / "quarvent-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) fuzzing::fail("mkdtemp");
        return new fs::path(pattern);
    }();
    static const bool removal_registered = std::atexit([] {
                                               std::error_code ignored;
                                               fs::remove_all(*dir, ignored);
                                           }) == 0;
    (void)removal_registered;
    return *dir;
}

void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) fuzzing::fail("cannot write " + path.string());
}

std::vector<std::uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A record of three samples, as an earlier run would have left it.
std::vector<std::uint8_t> earlier_record() {
    std::vector<std::uint8_t> record(240 + 12, 0x5A);
    record[114] = 3;  // word 58
    record[115] = 0;
    return record;
}

std::int16_t word(const std::vector<std::uint8_t>& output, std::size_t record, int n) {
    return le16(&output[record + 2 * static_cast<std::size_t>(n - 1)]);
}

// The record at `at` against the trace it names (word 14): at factor 1 its samples are the
// first word-58 samples of the trace, unless the trace's strings may have scaled them.
void check_samples(const fuzzing::ReferenceBytes& file_bytes,
                   const fuzzing::ReferenceFile& reference, const FuzzedOptions& fuzzed,
                   const std::vector<std::uint8_t>& written, std::size_t at,
                   const std::string& where) {
    FUZZ_CHECK(reference.result == FileDescriptorResult::read, where + "from a file not read");
    const int t = word(written, at, 14);
    const fuzzing::ReferenceTrace trace = fuzzing::reference_trace(
        file_bytes, reference.pointers.at(static_cast<std::size_t>(t - 1)));
    FUZZ_CHECK(trace.result == TraceDescriptorResult::read, where + "from a trace not read");
    if (fuzzed.options.resample_factor != 1) return;
    const auto count = static_cast<std::size_t>(word(written, at, 58));
    FUZZ_CHECK(count <= static_cast<std::size_t>(trace.sample_count),
               where + "more samples than the trace has");
    if (!(fuzzed.options.record_end_ms > 0.0F)) {
        FUZZ_CHECK(count == static_cast<std::size_t>(trace.sample_count),
                   where + "a record shortened without a record length");
    }
    if (!fuzzing::checkable_format(trace.format_code)) return;
    for (const std::string& s : trace.strings) {
        if (s.find("DESCALING_FACTOR") != std::string::npos ||
            s.find("QVF_SCALE") != std::string::npos) {
            return;
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        const auto want =
            fuzzing::expected_sample(file_bytes, trace.data_offset, trace.format_code, k);
        if (!want) continue;
        std::uint32_t bits = 0;
        std::memcpy(&bits, &written[at + 240 + 4 * k], 4);
        FUZZ_CHECK(fuzzing::same_float(std::bit_cast<float>(bits), *want),
                   where + "sample " + std::to_string(k + 1) + " is not the trace's");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    const FuzzedOptions fuzzed = take_options(bytes);

    const fs::path input = work_dir() / (fuzzed.digits_in_name ? "shot0057.sg2" : "line.sg2");
    const fs::path output = work_dir() / "out.qex";
    std::error_code ignored;
    fs::remove(work_dir() / "shot0057.sg2", ignored);
    fs::remove(work_dir() / "line.sg2", ignored);
    fs::remove(output, ignored);
    write_bytes(input, bytes);
    const std::vector<std::uint8_t> before =
        fuzzed.existing_output ? earlier_record() : std::vector<std::uint8_t>{};
    if (fuzzed.existing_output) write_bytes(output, before);

    RunRequest request;
    request.inputs = {input.string()};
    request.output_file_name = output.string();
    request.options = fuzzed.options;
    request.time_of_day = [] { return std::string("12:00:00"); };

    fuzzing::SilentUi ui;
    ui.answer_prompt(Dialog::starting_ssn, std::to_string(fuzzed.ssn));
    ui.answer_prompt(Dialog::sampling_rate, fuzzed.interval_answer);
    StatusLog log(ui);
    HeaderTranslator translator(fuzzing::fixed_keyword_table(), log, ui);
    const RunOutcome outcome = convert_run(request, ui, log, translator);

    // The trace count as the file gives it; a file that is not SEG-2 writes nothing anyway.
    const std::int16_t trace_count = bytes.size() >= 8 ? le16(&bytes[6]) : 0;

    const fuzzing::ReferenceBytes file_bytes(bytes);
    const fuzzing::ReferenceFile reference = fuzzing::reference_file(file_bytes);
    const std::vector<std::uint8_t> written = read_bytes(output);
    FUZZ_CHECK(written.size() >= before.size(), "the output lost bytes it held before the run");
    FUZZ_CHECK(std::equal(before.begin(), before.end(), written.begin()),
               "the earlier record was changed");
    // The records this run appended, walked by the engine's reader, which stops at a header
    // cut short, a negative word 58 or fewer samples than word 58 says.
    const MemorySource appended{std::span(written).subspan(before.size())};
    QexReader reader(appended);
    int records = 0;
    int last_t = 0;
    while (reader.next()) {
        const std::size_t at = before.size() + static_cast<std::size_t>(reader.offset());
        const std::string where = "record " + std::to_string(records + 1) + ": ";
        FUZZ_CHECK(word(written, at, 3) == 6 && word(written, at, 4) == 8 &&
                       word(written, at, 60) == 21930,
                   where + "the fixed words 3, 4 and 60");
        FUZZ_CHECK(word(written, at, 2) == trace_count, where + "word 2 is not the trace count");
        const int t = word(written, at, 14);
        FUZZ_CHECK(t > last_t && t <= trace_count, where + "word 14 out of order");
        FUZZ_CHECK(word(written, at, 88) == (t == trace_count ? 1 : 0), where + "word 88");
        FUZZ_CHECK(word(written, at, 92) == fuzzed.ssn, where + "word 92 is not the SSN");
        FUZZ_CHECK(word(written, at, 59) >= 1, where + "no sample interval");
        check_samples(file_bytes, reference, fuzzed, written, at, where);
        last_t = t;
        ++records;
    }
    FUZZ_CHECK(reader.stop().end == QexEnd::whole,
               "the output does not end in whole records: " + describe(reader.stop()));

    const bool deleted = !fs::exists(input, ignored);
    if (deleted) {
        FUZZ_CHECK(fuzzed.options.delete_inputs, "an input deleted without being asked");
        FUZZ_CHECK(records > 0 && records == trace_count,
                   "an input deleted with " + std::to_string(records) + " of its " +
                       std::to_string(trace_count) + " traces written");
    } else if (fuzzed.options.delete_inputs && outcome == RunOutcome::completed &&
               trace_count > 0 && records == trace_count) {
        fuzzing::fail("a fully converted input was not deleted");
    }
    if (outcome == RunOutcome::completed) {
        FUZZ_CHECK(log.text().ends_with("Conversion complete @ 12:00:00\r\n"),
                   "a completed run without its last entry");
    }
    FUZZ_CHECK(log.text().find('\0') == std::string::npos, "a NUL in the status log");
    return 0;
}
