#include "tests/support/program_run.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace quarvent::testing {

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    const TempDir& cwd, int out, int err, const std::vector<std::string>& env,
                    int in) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (in >= 0) ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (int fd = 3; fd < 1024; ++fd) ::close(fd);
        if (::chdir(cwd.path().c_str()) != 0) ::_exit(126);
        for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

int wait_for(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const TempDir& cwd, const std::vector<std::string>& env,
                          const Streams& streams, const std::string& stdin_text) {
    const TempDir runner;
    const std::string in_path = runner.file("stdin");
    const std::string out_path = streams.out.empty() ? runner.file("stdout") : streams.out;
    const std::string err_path = streams.err.empty() ? runner.file("stderr") : streams.err;
    {
        std::ofstream text(in_path, std::ios::binary);
        text << stdin_text;
    }
    const int in = ::open(streams.in.empty() ? in_path.c_str() : streams.in.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(),
                           O_WRONLY | O_CREAT | (streams.out.empty() ? O_TRUNC : O_APPEND), 0644);
    const int err = ::open(err_path.c_str(),
                           O_WRONLY | O_CREAT | (streams.err.empty() ? O_TRUNC : O_APPEND), 0644);
    const pid_t child = start_program(program, args, cwd, out, err, env, in);
    ::close(in);
    ::close(out);
    ::close(err);
    ProgramResult result;
    int status = -1;
    if (child > 0) {
        struct rusage usage {};
        while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        result.peak_kb = usage.ru_maxrss;
    }
    if (child > 0 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.out = file_text(out_path);
    result.err = file_text(err_path);
    return result;
}

std::optional<std::vector<std::string>> unprivileged(const std::string& program,
                                                     const std::vector<std::string>& args) {
    std::vector<std::string> command{program};
    command.insert(command.end(), args.begin(), args.end());
    if (::geteuid() != 0) return command;
    const std::string setpriv = "/usr/bin/setpriv";
    if (::access(setpriv.c_str(), X_OK) != 0) return std::nullopt;
    command.insert(command.begin(),
                   {setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    return command;
}

}  // namespace quarvent::testing
