#pragma once
// Random-access bytes for the readers: a file or memory, so that tests and fuzzers run the
// same reading code as a conversion.

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace quarvent {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills out with the bytes at offset. False, with out unspecified, when the range does
    // not lie wholly inside the source or the read fails; nothing outside is ever read.
    [[nodiscard]] virtual bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
    // The source's bytes from offset 0, when it holds them in memory, so that a reader of many
    // small fields can take them there instead of copying each out; nothing otherwise (then
    // read_at). The bytes may be fewer than size() says (a file cut since it was opened), and
    // they stay valid until the next read_at, contiguous, recheck or close.
    virtual std::optional<std::span<const std::uint8_t>> contiguous() const { return std::nullopt; }
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    std::optional<std::span<const std::uint8_t>> contiguous() const override { return bytes_; }

private:
    std::span<const std::uint8_t> bytes_;
};

// An input file opened read-only for one file's turn; closed when destroyed. A file of at
// most whole_file_bytes is read whole at its first read, in one system call, and served from
// memory after that: a small shot file would otherwise cost two reads per trace. Larger
// files are read where each read asks.
class FileSource final : public ByteSource {
public:
    FileSource() = default;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override;

    // Opens path for reading; on failure returns the system's reason.
    [[nodiscard]] std::error_code open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }

    std::uint64_t size() const override { return size_; }
    bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    // A small file's bytes in memory (read first, or again after a recheck that found the
    // file changed); nothing for a larger one.
    std::optional<std::span<const std::uint8_t>> contiguous() const override;

    // Which file it is: its device and inode number (both 0 when none is open).
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    Identity identity() const { return identity_; }

    static constexpr std::uint64_t whole_file_bytes = 512 * 1024;

    // Reads from now on see the file as it is now: a small file that was cut or rewritten
    // since its bytes came into memory is read again at the next read. The file is looked
    // at (one fstat) only when recheck_interval has passed since the last look, so that a
    // caller can afford a recheck once per trace: a shot file of many short traces is
    // converted well within the interval, and an fstat per trace would cost it a tenth of
    // its time. A change made within the interval is seen at the first recheck after it.
    void recheck() const { recheck_ = true; }
    static constexpr std::chrono::milliseconds recheck_interval{2};

    // What stat tells of a file's contents: a file written, cut or rewritten since has
    // another version.
    struct FileVersion {
        std::uint64_t size = 0;
        std::int64_t modified_s = 0;
        std::int64_t modified_ns = 0;
        std::int64_t changed_s = 0;
        std::int64_t changed_ns = 0;
        bool operator==(const FileVersion&) const = default;
    };
    static FileVersion version_of(const struct stat& info);
    // The file's version when it was opened (all 0 when none is open).
    FileVersion opened_version() const { return opened_version_; }

private:
    FileVersion version() const;
    // Brings a small file's bytes into memory, as they are now when a recheck is due.
    void load_whole() const;
    bool read_file_at(std::uint64_t offset, std::span<std::uint8_t> out) const;

    int fd_ = -1;
    std::uint64_t size_ = 0;
    Identity identity_;
    FileVersion opened_version_;
    // A small file's bytes, read at the first read_at (and again after a recheck that found
    // the file changed): whole_bytes_ of them, fewer when the file shrank since it was
    // opened. The capacity stays from file to file.
    mutable std::vector<std::uint8_t> whole_;
    mutable std::uint64_t whole_bytes_ = 0;
    mutable bool whole_read_ = false;
    mutable FileVersion whole_version_;  // the file when whole_ was read
    mutable bool recheck_ = false;
    mutable std::chrono::steady_clock::time_point last_look_;  // when whole_version_ was taken
};

}  // namespace quarvent
