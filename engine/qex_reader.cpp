#include "engine/qex_reader.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"

namespace quarvent {

std::string describe(const QexStop& stop) {
    const std::string where =
        "record " + std::to_string(stop.record) + " at byte " + std::to_string(stop.offset) + ": ";
    switch (stop.end) {
        case QexEnd::not_yet:
        case QexEnd::whole:
            return {};
        case QexEnd::partial_header:
            return where + "partial header, " + std::to_string(stop.bytes_present) + " of " +
                   std::to_string(stop.bytes_needed) + " bytes present";
        case QexEnd::partial_samples:
            return where + "partial record, " + std::to_string(stop.bytes_present) + " of " +
                   std::to_string(stop.bytes_needed) +
                   " bytes present (word 58 = " + std::to_string(stop.word58) + ")";
        case QexEnd::negative_count:
            return where + "negative sample count in word 58 (" + std::to_string(stop.word58) + ")";
        case QexEnd::read_failed:
            return where + "the file could not be read";
    }
    return {};
}

bool QexReader::read_header(std::uint64_t at) {
    const std::uint64_t size = source_.size();
    if (at < window_start_ || !fits(window_.size(), at - window_start_, qex_header_bytes)) {
        // Headers are read through a window of the file, so a file of short records costs
        // one system read per window rather than one per record.
        window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(window_bytes, size - at)));
        if (!source_.read_at(at, window_)) {
            window_.clear();
            return false;
        }
        window_start_ = at;
    }
    std::memcpy(header_.data(), window_.data() + (at - window_start_), qex_header_bytes);
    return true;
}

void QexReader::stop_at(QexEnd end, std::uint64_t present, std::uint64_t needed) {
    stop_.end = end;
    stop_.record = number_ + 1;
    stop_.offset = next_offset_;
    stop_.bytes_present = present;
    stop_.bytes_needed = needed;
}

bool QexReader::next() {
    if (stop_.end != QexEnd::not_yet) return false;
    const std::uint64_t size = source_.size();
    const std::uint64_t at = next_offset_;
    if (at >= size) {
        stop_at(QexEnd::whole, 0, 0);
        stop_.record = number_;
        return false;
    }
    const std::uint64_t remaining = size - at;
    if (remaining < qex_header_bytes) {
        stop_at(QexEnd::partial_header, remaining, qex_header_bytes);
        return false;
    }
    if (!read_header(at)) {
        stop_at(QexEnd::read_failed, remaining, qex_header_bytes);
        return false;
    }
    const std::int16_t count = *read_le_i16(header_, 2 * 57);
    if (count < 0) {
        stop_at(QexEnd::negative_count, std::min(remaining, qex_header_bytes), qex_header_bytes);
        stop_.word58 = count;
        return false;
    }
    const std::uint64_t needed = qex_header_bytes + 4 * static_cast<std::uint64_t>(count);
    if (remaining < needed) {
        stop_at(QexEnd::partial_samples, remaining, needed);
        stop_.word58 = count;
        return false;
    }
    ++number_;
    offset_ = at;
    next_offset_ = at + needed;
    return true;
}

std::int16_t QexReader::word(int n) const {
    if (n < 1 || n > 120) return 0;
    return *read_le_i16(header_, 2 * static_cast<std::size_t>(n - 1));
}

QexWords QexReader::words() const {
    QexWords words{};
    for (int n = 1; n <= 120; ++n) words[static_cast<std::size_t>(n)] = word(n);
    return words;
}

bool QexReader::samples(std::vector<float>& out) const {
    const auto count = static_cast<std::size_t>(std::max<std::int32_t>(0, sample_count()));
    std::vector<std::uint8_t> bytes(4 * count);
    if (!bytes.empty() && !source_.read_at(offset_ + qex_header_bytes, bytes)) return false;
    out.resize(count);
    for (std::size_t k = 0; k < count; ++k) out[k] = *read_le_f32(bytes, 4 * k);
    return true;
}

namespace {

// Counts a word's values into a map, holding a run of equal values back until it ends: a
// file's records mostly repeat their neighbour's value, and a map update per record would
// cost more than the rest of the walk.
class RunCounter {
public:
    explicit RunCounter(QexValueCounts& counts) : counts_(counts) {}
    ~RunCounter() { flush(); }
    RunCounter(const RunCounter&) = delete;
    RunCounter& operator=(const RunCounter&) = delete;

    void add(std::int16_t value) {
        if (run_ > 0 && value != value_) flush();
        value_ = value;
        ++run_;
    }
    void flush() {
        if (run_ > 0) counts_[value_] += run_;
        run_ = 0;
    }

private:
    QexValueCounts& counts_;
    std::int16_t value_ = 0;
    std::uint64_t run_ = 0;
};

}  // namespace

QexSummary summarize_qex(const ByteSource& source) {
    QexSummary summary;
    summary.bytes = source.size();
    QexReader reader(source);
    {
        RunCounter sample_counts(summary.sample_counts);
        RunCounter intervals(summary.intervals_us);
        RunCounter channels(summary.channels);
        RunCounter ssns(summary.ssns);
        while (reader.next()) {
            ++summary.records;
            sample_counts.add(reader.word(58));
            intervals.add(reader.word(59));
            channels.add(reader.word(8));
            const std::int16_t ssn = reader.word(92);
            ssns.add(ssn);
            if (summary.records == 1) summary.first_ssn = ssn;
            summary.last_ssn = ssn;
        }
    }
    summary.stop = reader.stop();
    return summary;
}

namespace {

// The first record decides whether this is a QEX file at all: walk's kind, and for a file
// that is not, its reason and stop. header receives the first header.
void judge_first_record(const ByteSource& source,
                        std::array<std::uint8_t, qex_header_bytes>& header, QexWalk& walk) {
    walk.file_bytes = source.size();
    if (walk.file_bytes == 0) {
        walk.stop.end = QexEnd::whole;
        return;
    }
    const auto stop_here = [&](QexEnd end, std::uint64_t present, std::uint64_t needed,
                               std::int16_t word58) {
        walk.stop = {end, walk.records + 1, walk.whole_bytes, present, needed, word58};
    };
    if (walk.file_bytes < qex_header_bytes) {
        walk.kind = QexKind::not_qex;
        walk.reason = "it is shorter than one record header (" + std::to_string(walk.file_bytes) +
                      " of 240 bytes)";
        stop_here(QexEnd::partial_header, walk.file_bytes, qex_header_bytes, 0);
        return;
    }
    if (!source.read_at(0, header)) {
        walk.kind = QexKind::not_qex;
        walk.reason = "it could not be read";
        stop_here(QexEnd::read_failed, walk.file_bytes, qex_header_bytes, 0);
        return;
    }
    const std::int16_t first_count = *read_le_i16(header, 2 * 57);
    const std::uint64_t first_needed =
        qex_header_bytes + 4 * static_cast<std::uint64_t>(std::max<std::int16_t>(first_count, 0));
    if (header[0] == 0x55 && header[1] == 0x3A) {
        walk.reason = "it begins with the SEG-2 file descriptor block id";
    } else if (first_count <= 0) {
        walk.reason =
            "its first header gives " + std::to_string(first_count) + " samples (word 58)";
    } else if (first_needed > walk.file_bytes) {
        walk.reason = "its first record would need " + std::to_string(first_needed) +
                      " bytes and the file holds " + std::to_string(walk.file_bytes);
    }
    if (!walk.reason.empty()) {
        walk.kind = QexKind::not_qex;
        stop_here(first_count < 0 ? QexEnd::negative_count : QexEnd::partial_samples,
                  std::min(walk.file_bytes, first_needed), first_needed, first_count);
        return;
    }
    walk.kind = QexKind::qex;
}

}  // namespace

QexWalk judge_qex(const ByteSource& source) {
    QexWalk walk;
    std::array<std::uint8_t, qex_header_bytes> header{};
    judge_first_record(source, header, walk);
    return walk;
}

QexWalk walk_qex(const ByteSource& source, const QexRecordVisitor& visit) {
    QexWalk walk;
    std::array<std::uint8_t, qex_header_bytes> header{};
    judge_first_record(source, header, walk);
    if (walk.kind != QexKind::qex) return walk;
    const auto stop_here = [&](QexEnd end, std::uint64_t present, std::uint64_t needed,
                               std::int16_t word58) {
        walk.stop = {end, walk.records + 1, walk.whole_bytes, present, needed, word58};
    };

    // The rest: one header read per record, samples stepped over.
    std::uint64_t at = 0;
    bool have_header = true;  // the first header is in hand already
    while (at < walk.file_bytes) {
        const std::uint64_t remaining = walk.file_bytes - at;
        if (remaining < qex_header_bytes) {
            stop_here(QexEnd::partial_header, remaining, qex_header_bytes, 0);
            return walk;
        }
        if (!have_header && !source.read_at(at, header)) {
            stop_here(QexEnd::read_failed, remaining, qex_header_bytes, 0);
            return walk;
        }
        have_header = false;
        const std::int16_t count = *read_le_i16(header, 2 * 57);
        if (count < 0) {
            stop_here(QexEnd::negative_count, qex_header_bytes, qex_header_bytes, count);
            return walk;
        }
        const std::uint64_t needed = qex_header_bytes + 4 * static_cast<std::uint64_t>(count);
        if (remaining < needed) {
            stop_here(QexEnd::partial_samples, remaining, needed, count);
            return walk;
        }
        ++walk.records;
        const std::int16_t ssn = *read_le_i16(header, 2 * 91);
        if (!walk.first_ssn) walk.first_ssn = ssn;
        walk.last_ssn = ssn;
        if (visit) visit(walk.records, at, header);
        at += needed;
        walk.whole_bytes = at;
    }
    walk.stop.end = QexEnd::whole;
    walk.stop.record = walk.records;
    return walk;
}

}  // namespace quarvent
