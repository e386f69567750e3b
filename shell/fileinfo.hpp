#pragma once
// FILEINFO: file-access errors as the operator sees them, and a file opener that lets the
// operator retry or give up when an open fails.
//
// Errors carry the program's own file error numbers (52 to 76, see file_error_rows); a
// system error is mapped onto them by file_error_number.

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "common/enum_names.hpp"
#include "common/ui_port.hpp"

namespace quarvent {

// What the operator wants done after a file error.
enum class FileAction : std::int16_t {
    retry = 0,         // try the failed operation again (OK, Yes, Retry)
    skip = 1,          // skip the operation and go on (Ignore)
    give_up = 2,       // Cancel, Abort, No
    unrecognised = 3,  // an error number the table does not know; nothing was shown
};
constexpr std::string_view name_of(FileAction action) {
    constexpr auto names =
        enum_names<FileAction::unrecognised>("retry", "skip", "give_up", "unrecognised");
    return name_in(names, action);
}

// One row of the file error table.
struct FileErrorRow {
    std::int32_t number;
    std::string_view message;
    bool with_details;  // the message is followed by a line break and the system's text
    Buttons buttons;
    Icon icon;
};

// Every error number report_file_error knows, in ascending order.
std::span<const FileErrorRow> file_error_rows();
// The row of error_number, or nullptr when the table has none.
const FileErrorRow* find_file_error(std::int32_t error_number);

// Errors already numbered the program's way (for a condition found by the program itself,
// such as reading past the end of a file): the value is the table's number.
const std::error_category& file_error_category();
std::error_code make_file_error(std::int32_t error_number);

// The table's number for an error on path, or 0 when the table has none. A missing file is
// 76 (path not found) when its directory is missing too, otherwise 53.
std::int32_t file_error_number(std::error_code error, const std::string& path);

// The title of every file error message.
inline constexpr std::string_view file_error_title = "File Error";

// The modes of open_file_checked.
namespace open_mode {
inline constexpr std::int16_t output = 1;  // create the file or replace its contents, to write
inline constexpr std::int16_t input = 2;   // an existing file, to read
inline constexpr std::int16_t append = 3;  // to write at the end; created when absent
inline constexpr std::int16_t random = 4;  // to read and write anywhere; created when absent
inline constexpr std::int16_t handle = 5;  // a system file descriptor, read-write, else read-only
}  // namespace open_mode

class FILEINFO {
public:
    // File numbers run from 1 to max_files.
    static constexpr int max_files = 255;
    // An open that keeps failing behind a message with only an OK button is given up
    // after this many retries, since the operator has no other answer.
    static constexpr int max_ok_only_retries = 3;

    // How modes 1 to 4 open a file: a stream, or nullptr with error set.
    using Opener = std::function<std::FILE*(const std::string& path, std::int16_t mode,
                                            std::error_code& error)>;

    explicit FILEINFO(UiPort& ui);
    // Closes every file still open.
    ~FILEINFO();
    FILEINFO(const FILEINFO&) = delete;
    FILEINFO& operator=(const FILEINFO&) = delete;

    // Shows the message of error_number (details: the system's text, shown after the rows
    // marked with_details) and returns the operator's choice. An error number outside the
    // table shows nothing and gives FileAction::unrecognised.
    [[nodiscard]] FileAction report_file_error(std::int32_t error_number,
                                               std::string_view details = {});

    // Opens path in one of the open_mode modes. Modes 1 to 4 return a file number (use file()
    // and close_file()), or 0 when the open failed and the operator gave up or the error is
    // unknown. Mode 5 returns a system file descriptor (the caller closes it), or -1 when
    // neither the read-write nor the read-only open worked. Any other mode returns 0.
    [[nodiscard]] std::int16_t open_file_checked(const std::string& path, std::int16_t mode);

    // The stream of an open file number, or nullptr.
    std::FILE* file(std::int16_t number) const;
    // Closes a file number. False when it was not open or the close failed (data that
    // could not be written).
    bool close_file(std::int16_t number);

    // Replaces the system open of modes 1 to 4 (tests use it to produce errors).
    void set_opener(Opener opener) { opener_ = std::move(opener); }

private:
    std::int16_t lowest_free_number() const;
    std::int16_t open_handle_checked(const std::string& path);

    UiPort& ui_;
    Opener opener_;
    std::array<std::FILE*, max_files + 1> files_{};  // index 0 unused
};

}  // namespace quarvent
