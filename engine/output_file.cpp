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

// Links followed from the output's name to a file that does not exist yet, as many as the
// system follows in one path.
constexpr int max_symbolic_links = 40;

}  // namespace

const OutputSystemCalls& OutputSystemCalls::real() {
    static constexpr OutputSystemCalls calls{::pwrite, ::ftruncate, ::close, ::fsync};
    return calls;
}

OutputFile::~OutputFile() { (void)close(); }

std::error_code OutputFile::open(const std::string& path) {
    (void)close();
    cut_back_failure_ = {};
    // O_EXCL first tells whether this open creates the file. A name that exists is opened as
    // it is. O_EXCL also refuses a symbolic link to nothing, which the plain open then finds
    // missing: the name the link gives is created the same way, as an ordinary create would.
    std::string target = path;
    int fd = -1;
    bool created = false;
    for (int links = 0;; ++links) {
        fd = ::open(target.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created = true;
            break;
        }
        if (errno != EEXIST) return last_error();
        fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) break;
        if (errno != ENOENT) return last_error();
        if (links == max_symbolic_links) {
            return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        }
        std::error_code reason;
        const std::filesystem::path link = std::filesystem::read_symlink(target, reason);
        // No longer a link, or gone: the name changed meanwhile; try it afresh.
        if (reason == std::errc::invalid_argument ||
            reason == std::errc::no_such_file_or_directory) {
            continue;
        }
        if (reason) return reason;
        target = (std::filesystem::path(target).parent_path() / link).string();
    }
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
    created_path_ = created ? target : std::string{};
    directory_synced_ = false;
    bytes_written_ = 0;
    return {};
}

std::error_code OutputFile::open_for_counting(const std::string& path) {
    (void)close();
    cut_back_failure_ = {};
    bytes_written_ = 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info {};
        const bool usable =
            ::fstat(fd, &info) == 0 &&
            (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode));
        ::close(fd);
        if (!usable) return std::make_error_code(std::errc::invalid_argument);
    } else {
        if (errno != ENOENT) return last_error();
        std::filesystem::path directory = std::filesystem::path(path).parent_path();
        if (directory.empty()) directory = ".";
        if (::access(directory.c_str(), W_OK | X_OK) != 0) return last_error();
    }
    counting_ = true;
    return {};
}

std::error_code OutputFile::close() {
    if (counting_) {
        counting_ = false;
        used_ = 0;
        return {};
    }
    if (fd_ < 0) return {};
    std::error_code reason = flush();
    remove_if_created_and_empty();
    if (calls_.close(fd_) != 0 && !reason) reason = last_error();
    fd_ = -1;
    end_ = 0;
    created_path_.clear();
    return reason;
}

void OutputFile::remove_if_created_and_empty() {
    if (created_path_.empty() || end_ != 0) return;
    struct stat open_file {};
    if (::fstat(fd_, &open_file) != 0 || open_file.st_size != 0) return;
    // Only when the name still names the file this open created: someone may have put
    // another file in its place meanwhile.
    struct stat named {};
    if (::lstat(created_path_.c_str(), &named) != 0) return;
    if (named.st_dev != open_file.st_dev || named.st_ino != open_file.st_ino) return;
    (void)::unlink(created_path_.c_str());
}

std::error_code OutputFile::begin_record(std::size_t bytes, std::span<std::uint8_t>& room) {
    if (counting_) used_ = 0;  // each counted record is built at the start and dropped
    if (fd_ < 0 && !counting_) return std::make_error_code(std::errc::bad_file_descriptor);
    if (used_ > 0 && used_ + bytes > buffer_bytes) {
        if (const std::error_code reason = flush()) return reason;
    }
    if (used_ + bytes > capacity_) {
        // Only a record larger than the whole buffer grows it (never one of this program's).
        const std::size_t capacity = std::max(buffer_bytes, used_ + bytes);
        // Left uninitialised (default-initialised), as records are built over it.
        std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[capacity]);
        if (used_ > 0) std::memcpy(grown.get(), buffer_.get(), used_);
        buffer_ = std::move(grown);
        capacity_ = capacity;
    }
    room = std::span(buffer_.get() + used_, bytes);
    used_ += bytes;
    return {};
}

std::error_code OutputFile::commit_record() {
    if (counting_) {
        bytes_written_ += used_;
        used_ = 0;
        return {};
    }
    const std::size_t record = used_ - (record_ends_.empty() ? 0 : record_ends_.back());
    record_ends_.push_back(used_);
    if (used_ >= buffer_bytes || buffer_bytes - used_ < record) return flush();
    return {};
}

std::span<std::uint8_t> OutputFile::next_room(std::size_t bytes) const {
    if (counting_ || fd_ < 0) return {};
    if (used_ + bytes > capacity_ || (used_ > 0 && used_ + bytes > buffer_bytes)) return {};
    return {buffer_.get() + used_, bytes};
}

std::error_code OutputFile::flush() {
    if (counting_) return {};
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    // Only committed records go; room given out and not committed is dropped.
    const std::size_t committed = record_ends_.empty() ? 0 : record_ends_.back();
    std::size_t done = 0;
    std::error_code reason;
    while (done < committed) {
        const ssize_t wrote = calls_.pwrite(fd_, buffer_.get() + done, committed - done,
                                            static_cast<off_t>(end_ + done));
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
            int cut = 0;
            do {
                cut = calls_.ftruncate(fd_, static_cast<off_t>(end_ + kept));
            } while (cut != 0 && errno == EINTR);
            if (cut != 0) cut_back_failure_ = last_error();
        }
        done = kept;
    }
    end_ += done;
    bytes_written_ += done;
    used_ = 0;
    record_ends_.clear();
    return reason;
}

std::error_code OutputFile::sync() {
    if (counting_) return {};
    if (const std::error_code reason = flush()) return reason;
    return sync_written();
}

std::error_code OutputFile::sync_written() {
    if (counting_) return {};
    if (calls_.fsync(fd_) != 0) return last_error();
    // A file removed while it is open still takes writes, but they go when it is closed:
    // nothing written to it is safe.
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return last_error();
    if (info.st_nlink == 0) return std::make_error_code(std::errc::no_such_file_or_directory);
    if (!created_path_.empty() && !directory_synced_) {
        std::filesystem::path directory = std::filesystem::path(created_path_).parent_path();
        if (directory.empty()) directory = ".";
        const int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd < 0) return last_error();
        const int result = calls_.fsync(dir_fd);
        const std::error_code reason = result != 0 ? last_error() : std::error_code{};
        ::close(dir_fd);
        if (reason) return reason;
        directory_synced_ = true;
    }
    return {};
}

}  // namespace quarvent
