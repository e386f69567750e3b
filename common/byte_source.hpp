#pragma once
// Random-access bytes for the readers: a file or memory, so that tests and fuzzers run the
// same reading code as a conversion.

#include <sys/types.h>

#include <cstdint>
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
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// An input file opened read-only for one file's turn; closed when destroyed.
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

    // Which file it is: its device and inode number (both 0 when none is open).
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    Identity identity() const { return identity_; }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    Identity identity_;
};

}  // namespace quarvent
