#include "common/byte_source.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.hpp"

namespace quarvent {

bool MemorySource::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!fits(bytes_.size(), offset, out.size())) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

FileSource::~FileSource() { close(); }

std::error_code FileSource::open(const std::string& path) {
    close();
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {errno, std::generic_category()};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const std::error_code reason{errno, std::generic_category()};
        ::close(fd);
        return reason;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return std::make_error_code(std::errc::is_a_directory);
    }
    // A pipe or socket has no length and cannot be read at an offset.
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
        ::close(fd);
        return std::make_error_code(std::errc::invalid_seek);
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    identity_ = {info.st_dev, info.st_ino};
    // The file as the first read will see it, or older: a change between now and that read
    // makes the next recheck read it again, never the other way round.
    opened_version_ = version_of(info);
    whole_version_ = opened_version_;
    last_look_ = std::chrono::steady_clock::now();
    return {};
}

void FileSource::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    identity_ = {};
    opened_version_ = {};
    whole_bytes_ = 0;
    whole_read_ = false;
    recheck_ = false;
    whole_version_ = {};
}

bool FileSource::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (fd_ < 0 || !fits(size_, offset, out.size())) return false;
    if (size_ > whole_file_bytes) return read_file_at(offset, out);
    load_whole();
    if (!fits(whole_bytes_, offset, out.size())) return false;
    if (!out.empty()) std::memcpy(out.data(), whole_.data() + offset, out.size());
    return true;
}

std::optional<std::span<const std::uint8_t>> FileSource::contiguous() const {
    if (fd_ < 0 || size_ > whole_file_bytes) return std::nullopt;
    load_whole();
    return std::span<const std::uint8_t>(whole_.data(), static_cast<std::size_t>(whole_bytes_));
}

void FileSource::load_whole() const {
    // The bytes in memory stand for the file only while it has not changed since they were
    // read: a file cut or rewritten meanwhile is read afresh, as a read of the file would.
    if (whole_read_ && recheck_) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_look_ >= recheck_interval) {
            last_look_ = now;
            const FileVersion version_now = version();
            if (version_now != whole_version_) {
                whole_read_ = false;
                whole_version_ = version_now;
            }
        }
    }
    recheck_ = false;
    if (!whole_read_) {
        whole_.resize(static_cast<std::size_t>(size_));
        whole_bytes_ = 0;
        // A read that fails part of the way keeps what came before the failure.
        while (whole_bytes_ < size_) {
            const ssize_t got = ::pread(fd_, whole_.data() + whole_bytes_,
                                        static_cast<std::size_t>(size_ - whole_bytes_),
                                        static_cast<off_t>(whole_bytes_));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            whole_bytes_ += static_cast<std::uint64_t>(got);
        }
        whole_read_ = true;
    }
}

FileSource::FileVersion FileSource::version_of(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_size), info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
            info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

FileSource::FileVersion FileSource::version() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return {};
    return version_of(info);
}

bool FileSource::read_file_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace quarvent
