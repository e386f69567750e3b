#include "common/byte_source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> counting(std::size_t size, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

// Small files are read whole once and then served from memory; larger ones are read where
// asked. Either way a read sees the bytes of the file, and after a recheck a file cut or
// rewritten since is read as it is now.
TEST(file_source, reads_see_the_file_and_a_recheck_sees_it_as_it_is_now) {
    enum class Change { none, cut, rewritten };
    enum class Recheck { none, at_once, after_the_interval };
    struct Row {
        std::size_t size;
        Change change;
        Recheck recheck;
        bool read_ok;
        std::uint8_t first;  // of the bytes read at offset 0
    };
    const std::size_t small = 1000;
    const std::size_t large = FileSource::whole_file_bytes + 1000;
    const Row rows[] = {
        {small, Change::none, Recheck::after_the_interval, true, 0},
        {small, Change::cut, Recheck::after_the_interval, false, 0},
        {small, Change::rewritten, Recheck::after_the_interval, true, 100},
        // Without a recheck, or with one before the interval is over, a small file's reads
        // come from what was read first.
        {small, Change::cut, Recheck::none, true, 0},
        {small, Change::rewritten, Recheck::none, true, 0},
        {small, Change::cut, Recheck::at_once, true, 0},
        {small, Change::rewritten, Recheck::at_once, true, 0},
        // A large file is read where asked, every time.
        {large, Change::none, Recheck::none, true, 0},
        {large, Change::cut, Recheck::none, false, 0},
        {large, Change::rewritten, Recheck::at_once, true, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "size " << row.size << " change " << static_cast<int>(row.change)
                     << " recheck " << static_cast<int>(row.recheck));
        testing::TempDir dir;
        const std::string path = dir.file("in.sg2");
        write_bytes(path, counting(row.size, 0));
        FileSource source;
        ASSERT_FALSE(source.open(path));
        EXPECT_EQ(source.size(), row.size);
        std::vector<std::uint8_t> out(16);
        ASSERT_TRUE(source.read_at(row.size - 16, out));
        const auto written = counting(row.size, 0);
        EXPECT_EQ(out, std::vector<std::uint8_t>(written.end() - 16, written.end()));
        EXPECT_FALSE(source.read_at(row.size - 15, out));  // past the end

        if (row.change == Change::cut) std::filesystem::resize_file(path, 10);
        if (row.change == Change::rewritten) {
            std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
            const auto bytes = counting(row.size, 100);
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        if (row.recheck == Recheck::after_the_interval) {
            std::this_thread::sleep_for(FileSource::recheck_interval +
                                        std::chrono::milliseconds(1));
        }
        if (row.recheck != Recheck::none) source.recheck();
        EXPECT_EQ(source.read_at(256, out), row.read_ok);
        // A small file's bytes in memory are the ones its reads give; a large one has none.
        const auto whole = source.contiguous();
        ASSERT_EQ(whole.has_value(), row.size == small);
        if (whole) {
            EXPECT_EQ(whole->size() >= 272, row.read_ok);
        }
        if (row.read_ok) {
            const auto expected = counting(row.size, row.first);
            EXPECT_EQ(out,
                      std::vector<std::uint8_t>(expected.begin() + 256, expected.begin() + 272));
            if (whole) {
                EXPECT_TRUE(std::equal(out.begin(), out.end(), whole->begin() + 256));
            }
        }
    }
}

TEST(file_source, a_closed_source_reads_nothing_and_a_reopened_one_reads_the_new_file) {
    testing::TempDir dir;
    write_bytes(dir.file("a"), counting(100, 0));
    write_bytes(dir.file("b"), counting(50, 7));
    FileSource source;
    std::vector<std::uint8_t> out(4);
    ASSERT_FALSE(source.open(dir.file("a")));
    ASSERT_TRUE(source.read_at(0, out));
    source.close();
    EXPECT_FALSE(source.read_at(0, out));
    ASSERT_FALSE(source.open(dir.file("b")));
    ASSERT_TRUE(source.read_at(0, out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{7, 8, 9, 10}));
    EXPECT_FALSE(source.read_at(48, out));
}

}  // namespace
}  // namespace quarvent
