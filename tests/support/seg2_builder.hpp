#pragma once
// Builds SEG-2 files in memory for tests, well-formed by default and broken on request.
//
//   Seg2Builder file;
//   file.file_string("ACQUISITION_DATE 07/MAR/2018");
//   file.add_trace(Seg2Trace::int16({1, -2, 3}).with_string("SAMPLE_INTERVAL 0.00025"));
//   std::vector<std::uint8_t> bytes = file.build();

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarvent::testing {

struct Seg2Trace {
    std::uint16_t block_id = 0x4422;
    std::optional<std::uint16_t> block_size;      // default: 32 + strings, rounded up to 4
    std::optional<std::int32_t> data_block_size;  // default: the data's size
    std::int32_t sample_count = 0;
    std::uint8_t format_code = 4;
    std::vector<std::string> strings;  // each written with its terminating zero
    std::vector<std::uint8_t> data;    // the data block as written
    // A block size inside the strings cuts them there, the data following; with this set the
    // strings stay whole (a list longer than a block size can state) and the data is written
    // over their bytes at the block size.
    bool data_over_strings = false;

    static Seg2Trace int16(const std::vector<std::int16_t>& samples);
    static Seg2Trace int32(const std::vector<std::int32_t>& samples);
    static Seg2Trace float32(const std::vector<float>& samples);
    static Seg2Trace float64(const std::vector<double>& samples);
    // Raw data block bytes with the given format code and sample count.
    static Seg2Trace raw(std::uint8_t format_code, std::int32_t sample_count,
                         std::vector<std::uint8_t> data);

    Seg2Trace& with_string(std::string s) {
        strings.push_back(std::move(s));
        return *this;
    }
};

class Seg2Builder {
public:
    std::uint16_t block_id = 0x3A55;
    std::int16_t revision = 1;
    std::optional<std::uint16_t> pointer_block_size;  // default: 4 * traces
    std::optional<std::int16_t> trace_count;          // default: number of traces
    std::vector<std::string> file_strings;            // each written with its terminating zero
    // Pointer table override: when set, these values are written instead of the real offsets
    // (indices into the built traces can be taken from trace_offsets() of a first build).
    std::optional<std::vector<std::int32_t>> pointers;
    // Raw string-list bytes written instead of the file strings (length words included).
    std::optional<std::vector<std::uint8_t>> raw_file_string_list;

    Seg2Builder& file_string(std::string s) {
        file_strings.push_back(std::move(s));
        return *this;
    }
    Seg2Builder& add_trace(Seg2Trace trace) {
        traces.push_back(std::move(trace));
        return *this;
    }

    std::vector<Seg2Trace> traces;

    std::vector<std::uint8_t> build() const;
    // Offsets of the trace descriptor blocks in the file build() makes.
    std::vector<std::int32_t> trace_offsets() const;
};

// A QEX output file as a run writes it, shot after shot: record n (1-based) belongs to shot
// (n - 1) / per_shot, whose SSN (word 92) is first_ssn plus that shot's index; word 8 is its
// channel within the shot (1 to per_shot), word 55 delay_ms, word 58 samples, word 59
// interval_us, and sample (n % samples) holds n, the others 0. Sparse: the samples are left as
// holes, so that a file of gigabytes costs almost no disk and little time to write.
struct QexOutput {
    std::uint64_t records = 0;
    std::int16_t samples = 100;
    std::int16_t interval_us = 1000;
    std::int16_t delay_ms = 0;
    std::uint64_t per_shot = 24;
    std::int16_t first_ssn = 1;
    bool sparse = false;
};
void write_qex_output(const std::string& path, const QexOutput& output);

// A file whose pointer table holds the offset of its one trace descriptor pointers times,
// that descriptor holding strings strings of string_bytes bytes each ("NOTE xxx..."): what a
// reader that keeps each trace's strings would hold pointers x strings x string_bytes of.
Seg2Builder shared_descriptor_file(int pointers, int strings, std::size_t string_bytes);

// Writes bytes to path (replacing the file); fails the test on error.
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_file(const std::string& path);

// QEX records as a conversion writes them, one per SSN given (word 92), each of `samples`
// samples (word 58) of 0.
std::vector<std::uint8_t> qex_records(const std::vector<std::int16_t>& ssns, int samples);

}  // namespace quarvent::testing
