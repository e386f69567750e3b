// The output's record buffer: where the next record will be built, and when the gathered
// records are written.

#include "engine/output_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::TempDir;

TEST(output_file, next_room_is_where_begin_record_builds_and_records_go_out_before_it_runs_short) {
    struct Step {
        std::size_t bytes;         // the record's size
        bool room_before;          // next_room offers room for it
        std::uint64_t file_after;  // bytes in the file after it is committed
    };
    // The buffer holds 262,144 bytes. A commit that leaves less room than the record just
    // committed writes the gathered records; a record that does not fit is preceded by a
    // write and gets no room in advance.
    const Step steps[] = {
        {100000, false, 0},                              // no buffer yet
        {100000, true, 200000},                          // 62,144 left: written
        {100000, true, 200000},  {30000, true, 200000},  // 132,144 left
        {240000, false, 570000},  // does not fit: the 130,000 go first, then it goes itself
        {244, true, 570000},
    };
    TempDir dir;
    const std::string path = dir.file("out.qex");
    OutputFile output;
    ASSERT_FALSE(output.open(path));
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("record " + std::to_string(++n));
        const std::span<std::uint8_t> room = output.next_room(step.bytes);
        EXPECT_EQ(!room.empty(), step.room_before);
        if (!room.empty()) {
            EXPECT_EQ(room.size(), step.bytes);
            std::memset(room.data(), n, room.size());  // built before it begins
        }
        std::span<std::uint8_t> record;
        ASSERT_FALSE(output.begin_record(step.bytes, record));
        if (!room.empty()) {
            EXPECT_EQ(record.data(), room.data());
            EXPECT_EQ(record[step.bytes - 1], n);
        } else {
            std::memset(record.data(), n, record.size());
        }
        ASSERT_FALSE(output.commit_record());
        EXPECT_EQ(output.file_size(), step.file_after);
    }
    ASSERT_FALSE(output.close());
    // Every record whole, in order, with what was built in it.
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(bytes.size(), 570244U);
    std::size_t at = 0;
    n = 0;
    for (const Step& step : steps) {
        ++n;
        const std::size_t end = bytes.find_first_not_of(static_cast<char>(n), at);
        EXPECT_EQ(std::min(end, bytes.size()), at + step.bytes) << n;
        at += step.bytes;
    }

    // A counting output builds nothing ahead.
    OutputFile counting;
    ASSERT_FALSE(counting.open_for_counting(path));
    std::span<std::uint8_t> record;
    ASSERT_FALSE(counting.begin_record(244, record));
    ASSERT_FALSE(counting.commit_record());
    EXPECT_TRUE(counting.next_room(244).empty());
    ASSERT_FALSE(counting.close());
}

}  // namespace
}  // namespace quarvent
