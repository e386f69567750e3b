#include "engine/file_probe.hpp"

#include <sys/stat.h>

#include <array>
#include <map>
#include <utility>

#include "common/bytes.hpp"
#include "engine/qex_reader.hpp"
#include "engine/seg2_reader.hpp"

namespace quarvent {

std::optional<int> seg2_trace_count(const ByteSource& input) {
    std::array<std::uint8_t, 8> bytes{};
    if (!input.read_at(0, bytes)) return std::nullopt;
    if (read_le_u16(bytes, 0) != file_block_id) return std::nullopt;
    const std::optional<std::int16_t> count = read_le_i16(bytes, 6);
    if (!count) return std::nullopt;
    return *count < 0 ? 0 : *count;
}

std::optional<int> seg2_trace_count(const std::string& path) {
    FileSource input;
    if (input.open(path)) return std::nullopt;
    return seg2_trace_count(input);
}

std::optional<std::int16_t> last_record_ssn(const ByteSource& output) {
    QexReader reader(output);
    std::optional<std::int16_t> ssn;
    while (reader.next()) ssn = reader.word(92);
    return ssn;
}

std::optional<std::int16_t> last_record_ssn(const std::string& path) {
    FileSource output;
    if (output.open(path)) return std::nullopt;
    return last_record_ssn(output);
}

std::vector<RepeatedInput> repeated_inputs(const std::vector<std::string>& inputs) {
    // Each file by its device and inode; a name that cannot be looked at by its text.
    using Key = std::pair<std::pair<dev_t, ino_t>, std::string>;
    std::map<Key, std::size_t> seen;  // index into repeated
    std::vector<RepeatedInput> repeated;
    for (const std::string& path : inputs) {
        struct stat info {};
        const Key key = ::stat(path.c_str(), &info) == 0
                            ? Key{{info.st_dev, info.st_ino}, std::string()}
                            : Key{{0, 0}, path};
        const auto [at, added] = seen.try_emplace(key, repeated.size());
        if (added) repeated.push_back({path, 0});
        ++repeated[at->second].times;
    }
    std::erase_if(repeated, [](const RepeatedInput& input) { return input.times < 2; });
    return repeated;
}

}  // namespace quarvent
