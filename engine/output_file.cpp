#include "engine/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quarvent {

namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

}  // namespace

OutputFile::~OutputFile() { (void)close(); }

std::error_code OutputFile::open(const std::string& path) {
    (void)close();
    // O_EXCL first tells whether this open creates the file.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return last_error();
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const std::error_code reason = last_error();
        ::close(fd);
        return reason;
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode) && !S_ISCHR(info.st_mode)) {
        ::close(fd);
        return std::make_error_code(std::errc::invalid_argument);
    }
    fd_ = fd;
    // A device has no length: records go from its start.
    end_ = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    path_ = path;
    created_ = created;
    directory_synced_ = false;
    return {};
}

std::error_code OutputFile::close() {
    if (fd_ < 0) return {};
    const std::error_code reason = flush();
    ::close(fd_);
    fd_ = -1;
    end_ = 0;
    path_.clear();
    return reason;
}

std::error_code OutputFile::begin_record(std::size_t bytes, std::span<std::uint8_t>& room) {
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    if (used_ > 0 && used_ + bytes > buffer_bytes) {
        if (const std::error_code reason = flush()) return reason;
    }
    if (used_ + bytes > capacity_) {
        // Only a record larger than the whole buffer grows it (never one of this program's).
        const std::size_t capacity = std::max(buffer_bytes, used_ + bytes);
        auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
        if (used_ > 0) std::memcpy(grown.get(), buffer_.get(), used_);
        buffer_ = std::move(grown);
        capacity_ = capacity;
    }
    room = std::span(buffer_.get() + used_, bytes);
    used_ += bytes;
    return {};
}

std::error_code OutputFile::commit_record() {
    record_ends_.push_back(used_);
    if (used_ >= buffer_bytes) return flush();
    return {};
}

std::error_code OutputFile::flush() {
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    // Only committed records go; room given out and not committed is dropped.
    const std::size_t committed = record_ends_.empty() ? 0 : record_ends_.back();
    std::size_t done = 0;
    std::error_code reason;
    while (done < committed) {
        const ssize_t wrote =
            ::pwrite(fd_, buffer_.get() + done, committed - done, static_cast<off_t>(end_ + done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            reason = wrote < 0 ? last_error() : std::make_error_code(std::errc::no_space_on_device);
            break;
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (reason) {
        // Keep the records that reached the file whole; cut off a part of the next one.
        const auto last_whole = std::upper_bound(record_ends_.begin(), record_ends_.end(), done);
        const std::size_t kept = last_whole == record_ends_.begin() ? 0 : *(last_whole - 1);
        if (done > kept) {
            while (::ftruncate(fd_, static_cast<off_t>(end_ + kept)) != 0 && errno == EINTR) {
            }
        }
        done = kept;
    }
    end_ += done;
    used_ = 0;
    record_ends_.clear();
    return reason;
}

std::error_code OutputFile::sync() {
    if (const std::error_code reason = flush()) return reason;
    if (::fsync(fd_) != 0) return last_error();
    // A file removed while it is open still takes writes, but they go when it is closed:
    // nothing written to it is safe.
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return last_error();
    if (info.st_nlink == 0) return std::make_error_code(std::errc::no_such_file_or_directory);
    if (created_ && !directory_synced_) {
        std::filesystem::path directory = std::filesystem::path(path_).parent_path();
        if (directory.empty()) directory = ".";
        const int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd < 0) return last_error();
        const int result = ::fsync(dir_fd);
        const std::error_code reason = result != 0 ? last_error() : std::error_code{};
        ::close(dir_fd);
        if (reason) return reason;
        directory_synced_ = true;
    }
    return {};
}

}  // namespace quarvent
