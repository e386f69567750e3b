#pragma once
// Reads QEX output files back: a plain sequence of records, each a 240-byte header of 120
// signed 16-bit little-endian words followed by 4 x word 58 bytes of little-endian 32-bit
// float samples.
//
// The reader walks the file forward, record by record, holding one window of the file and
// one record's samples at most, so any file size is read in the same bounded memory. Where
// the file stops being a whole sequence of records it stops and says exactly why and where.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/byte_source.hpp"

namespace quarvent {

inline constexpr std::uint64_t qex_header_bytes = 240;

// How a walk over a QEX file ended.
enum class QexEnd {
    not_yet,          // the walk has not reached its end
    whole,            // the file ends exactly after its last record
    partial_header,   // fewer than 240 bytes remain after the last whole record
    partial_samples,  // a header whose word 58 asks for more sample bytes than remain
    negative_count,   // a header whose word 58 is negative
    read_failed,      // the system could not read bytes that the file holds
};

struct QexStop {
    QexEnd end = QexEnd::not_yet;
    std::uint64_t record = 0;         // 1-based number of the record that is not whole
    std::uint64_t offset = 0;         // byte offset of that record's header
    std::uint64_t bytes_present = 0;  // bytes of that record in the file
    std::uint64_t bytes_needed = 0;   // bytes the record needs (240 for a partial header)
    std::int16_t word58 = 0;          // that record's word 58, when its header is whole
};

// What went wrong, for a person: empty for a whole file.
std::string describe(const QexStop& stop);

// The 120 header words of one record: words[n] is word n, words[0] is unused.
using QexWords = std::array<std::int16_t, 121>;

class QexReader {
public:
    explicit QexReader(const ByteSource& source) : source_(source) {}

    // Moves to the next record. False at the end of the file or where the file stops being
    // whole records; stop() then says which.
    [[nodiscard]] bool next();

    // The current record (valid after next() returned true).
    std::uint64_t number() const { return number_; }  // 1-based
    std::uint64_t offset() const { return offset_; }
    std::int16_t word(int n) const;  // 1 .. 120
    QexWords words() const;
    std::int32_t sample_count() const { return word(58); }
    // The current record's samples; false when the system could not read them.
    [[nodiscard]] bool samples(std::vector<float>& out) const;

    const QexStop& stop() const { return stop_; }

private:
    // Fills header_ from the window; false when the read fails.
    bool read_header(std::uint64_t at);
    void stop_at(QexEnd end, std::uint64_t present, std::uint64_t needed);

    static constexpr std::size_t window_bytes = 1 << 20;

    const ByteSource& source_;
    std::vector<std::uint8_t> window_;
    std::uint64_t window_start_ = 0;
    std::array<std::uint8_t, qex_header_bytes> header_{};
    std::uint64_t next_offset_ = 0;
    std::uint64_t offset_ = 0;
    std::uint64_t number_ = 0;
    QexStop stop_;
};

// Counts of each value a header word takes over a file. A 16-bit word has at most 65536
// values, so the map stays bounded whatever the file size.
using QexValueCounts = std::map<std::int16_t, std::uint64_t>;

// The facts of one QEX file a person checks at a glance.
struct QexSummary {
    std::uint64_t records = 0;
    std::uint64_t bytes = 0;
    QexValueCounts sample_counts;  // word 58
    QexValueCounts intervals_us;   // word 59
    QexValueCounts channels;       // word 8
    QexValueCounts ssns;           // word 92
    std::int16_t first_ssn = 0;
    std::int16_t last_ssn = 0;  // the last whole record's word 92
    QexStop stop;
    bool whole() const { return stop.end == QexEnd::whole; }
};

// Walks the whole file once, headers only.
QexSummary summarize_qex(const ByteSource& source);

// What an existing file is, judged before anything is appended to it or before it is shown
// as QEX.
enum class QexKind {
    empty,    // 0 bytes
    qex,      // its first record is a plausible QEX record
    not_qex,  // its first 240 bytes cannot begin a QEX file
};

// The result of a walk over the record headers of a file.
struct QexWalk {
    QexKind kind = QexKind::empty;
    std::uint64_t file_bytes = 0;
    std::uint64_t records = 0;              // whole records from the start of the file
    std::uint64_t whole_bytes = 0;          // where the last whole record ends
    std::optional<std::int16_t> first_ssn;  // word 92 of the first and the last whole record
    std::optional<std::int16_t> last_ssn;
    QexStop stop;        // how the walk ended; QexEnd::whole when the records fill the file
    std::string reason;  // why the file is not QEX, for a person; empty otherwise

    // The file ends in something that is not a whole record: a record cut short, or bytes
    // after the last whole record that cannot begin one.
    bool partial() const { return kind == QexKind::qex && stop.end != QexEnd::whole; }
    bool read_failed() const { return stop.end == QexEnd::read_failed; }
};

// One whole record met by walk_qex: its 1-based number, its offset and its header bytes.
using QexRecordVisitor = std::function<void(std::uint64_t number, std::uint64_t offset,
                                            std::span<const std::uint8_t> header)>;

// Walks a file record by record, reading only each 240-byte header (one read each) and
// stepping over 4 x word 58 sample bytes, so that a file of any size costs one small read per
// record. The first record must be plausible, or the file is not QEX: a header that starts
// with SEG-2's block id, a word 58 that is zero or negative, or a record longer than the
// file. visit, when given, sees every whole record in order.
QexWalk walk_qex(const ByteSource& source, const QexRecordVisitor& visit = {});

// The first part of walk_qex alone: whether the file is empty, QEX or not QEX (with the
// reason), judged by its first record, reading one header at most. Records are not counted.
QexWalk judge_qex(const ByteSource& source);

}  // namespace quarvent
