#pragma once
// The output file of a run: opened for reading and writing without truncation, created when
// absent, and only ever appended to, one whole record at a time.
//
// Every write is checked. When a record cannot be written whole (disk full, I/O error, file
// size limit) the file is cut back to where that record began, so the output always ends
// with a complete record, whatever happens.

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace quarvent {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Opens path for appending; on failure returns the system's reason.
    [[nodiscard]] std::error_code open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }

    // Appends record whole, or not at all: on failure the file is cut back to its previous
    // end and the system's reason is returned.
    [[nodiscard]] std::error_code append_record(std::span<const std::uint8_t> record);

    // Flushes what has been written to the disk (and, for a file this run created, its
    // directory entry), so that nothing written so far is lost in a crash.
    [[nodiscard]] std::error_code sync();

    // The end of the last complete record: where the next one goes.
    std::uint64_t end() const { return end_; }

private:
    int fd_ = -1;
    std::uint64_t end_ = 0;
    std::string path_;
    bool created_ = false;  // the file did not exist before open
    bool directory_synced_ = false;
};

}  // namespace quarvent
