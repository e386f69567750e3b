#include "engine/qex_index.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace quarvent {

namespace {

std::int16_t le_i16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[at]) |
                                     static_cast<std::uint16_t>(bytes[at + 1] << 8));
}

constexpr std::size_t ssn_at = 2 * (92 - 1);

}  // namespace

std::optional<std::uint64_t> QexIndex::first_of_ssn(std::int16_t ssn) const {
    const auto run = std::find_if(ssn_runs.begin(), ssn_runs.end(),
                                  [&](const SsnRun& r) { return r.ssn == ssn; });
    if (run == ssn_runs.end()) return std::nullopt;
    return run->first_record;
}

QexIndex index_qex(const ByteSource& source) {
    QexIndex index;
    index.walk = walk_qex(source, [&](std::uint64_t number, std::uint64_t offset,
                                      std::span<const std::uint8_t> header) {
        index.offsets.push_back(offset);
        const std::int16_t ssn = le_i16(header, ssn_at);
        if (index.ssn_runs.empty() || index.ssn_runs.back().ssn != ssn) {
            index.ssn_runs.push_back({ssn, number});
        }
    });
    index.offsets.shrink_to_fit();
    index.ssn_runs.shrink_to_fit();
    return index;
}

bool read_qex_record(const ByteSource& source, std::uint64_t offset, QexWords& words,
                     std::vector<float>& samples) {
    std::array<std::uint8_t, qex_header_bytes> header{};
    if (!source.read_at(offset, header)) return false;
    words = {};
    for (std::size_t n = 1; n <= 120; ++n) words[n] = le_i16(header, 2 * (n - 1));
    const auto count = static_cast<std::size_t>(std::max<std::int16_t>(words[58], 0));
    std::vector<std::uint8_t> bytes(4 * count);
    if (!bytes.empty() && !source.read_at(offset + qex_header_bytes, bytes)) return false;
    samples.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t bits = static_cast<std::uint32_t>(bytes[4 * k]) |
                                   static_cast<std::uint32_t>(bytes[4 * k + 1]) << 8 |
                                   static_cast<std::uint32_t>(bytes[4 * k + 2]) << 16 |
                                   static_cast<std::uint32_t>(bytes[4 * k + 3]) << 24;
        std::memcpy(&samples[k], &bits, sizeof bits);
    }
    return true;
}

}  // namespace quarvent
