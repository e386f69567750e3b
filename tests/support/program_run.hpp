#pragma once
// Runs one of the project's programs as a child process, as a user's shell would, and collects
// what it printed: the command-line tests' one way of starting a program.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {

struct ProgramResult {
    int status = -1;  // the exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
    long peak_kb = 0;  // the program's peak resident memory, in kilobytes
};

// Where the program's standard output and standard error go: files of the runner's own by
// default; a given path is opened for appending, as a shell's ">>" would.
struct Streams {
    std::string out;
    std::string err;
    std::string in;  // a given path (a directory too) is standard input instead of stdin_text
};

// The whole content of a file; empty when it cannot be read.
std::string file_text(const std::string& path);

// Starts program with args in directory cwd, with in, out and err as its standard input,
// output and error (in -1: the test's own); env entries ("NAME=value") are added. The child
// keeps no other descriptor of the test's.
pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    const TempDir& cwd, int out, int err, const std::vector<std::string>& env = {},
                    int in = -1);

// Waits for the child, through interruptions; its wait status.
int wait_for(pid_t child);

// Runs program with args in cwd to its end. Standard input is stdin_text; nothing of the
// runner's is left in cwd.
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const TempDir& cwd, const std::vector<std::string>& env = {},
                          const Streams& streams = {}, const std::string& stdin_text = {});

// How to run a program as a user without privileges, so that file permissions hold: the
// program and its arguments unchanged for a user who is not root; for root, the same under
// setpriv as "nobody". nullopt when root has no way to drop its privileges (the caller skips
// with a message). Files the program is to reach must be open to others.
std::optional<std::vector<std::string>> unprivileged(const std::string& program,
                                                     const std::vector<std::string>& args);

}  // namespace quarvent::testing
