#include "shell/fileinfo.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/numbers.hpp"

namespace quarvent {

namespace {

constexpr std::string_view internal_disk_error = "Internal disk error.";
constexpr std::string_view illegal_name = "That file name is illegal.";

constexpr FileErrorRow rows[] = {
    {52, illegal_name, true, Buttons::ok_cancel, Icon::exclamation},
    {53, "That file name is not found.", false, Buttons::ok_cancel, Icon::exclamation},
    {54, "Can't open the file for that type of access", false, Buttons::ok, Icon::exclamation},
    {55, "This file is already open.", false, Buttons::ok_cancel, Icon::exclamation},
    {57, internal_disk_error, true, Buttons::yes_no, Icon::exclamation},
    {61, "Disk is full. Continue?", false, Buttons::yes_no_cancel, Icon::question},
    {62,
     "This file has nonstandard end-of-file marker, or an attempt was made to read beyond the "
     "end-of-file marker.",
     false, Buttons::ok, Icon::exclamation},
    {64, illegal_name, true, Buttons::ok_cancel, Icon::exclamation},
    {67, internal_disk_error, true, Buttons::yes_no, Icon::exclamation},
    // "unavaiable" is the message's long-standing spelling, kept as operators know it.
    {68, "That device appears unavaiable.", true, Buttons::yes_no, Icon::exclamation},
    {71, "Insert ad disk in drive and close door.", false, Buttons::ok, Icon::exclamation},
    {74, internal_disk_error, true, Buttons::yes_no, Icon::exclamation},
    {75, internal_disk_error, true, Buttons::yes_no, Icon::exclamation},
    {76, "That path does not exist", false, Buttons::ok_cancel, Icon::exclamation},
};

constexpr std::string_view read_only_message =
    "File opened for READ ONLY. If this is not correct check/change attributes of file and try "
    "again.";

class FileErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "quarvent file error"; }
    std::string message(int value) const override {
        const FileErrorRow* row = find_file_error(value);
        return row != nullptr ? std::string(row->message) : "file error " + std::to_string(value);
    }
};

std::error_code last_system_error() { return {errno, std::generic_category()}; }

// Opens a file the way each of modes 1 to 4 needs, through the system so that the error is
// the system's own.
std::FILE* system_open(const std::string& path, std::int16_t mode, std::error_code& error) {
    int flags = 0;
    const char* stream_mode = nullptr;
    switch (mode) {
        case open_mode::output:
            flags = O_WRONLY | O_CREAT | O_TRUNC;
            stream_mode = "wb";
            break;
        case open_mode::input:
            flags = O_RDONLY;
            stream_mode = "rb";
            break;
        case open_mode::append:
            flags = O_WRONLY | O_CREAT | O_APPEND;
            stream_mode = "ab";
            break;
        case open_mode::random:
            flags = O_RDWR | O_CREAT;
            stream_mode = "r+b";
            break;
        default:
            error = std::make_error_code(std::errc::invalid_argument);
            return nullptr;
    }
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = last_system_error();
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, stream_mode);
    if (stream == nullptr) {
        error = last_system_error();
        ::close(fd);
    }
    return stream;
}

}  // namespace

std::span<const FileErrorRow> file_error_rows() { return rows; }

const FileErrorRow* find_file_error(std::int32_t error_number) {
    for (const auto& row : rows) {
        if (row.number == error_number) return &row;
    }
    return nullptr;
}

const std::error_category& file_error_category() {
    static const FileErrorCategory category;
    return category;
}

std::error_code make_file_error(std::int32_t error_number) {
    return {error_number, file_error_category()};
}

std::int32_t file_error_number(std::error_code error, const std::string& path) {
    if (error.category() == file_error_category()) return error.value();
    if (error.category() != std::generic_category() && error.category() != std::system_category()) {
        return 0;
    }
    switch (error.value()) {
        case ENOENT: {
            const std::filesystem::path directory = std::filesystem::path(path).parent_path();
            if (directory.empty()) return 53;
            std::error_code ignored;
            return std::filesystem::is_directory(directory, ignored) ? 53 : 76;
        }
        // A part of the path that is not a directory: the path does not exist.
        case ENOTDIR:
            return 76;
        case EACCES:
        case EPERM:
        case EROFS:
            return 75;
        case ENOSPC:
            return 61;
        case EMFILE:
        case ENFILE:
            return 67;
        case EIO:
            return 57;
        case ENXIO:
        case ENODEV:
            return 68;
        case ENAMETOOLONG:
        case EINVAL:
            return 64;
        case EBUSY:
        case ETXTBSY:
            return 55;
        default:
            return 0;
    }
}

FILEINFO::FILEINFO(UiPort& ui) : ui_(ui), opener_(system_open) {}

FILEINFO::~FILEINFO() {
    for (std::FILE*& stream : files_) {
        if (stream != nullptr) std::fclose(stream);
        stream = nullptr;
    }
}

FileAction FILEINFO::report_file_error(std::int32_t error_number, std::string_view details) {
    const FileErrorRow* row = find_file_error(error_number);
    if (row == nullptr) return FileAction::unrecognised;
    std::string text(row->message);
    if (row->with_details) {
        text += line_break;
        text += details;
    }
    switch (ui_.message_box({Dialog::file_error, std::move(text), std::string(file_error_title),
                             row->buttons, row->icon})) {
        case Answer::ok:
        case Answer::yes:
        case Answer::retry:
            return FileAction::retry;
        case Answer::ignore:
            return FileAction::skip;
        case Answer::cancel:
        case Answer::abort:
        case Answer::no:
            return FileAction::give_up;
    }
    return FileAction::give_up;
}

std::int16_t FILEINFO::lowest_free_number() const {
    for (int number = 1; number <= max_files; ++number) {
        if (files_[static_cast<std::size_t>(number)] == nullptr) {
            return static_cast<std::int16_t>(number);
        }
    }
    return 0;
}

std::int16_t FILEINFO::open_file_checked(const std::string& path, std::int16_t mode) {
    if (mode == open_mode::handle) return open_handle_checked(path);
    if (mode < open_mode::output || mode > open_mode::random) return 0;

    int ok_only_retries = 0;
    while (true) {
        std::error_code error;
        const std::int16_t number = lowest_free_number();
        std::FILE* stream = nullptr;
        if (number == 0) {
            error = std::make_error_code(std::errc::too_many_files_open);
        } else {
            stream = opener_(path, mode, error);
        }
        if (stream != nullptr) {
            files_[static_cast<std::size_t>(number)] = stream;
            return number;
        }
        if (!error) error = std::make_error_code(std::errc::io_error);

        const std::int32_t error_number = file_error_number(error, path);
        const FileErrorRow* row = find_file_error(error_number);
        if (row != nullptr && row->buttons == Buttons::ok &&
            ok_only_retries >= max_ok_only_retries) {
            return 0;
        }
        if (report_file_error(error_number, error.message()) != FileAction::retry) return 0;
        if (row != nullptr && row->buttons == Buttons::ok) ++ok_only_retries;
    }
}

std::int16_t FILEINFO::open_handle_checked(const std::string& path) {
    constexpr int failed = -1;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        if (fd <= INT16_MAX) return static_cast<std::int16_t>(fd);
        ::close(fd);
        return failed;
    }
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failed;
    if (fd > INT16_MAX) {
        ::close(fd);
        return failed;
    }
    (void)ui_.message_box(
        {Dialog::read_only_file, std::string(read_only_message), {}, Buttons::ok, Icon::none});
    return static_cast<std::int16_t>(fd);
}

std::FILE* FILEINFO::file(std::int16_t number) const {
    if (number < 1 || number > max_files) return nullptr;
    return files_[static_cast<std::size_t>(number)];
}

bool FILEINFO::close_file(std::int16_t number) {
    if (number < 1 || number > max_files) return false;
    std::FILE*& stream = files_[static_cast<std::size_t>(number)];
    if (stream == nullptr) return false;
    const bool closed = std::fclose(stream) == 0;
    stream = nullptr;
    return closed;
}

}  // namespace quarvent
