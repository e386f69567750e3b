#pragma once
// The output file of a run: opened for reading and writing without truncation, created when
// absent, and only ever appended to, in whole records.
//
// Records are gathered in memory and written in large blocks (small writes cost the system
// far more per byte). Every write is checked: when one fails (disk full, I/O error, file
// size limit) the file is cut back to the end of the last record that reached it whole, so
// the output always ends with a complete record, whatever happens.
//
// A file that the open created and that holds nothing when it is closed is removed again,
// so that a run which wrote nothing leaves no empty file behind.
//
// What the file already holds is judged through the same open (walk), cut back through it
// when it ends in part of a record (cut_back), and appended to through it, under a lock that
// keeps every other conversion out (lock): nothing can change the file between the check
// and the writing.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "engine/qex_reader.hpp"

namespace quarvent {

// The system calls through which the output is written and closed. Tests put failing ones in
// place to reach the error paths that real file systems seldom take.
struct OutputSystemCalls {
    ssize_t (*pwrite)(int fd, const void* bytes, std::size_t count, off_t offset);
    int (*ftruncate)(int fd, off_t length);
    int (*close)(int fd);
    int (*fsync)(int fd);

    static const OutputSystemCalls& real();
};

class OutputFile {
public:
    static constexpr std::size_t buffer_bytes = 256 * 1024;

    explicit OutputFile(const OutputSystemCalls& calls = OutputSystemCalls::real())
        : calls_(calls) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Writes what is gathered, ignoring a failure; call close to learn of one.
    ~OutputFile();

    // Opens path for appending; on failure returns the system's reason. A path that is a
    // symbolic link to nothing creates the file the link names, as an ordinary create does.
    [[nodiscard]] std::error_code open(const std::string& path);
    // Writes what is gathered and closes the file; returns the reason of a failed write or
    // of a failed close (where network file systems report deferred write errors). A file
    // that this open created and that is still empty is removed, provided its name still
    // names it.
    std::error_code close();
    bool is_open() const { return fd_ >= 0 || counting_; }

    // Checks that path could be opened for appending (an existing file opens for writing, or
    // the directory of a new one takes new files) and from then on only counts the records
    // given to it: nothing is created or written. An existing file stays open for walk.
    // Closed by close like an open file.
    [[nodiscard]] std::error_code open_for_counting(const std::string& path);

    // Whether the open file is a regular file; a device, a pipe or the like is not, and has
    // no records to append to.
    bool is_regular() const { return regular_; }
    // Whether the open file is a character device such as /dev/null: it keeps no records, so
    // there is nothing to judge or damage, and records are written into it as a sink.
    bool is_character_device() const { return character_device_; }

    enum class LockResult {
        locked,          // no other conversion can take the file until it is closed
        held_elsewhere,  // another open of the file (another conversion) holds the lock
        unsupported,     // the file system takes no lock; nothing keeps others out
    };
    // Takes an exclusive advisory lock on the open file, held until close: an
    // open-file-description lock, or a whole-file flock where the system has none. It goes
    // with the process that holds it, however that process ends. When another holds it, a
    // file this open created is left in place at close: the holder writes into it.
    LockResult lock();

    // Walks the records the file held at the open, one header read through this open each
    // (see walk_qex). Empty when nothing is open.
    QexWalk walk(const QexRecordVisitor& visit = {}) const;

    // Cuts the file back to its first bytes (where its last whole record ends), before any
    // record is gathered; the records go after them. While counting only the end moves.
    [[nodiscard]] std::error_code cut_back(std::uint64_t bytes);

    // The record bytes that reached the file (or were counted) since open.
    std::uint64_t bytes_written() const { return bytes_written_; }
    // The records that reached the file whole (or were counted) since open; records still
    // gathered, and those a failed write dropped, do not count.
    std::uint64_t records_written() const { return records_written_; }

    // Adds a record after the last one, in two steps so that it is built where it is
    // gathered: begin_record gives room for a record of the given size (flushing first when
    // the gathered records leave too little), the caller fills all of it, then commit_record
    // adds it. The record reaches the file by the next flush at the latest; a failure
    // returned here is that of a flush of earlier records.
    [[nodiscard]] std::error_code begin_record(std::size_t bytes, std::span<std::uint8_t>& room);
    [[nodiscard]] std::error_code commit_record();
    // Where begin_record(bytes) would put the next record if called now, when it can do so
    // without writing or growing the buffer first; empty otherwise (and while counting).
    // Nothing changes: a caller may build parts of a record there before it begins it.
    // After a record is committed, the gathered records are written when what is left of
    // the buffer could not take another of the same size, so that the next one has room.
    std::span<std::uint8_t> next_room(std::size_t bytes) const;

    // Writes the gathered records. On failure the records that reached the file whole stay,
    // the rest are dropped, and the system's reason is returned.
    [[nodiscard]] std::error_code flush();

    // Bytes in the file: what it held at the open and the records written since; records
    // still gathered do not count.
    std::uint64_t file_size() const { return end_; }

    // Set when a failed write left part of a record at the file's end and cutting it off
    // failed too: the reason of that failure. Cleared by open.
    std::error_code cut_back_failure() const { return cut_back_failure_; }

    // Flushes, then makes what was written durable on the disk (and, for a file this run
    // created, its directory entry), so that nothing written so far is lost in a crash.
    // Fails when the file has been removed since it was opened. A directory that cannot be
    // opened (one the user may write into but not read, as a shared drop box) is made
    // durable by syncing the whole file system the output lies on.
    [[nodiscard]] std::error_code sync();
    // The same without the flush: makes durable what has reached the file. Touches nothing
    // that gathering and writing records touch, so it may run on another thread while they
    // go on; close must wait for it.
    [[nodiscard]] std::error_code sync_written();

private:
    void remove_if_created_and_empty();

    OutputSystemCalls calls_;
    int fd_ = -1;
    std::uint64_t end_ = 0;  // the file's end: where the gathered records go
    // Gathered records: used_ bytes of capacity_, left uninitialised until a record is built.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::vector<std::size_t> record_ends_;  // offsets in buffer_ where a record ends
    std::string created_path_;  // the file this open created; empty when it existed before
    std::error_code cut_back_failure_;
    bool directory_synced_ = false;
    bool regular_ = false;
    bool character_device_ = false;
    bool counting_ = false;
    std::uint64_t bytes_written_ = 0;
    std::uint64_t records_written_ = 0;
};

}  // namespace quarvent
