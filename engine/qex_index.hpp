#pragma once
// Where each record of a QEX output file starts, so that any record of a file of any size can
// be read without walking to it: 8 bytes a record (100,000 records take 0.8 MB), plus one
// entry for each run of records with the same SSN (word 92), which finds a shot by its SSN.
// Built by the header walk, which reads 240 bytes a record and steps over the samples.

#include <cstdint>
#include <optional>
#include <vector>

#include "common/byte_source.hpp"
#include "engine/qex_reader.hpp"

namespace quarvent {

struct QexIndex {
    std::vector<std::uint64_t> offsets;  // offsets[n - 1]: where record n's header starts
    // The first record of each run of records with the same SSN, in file order.
    struct SsnRun {
        std::int16_t ssn = 0;
        std::uint64_t first_record = 0;  // 1-based
    };
    std::vector<SsnRun> ssn_runs;
    QexWalk walk;  // how the walk ended

    std::uint64_t records() const { return offsets.size(); }
    // The first record whose SSN is ssn; nothing when no record has it.
    std::optional<std::uint64_t> first_of_ssn(std::int16_t ssn) const;
};

QexIndex index_qex(const ByteSource& source);

// Reads the record whose header starts at offset: its words and samples. False when the
// bytes cannot be read or the record runs past the end of the source.
bool read_qex_record(const ByteSource& source, std::uint64_t offset, QexWords& words,
                     std::vector<float>& samples);

}  // namespace quarvent
