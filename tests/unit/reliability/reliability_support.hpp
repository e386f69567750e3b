#pragma once
// What the reliability tests share: recognisable SEG-2 inputs, an independent reader of the
// QEX output, and quarvent-batch started as a child process (with a file size limit, or
// killed part way).

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "keywords/keyword_table.hpp"

namespace quarvent::testing {

// A SEG-2 file of traces of 32-bit floats whose samples tell where they come from: sample 1
// is the file's number, sample 2 the trace's number, sample k (k >= 3) is k. Sample interval
// 250 microseconds.
std::vector<std::uint8_t> numbered_input(int file_number, int traces, int samples);
// The bytes of the record the conversion at factor 1 makes of sample k of that trace.
float numbered_sample(int file_number, int trace, int k);

// One record of a QEX output file.
struct QexRecord {
    std::uint64_t offset = 0;
    std::vector<std::int16_t> words;  // words[1] .. words[120]; words[0] unused
    std::vector<float> samples;
    std::int16_t word(int n) const { return words[static_cast<std::size_t>(n)]; }
};

struct QexFile {
    std::vector<QexRecord> records;    // every complete record, in file order
    std::uint64_t trailing_bytes = 0;  // bytes after the last complete record
};

// Reads records from offset on; a record whose word 58 is negative, or that the file does not
// hold whole, ends the reading and its bytes count as trailing.
QexFile read_qex(const std::vector<std::uint8_t>& bytes, std::uint64_t offset = 0);

// A finished (or killed) child process.
struct ChildResult {
    int exit_status = -1;  // when it exited
    int signal = 0;        // when a signal ended it
    std::string out;
    std::string err;
    std::chrono::duration<double> elapsed{};
};

struct ChildOptions {
    std::optional<std::uint64_t> file_size_limit;         // RLIMIT_FSIZE, SIGXFSZ ignored
    std::optional<std::chrono::microseconds> kill_after;  // SIGKILL once this has passed
};

// Runs program with args (argv[0] is program), its output and error streams captured through
// pipes (a file size limit does not apply to them).
ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options = {});

// The quarvent-batch program of this build and the keyword file shipped with the program.
std::string batch_program();
std::string keyword_file();
// The shipped keyword file's table, loaded once.
const KeywordTable& shipped_keywords();

std::vector<std::uint8_t> file_bytes(const std::string& path);
bool running_as_root();

// Permissions do not stop root, so tests of unreadable and read-only files run their body in
// a child process that, when the tests run as root, first becomes the unprivileged user
// "nobody" (65534). GoogleTest checks inside the body count there; the result is 0 when none
// of them failed. Directories the body uses must be open to that user (open_to_everyone).
int run_unprivileged(const std::function<void()>& body);
void open_to_everyone(const std::string& directory);

// A small tmpfs mounted on a fresh directory for one test (a device that really fills up),
// unmounted when it goes. Mounting needs root; failure says why, and the test skips.
class SmallDevice {
public:
    SmallDevice(const std::string& directory, std::uint64_t bytes);
    ~SmallDevice();
    SmallDevice(const SmallDevice&) = delete;
    SmallDevice& operator=(const SmallDevice&) = delete;

    bool mounted() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }

private:
    std::string directory_;
    std::string failure_;
};

}  // namespace quarvent::testing
