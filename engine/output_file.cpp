#include "engine/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace quarvent {

namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

}  // namespace

OutputFile::~OutputFile() { close(); }

std::error_code OutputFile::open(const std::string& path) {
    close();
    // O_EXCL first tells whether this open creates the file.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    bool created = fd >= 0;
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

void OutputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    end_ = 0;
    path_.clear();
}

std::error_code OutputFile::append_record(std::span<const std::uint8_t> record) {
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t wrote = ::pwrite(fd_, record.data() + done, record.size() - done,
                                       static_cast<off_t>(end_ + done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            const std::error_code reason =
                wrote < 0 ? last_error() : std::make_error_code(std::errc::no_space_on_device);
            // Whatever part of the record reached the file goes again; the reason reported
            // is the write's, whether or not the cut succeeds.
            if (done > 0) {
                while (::ftruncate(fd_, static_cast<off_t>(end_)) != 0 && errno == EINTR) {
                }
            }
            return reason;
        }
        done += static_cast<std::size_t>(wrote);
    }
    end_ += record.size();
    return {};
}

std::error_code OutputFile::sync() {
    if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
    if (::fsync(fd_) != 0) return last_error();
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
