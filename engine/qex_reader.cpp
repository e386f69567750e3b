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

}  // namespace quarvent
