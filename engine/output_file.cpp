#include "engine/output_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
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

// The first size bytes of an open file, read where they are asked for.
class DescriptorSource final : public ByteSource {
public:
    DescriptorSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > size_ || out.size() > size_ - offset) return false;
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_;
};

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
    // Anything else than a regular file is opened too, so that the run can say what it is;
    // it has no length, and the run writes nothing into it.
    fd_ = fd;
    regular_ = S_ISREG(info.st_mode);
    character_device_ = S_ISCHR(info.st_mode);
    end_ = regular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
    created_path_ = created ? target : std::string{};
    directory_synced_ = false;
    bytes_written_ = 0;
    records_written_ = 0;
    return {};
}

std::error_code OutputFile::open_for_counting(const std::string& path) {
    (void)close();
    cut_back_failure_ = {};
    bytes_written_ = 0;
    records_written_ = 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            const std::error_code reason = last_error();
            ::close(fd);
            return reason;
        }
        // Kept open, so that what the file holds can be walked as in a run.
        fd_ = fd;
        regular_ = S_ISREG(info.st_mode);
        character_device_ = S_ISCHR(info.st_mode);
        end_ = regular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
    } else {
        if (errno != ENOENT) return last_error();
        std::filesystem::path directory = std::filesystem::path(path).parent_path();
        if (directory.empty()) directory = ".";
        if (::access(directory.c_str(), W_OK | X_OK) != 0) return last_error();
        regular_ = true;
        character_device_ = false;
        end_ = 0;
    }
    counting_ = true;
    return {};
}

std::error_code OutputFile::close() {
    if (counting_) {
        counting_ = false;
        used_ = 0;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        end_ = 0;
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

OutputFile::LockResult OutputFile::lock() {
    if (fd_ < 0) return LockResult::unsupported;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    whole.l_start = 0;
    whole.l_len = 0;  // to the end, however far the file grows
    int result = 0;
    do {
        result = ::fcntl(fd_, F_OFD_SETLK, &whole);
    } while (result != 0 && errno == EINTR);
    bool held = result != 0 && (errno == EAGAIN || errno == EACCES);
    if (result != 0 && errno == EINVAL) {
        // A system without open-file-description locks: flock locks the open file the same
        // way.
        do {
            result = ::flock(fd_, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        held = result != 0 && errno == EWOULDBLOCK;
    }
    if (result == 0) return LockResult::locked;
    if (!held) return LockResult::unsupported;
    // The conversion that holds the lock writes into this file, even one this open created
    // an instant before the holder opened it.
    created_path_.clear();
    return LockResult::held_elsewhere;
}

QexWalk OutputFile::walk(const QexRecordVisitor& visit) const {
    if (fd_ < 0) return {};
    return walk_qex(DescriptorSource(fd_, end_), visit);
}

std::error_code OutputFile::cut_back(std::uint64_t bytes) {
    if (used_ > 0 || bytes > end_) return std::make_error_code(std::errc::invalid_argument);
    if (!counting_) {
        if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
        int cut = 0;
        do {
            cut = calls_.ftruncate(fd_, static_cast<off_t>(bytes));
        } while (cut != 0 && errno == EINTR);
        if (cut != 0) return last_error();
    }
    end_ = bytes;
    return {};
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
        ++records_written_;
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
    std::size_t records = record_ends_.size();
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
        records = static_cast<std::size_t>(last_whole - record_ends_.begin());
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
    records_written_ += records;
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
        if (dir_fd < 0) {
            // Opening a directory needs read permission, which a drop box (mode 0333) does
            // not give: syncing the file system the output lies on covers its entry too.
#ifdef __EMSCRIPTEN__
            // The browser's file system has no disk to sync.
#else
            if (::syncfs(fd_) != 0) return last_error();
#endif
        } else {
            const int result = calls_.fsync(dir_fd);
            const std::error_code reason = result != 0 ? last_error() : std::error_code{};
            ::close(dir_fd);
            if (reason) return reason;
        }
        directory_synced_ = true;
    }
    return {};
}

}  // namespace quarvent
